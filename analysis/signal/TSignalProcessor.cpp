#include "analysis/signal/TSignalProcessor.h"

#include "analysis/signal/TSignal.h"

namespace {

template <typename Value>
void appendChannelRun(TSignal* sink, const Value* values, int count)
{
    const Value* channels[TSignal::MaxChannels];
    for (int channel = 0; channel < sink->channelCount(); ++channel)
        channels[channel] = values + std::size_t(channel) * std::size_t(count);
    sink->append(channels, count);
}

} // namespace

TSignalProcessor::~TSignalProcessor() = default;

void TSignalProcessor::attach(TSignal* source, int startIndex)
{
    m_source = source;
    m_nextIndex = startIndex;
}

void TSignalProcessor::appendFrame(const qint16* values)
{
    appendRun(values, 1);
}

void TSignalProcessor::appendFrame(const double* values)
{
    appendRun(values, 1);
}

void TSignalProcessor::appendRun(const qint16* values, int count)
{
    appendChannelRun(m_sink, values, count);
}

void TSignalProcessor::appendRun(const double* values, int count)
{
    appendChannelRun(m_sink, values, count);
}
