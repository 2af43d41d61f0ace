// A stage built on the streaming interface: where it starts reading and how
// its frames reach the sink.
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/signal/TSignalBufferF64.h"
#include "analysis/signal/TSignalProcessor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using ::testing::ElementsAre;

namespace {

// Copies every available source frame, halved, to a double sink.
class HalvingStage : public TSignalProcessor
{
public:
    void process() override
    {
        double frame[TSignal::MaxChannels];
        for (; m_nextIndex < m_source->appendedCount(); ++m_nextIndex) {
            for (int channel = 0; channel < m_source->channelCount(); ++channel)
                frame[channel] = m_source->sample(channel, m_nextIndex) / 2.0;
            appendFrame(frame);
        }
    }
};

void appendSamples(TSignal& signal, std::vector<qint16> first, std::vector<qint16> second)
{
    const qint16* channels[] = {first.data(), second.data()};
    signal.append(channels, int(first.size()));
}

std::vector<double> channelValues(const TSignal& signal, int channel)
{
    std::vector<double> values(signal.appendedCount());
    signal.readRange(channel, 0, int(values.size()), values.data());
    return values;
}

TEST(SignalProcessorTest, StagesStartWhereTheyAreAttached)
{
    TSignalBuffer16 source(2, 500, 4, 64);
    TSignalBufferF64 fromStart(2, 500, 4, 64), fromNow(2, 500, 4, 64);
    HalvingStage early, late;
    early.setSink(&fromStart);
    early.attach(&source, 0);
    appendSamples(source, {10, 20, 30}, {-1, -2, -3});
    late.setSink(&fromNow);
    late.attach(&source, source.appendedCount());
    early.process();
    late.process();
    EXPECT_EQ(fromNow.appendedCount(), 0);

    appendSamples(source, {40, 50}, {-4, -5});
    early.process();
    late.process();
    EXPECT_EQ(late.nextIndex(), 5);
    EXPECT_THAT(channelValues(fromStart, 0), ElementsAre(5.0, 10.0, 15.0, 20.0, 25.0));
    EXPECT_THAT(channelValues(fromNow, 0), ElementsAre(20.0, 25.0));
    EXPECT_THAT(channelValues(fromNow, 1), ElementsAre(-2.0, -2.5));
}

} // namespace
