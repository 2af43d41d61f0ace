#include "analysis/signal/TSignal.h"

#include "analysis/signal/TLeadSet.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

TSignal::TSignal(int channelCount, int samplingRate, int blockSize, int storageWidth)
    : m_channelCount(channelCount)
    , m_blockSize(blockSize)
    , m_samplingRate(samplingRate)
    , m_storageWidth(storageWidth)
{
    if (channelCount < 1 || channelCount > MaxChannels)
        throw std::invalid_argument("Signal channel count must be between 1 and 16");
    if (blockSize < 1)
        throw std::invalid_argument("Signal block size must be positive");
    m_channels.reserve(channelCount);
    for (int index = 0; index < channelCount; ++index) {
        m_channels.emplace_back(this, index);
        m_channels.back().setName(TLeadSet::leadName(index));
    }
    updateLsb();
}

TSignal::~TSignal() = default;

void TSignal::appendInterleaved(const char*, int)
{
    notifyListeners();
}

void TSignal::append(const qint16* const*, int)
{
    notifyListeners();
}

void TSignal::append(const double* const*, int)
{
    notifyListeners();
}

QString TSignal::channelName(int index) const
{
    if (index < 0 || index >= m_channelCount)
        return QString();
    return m_channels[index].name();
}

void TSignal::setChannelName(int index, const QString& name)
{
    if (index >= 0 && index < m_channelCount)
        m_channels[index].setName(name);
}

int TSignal::timeToSamples(double seconds) const
{
    return static_cast<int>(std::lround(seconds * m_samplingRate));
}

void TSignal::setResolutionBits(int bits)
{
    m_resolutionBits = bits;
    updateLsb();
}

void TSignal::setRange(double minimum, double maximum)
{
    m_rangeMinimum = minimum;
    m_rangeMaximum = maximum;
    updateLsb();
}

void TSignal::addListener(TSignalListener* listener)
{
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void TSignal::removeListener(TSignalListener* listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void TSignal::setAppendedCount(int count)
{
    m_appendedCount = count;
    m_completeBlockCount = count / m_blockSize;
}

void TSignal::setCompleteBlockCount(int count)
{
    m_completeBlockCount = count;
}

void TSignal::notifyListeners()
{
    for (TSignalListener* listener : m_listeners)
        listener->signalAppended(this);
}

void TSignal::updateLsb()
{
    m_lsb = (m_rangeMaximum - m_rangeMinimum) / std::ldexp(1.0, m_resolutionBits);
}
