#include "analysis/TSignalProcessor.h"

#include "analysis/TSignal.h"

namespace {

template <typename Value>
void appendOneFrame(TSignal* sink, const Value* values)
{
    const Value* channels[TSignal::MaxChannels];
    for (int channel = 0; channel < sink->channelCount(); ++channel)
        channels[channel] = values + channel;
    sink->append(channels, 1);
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
    appendOneFrame(m_sink, values);
}

void TSignalProcessor::appendFrame(const double* values)
{
    appendOneFrame(m_sink, values);
}
