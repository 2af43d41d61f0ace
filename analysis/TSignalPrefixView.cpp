#include "analysis/TSignalPrefixView.h"

#include <algorithm>

TSignalPrefixView::TSignalPrefixView(const TSignal& source)
    : TSignal(source.channelCount(), source.samplingRate(), source.blockSize(), source.storageWidth())
    , m_source(source)
{
    for (int channel = 0; channel < source.channelCount(); ++channel)
        setChannelName(channel, source.channelName(channel));
    setResolutionBits(source.resolutionBits());
    setRange(source.rangeMinimum(), source.rangeMaximum());
}

void TSignalPrefixView::setLength(int length)
{
    const int clamped = std::min(length, m_source.appendedCount());
    if (clamped > appendedCount())
        setAppendedCount(clamped);
}

int TSignalPrefixView::sample(int channel, int index) const
{
    return index < appendedCount() ? m_source.sample(channel, index) : 0;
}

void TSignalPrefixView::readRange(int channel, int start, int count, double* dst) const
{
    if (count <= 0)
        return;
    const int inside = std::clamp(appendedCount() - start, 0, count);
    m_source.readRange(channel, start, inside, dst);
    std::fill(dst + inside, dst + count, 0.0);
}

qint16* TSignalPrefixView::readBlock(int channel, int blockNumber) const
{
    if (blockNumber < 0 || blockNumber >= completeBlockCount())
        return nullptr;
    return m_source.readBlock(channel, blockNumber);
}

void TSignalPrefixView::releaseBlock(qint16* block) const
{
    m_source.releaseBlock(block);
}
