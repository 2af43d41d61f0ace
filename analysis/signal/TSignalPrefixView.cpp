#include "analysis/signal/TSignalPrefixView.h"

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

void TSignalPrefixView::extendPastEnd(int length)
{
    if (length > appendedCount())
        setAppendedCount(length);
}

double TSignalPrefixView::lastSourceSample(int channel) const
{
    const int last = m_source.appendedCount() - 1;
    return last >= 0 ? m_source.sample(channel, last) : 0.0;
}

int TSignalPrefixView::sample(int channel, int index) const
{
    if (isPadded(index))
        return int(lastSourceSample(channel));
    return index < appendedCount() ? m_source.sample(channel, index) : 0;
}

void TSignalPrefixView::readRange(int channel, int start, int count, double* dst) const
{
    if (count <= 0)
        return;
    const int inside = std::clamp(std::min(appendedCount(), m_source.appendedCount()) - start, 0, count);
    m_source.readRange(channel, start, inside, dst);
    const int padded = std::clamp(appendedCount() - start, inside, count);
    std::fill(dst + inside, dst + padded, lastSourceSample(channel));
    std::fill(dst + padded, dst + count, 0.0);
}

qint16* TSignalPrefixView::readBlock(int channel, int blockNumber) const
{
    if (blockNumber < 0 || blockNumber >= std::min(completeBlockCount(), m_source.completeBlockCount()))
        return nullptr;
    return m_source.readBlock(channel, blockNumber);
}

void TSignalPrefixView::releaseBlock(qint16* block) const
{
    m_source.releaseBlock(block);
}
