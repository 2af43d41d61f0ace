#include "analysis/signal/TSignalBlock.h"

#include "analysis/signal/TSignal.h"

#include <utility>

TSignalBlock::TSignalBlock(const TSignal& signal, int channel, int blockNumber)
    : m_signal(&signal)
    , m_data(signal.readBlock(channel, blockNumber))
{
}

TSignalBlock::~TSignalBlock()
{
    reset();
}

TSignalBlock::TSignalBlock(TSignalBlock&& other) noexcept
    : m_signal(std::exchange(other.m_signal, nullptr))
    , m_data(std::exchange(other.m_data, nullptr))
{
}

TSignalBlock& TSignalBlock::operator=(TSignalBlock&& other) noexcept
{
    if (this != &other) {
        reset();
        m_signal = std::exchange(other.m_signal, nullptr);
        m_data = std::exchange(other.m_data, nullptr);
    }
    return *this;
}

void TSignalBlock::reset()
{
    if (m_data != nullptr)
        m_signal->releaseBlock(m_data);
    m_data = nullptr;
    m_signal = nullptr;
}
