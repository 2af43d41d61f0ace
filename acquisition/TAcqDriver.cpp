#include "acquisition/TAcqDriver.h"

#include "analysis/signal/TSignal.h"

TChannelMask::TChannelMask(int channelCount)
    : m_size(channelCount > 0 ? channelCount : 0)
    , m_bytes(new std::atomic<unsigned char>[static_cast<std::size_t>(m_size > 0 ? m_size : 1)])
{
    for (int channel = 0; channel < m_size; ++channel)
        m_bytes[channel].store(0, std::memory_order_relaxed);
}

bool TChannelMask::isMasked(int channel) const
{
    return channel >= 0 && channel < m_size && m_bytes[channel].load(std::memory_order_relaxed) != 0;
}

void TChannelMask::setMasked(int channel, bool masked)
{
    if (channel >= 0 && channel < m_size)
        m_bytes[channel].store(masked ? 1 : 0, std::memory_order_relaxed);
}

TAcqDriver::TAcqDriver(TAcqSource* source, TSignal* sink)
    : m_source(source)
    , m_sink(sink)
    , m_mask(std::make_unique<TChannelMask>(sink ? sink->channelCount() : 0))
{
}

TAcqDriver::~TAcqDriver() = default;

void TAcqDriver::addListener(TAcqListener* listener)
{
    m_listeners.push_back(listener);
}

void TAcqDriver::setChannelMasked(int channel, bool masked)
{
    if (m_mask)
        m_mask->setMasked(channel, masked);
}

bool TAcqDriver::isChannelMasked(int channel) const
{
    return m_mask && m_mask->isMasked(channel);
}
