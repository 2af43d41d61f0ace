// The real-time and review filter chains, and the responses of
// the streaming stages to mains sines and baseline wander.
#include "FilterTestSupport.h"

#include "analysis/filters/TFftBaselineFilter.h"
#include "analysis/filters/TPartitionedFir.h"
#include "analysis/filters/TFirFilter.h"
#include "analysis/filters/TFirTables.h"
#include "analysis/filters/TRealtimeFilterChain.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

using namespace filtertest;

namespace {

constexpr int Block = 4096;

std::unique_ptr<TSignalBuffer16> recording(int rate, const std::vector<qint16>& samples, int channels = 2)
{
    auto signal = std::make_unique<TSignalBuffer16>(channels, rate, Block, int(samples.size()) + Block);
    appendAll(*signal, samples, true);
    return signal;
}

const std::vector<double>& tapsOf(const TRealtimeFilterChain& chain, int stage)
{
    return dynamic_cast<const TFirStage&>(*chain.stage(stage)).taps();
}

// ---- real-time chain ---------------------------------------------------

TEST(FilterChainsTest, RealtimeChainWithEverySwitchOffAt1000HzIsTheInput)
{
    TSignalBuffer16 input(14, 1000, Block, Block * 10);
    TRealtimeFilterChain chain(&input);
    chain.configure(false, false, false);
    EXPECT_EQ(chain.stageCount(), 0);
    EXPECT_EQ(chain.output(), &input);
}

TEST(FilterChainsTest, RealtimeChainAt500HzAlwaysHasTheDisplayBaseline)
{
    TSignalBuffer16 input(14, 500, Block, Block * 10);
    input.setResolutionBits(16);
    input.setRange(-300.0, 300.0);
    TRealtimeFilterChain chain(&input);
    chain.configure(false, false, false);
    ASSERT_EQ(chain.stageCount(), 1);
    EXPECT_EQ(tapsOf(chain, 0), TFirTables::displayBaseline().taps());
    TSignal* output = chain.output();
    ASSERT_NE(output, &input);
    EXPECT_EQ(output->channelCount(), 14);
    EXPECT_EQ(output->samplingRate(), 500);
    EXPECT_EQ(output->blockSize(), Block);
    EXPECT_EQ(output->rangeMinimum(), -300.0);
    EXPECT_EQ(output->channelName(6), QStringLiteral("V1"));
    EXPECT_EQ(dynamic_cast<TSignalBuffer16&>(*output).capacity(), 100 * Block);

    // The output is the baseline-filtered signal: a 0.1 Hz wander goes.
    appendAll(input, sine(30000, 500, 0.1, 3000.0));
    chain.process();
    // Outputs of the long table come in whole blocks.
    ASSERT_EQ(output->appendedCount(), (30000 - 750) / TPartitionedFir::Block * TPartitionedFir::Block);
    EXPECT_LT(peak(readAll(*output, 0), 2000, 29000), 3000.0 * 0.1);
}

TEST(FilterChainsTest, RealtimeChainBuildsTheSelectedStagesInOrder)
{
    TSignalBuffer16 input(2, 500, Block, Block * 10);
    TRealtimeFilterChain chain(&input);
    chain.setLowPassName(QStringLiteral("25hz"));
    chain.configure(true, true, true);
    ASSERT_EQ(chain.stageCount(), 4);
    EXPECT_EQ(tapsOf(chain, 0), TFirTables::displayBaseline().taps());
    EXPECT_EQ(tapsOf(chain, 1), TFirTables::notch("50hz", 500).taps());
    EXPECT_EQ(tapsOf(chain, 2), TFirTables::lowPass25Hz500().taps());
    EXPECT_EQ(tapsOf(chain, 3), TFirTables::baseline(500).taps());

    chain.setBaselineMode(QStringLiteral("fft"));
    chain.configure(false, false, true);
    ASSERT_EQ(chain.stageCount(), 2);
    EXPECT_NE(dynamic_cast<TFftBaselineFilter*>(chain.stage(1)), nullptr);

    chain.setBaselineMode(QStringLiteral("none"));
    chain.setNotchName(QStringLiteral("55hz"));
    chain.configure(true, false, true);
    EXPECT_EQ(chain.stageCount(), 1); // neither an unknown notch nor an unknown mode adds a stage
}

TEST(FilterChainsTest, RealtimeChainAttachesAtTheInputsCurrentCount)
{
    TSignalBuffer16 input(2, 1000, Block, Block * 10);
    appendAll(input, std::vector<qint16>(5000, 7));
    TRealtimeFilterChain chain(&input);
    chain.configure(true, true, false);
    ASSERT_EQ(chain.stageCount(), 2);
    EXPECT_EQ(chain.stage(0)->nextIndex(), 5000);
    EXPECT_EQ(chain.stage(1)->nextIndex(), 0); // its input, the first stage's signal, is empty
    appendAll(input, std::vector<qint16>(1000, 7));
    chain.process();
    // The 391-tap notch gives its outputs in whole blocks.
    EXPECT_EQ(chain.output()->appendedCount(), (1000 - 195) / TPartitionedFir::Block * TPartitionedFir::Block - 20);
}

TEST(FilterChainsTest, RealtimeChainHonoursSixtyHertz)
{
    TSignalBuffer16 input(1, 1000, Block, Block * 10);
    TRealtimeFilterChain chain(&input);
    chain.setNotchName(QStringLiteral("60hz"));
    chain.configure(true, false, false);
    ASSERT_EQ(chain.stageCount(), 1);
    EXPECT_EQ(tapsOf(chain, 0), TFirTables::notch("60hz", 1000).taps());
    std::vector<qint16> mixed(8000);
    for (int i = 0; i < 8000; ++i)
        mixed[std::size_t(i)] = qint16(std::lround(4000.0 * std::sin(2.0 * Pi * 60.0 * i / 1000.0)
                                                  + 4000.0 * std::sin(2.0 * Pi * 10.0 * i / 1000.0)));
    appendAll(input, mixed);
    chain.process();
    const std::vector<double> out = readAll(*chain.output(), 0);
    // What is left is the 10 Hz part.
    for (int i = 500; i < int(out.size()); i += 7)
        ASSERT_NEAR(out[std::size_t(i)], 4000.0 * std::sin(2.0 * Pi * 10.0 * i / 1000.0), 25.0) << i;
}

TEST(FilterChainsTest, LowPassWithUnknownNamePassesTheSignalThrough)
{
    TSignalBuffer16 input(2, 1000, Block, Block * 10);
    TRealtimeFilterChain chain(&input);
    chain.setLowPassName(QStringLiteral("33hz"));
    chain.configure(false, true, false);
    ASSERT_EQ(chain.stageCount(), 1);
    appendAll(input, noise(3000, 30000, 8), true);
    chain.process();
    EXPECT_EQ(readAll(*chain.output(), 1), readAll(input, 1));
}

// ---- review chain ------------------------------------------------------

TEST(FilterChainsTest, ReviewChainBuildsItsViewsInOrder)
{
    const auto source = recording(1000, noise(Block * 4, 2000, 12));
    TReviewFilterChain chain(source.get());
    EXPECT_EQ(chain.output(), source.get());
    chain.configure(true, true, true);
    ASSERT_EQ(chain.viewCount(), 5);
    EXPECT_NE(dynamic_cast<const TTrendBlockFilter*>(&chain.view(0)->filter()), nullptr);
    EXPECT_EQ(chain.output(), chain.view(4));
    EXPECT_EQ(chain.view(1)->source(), chain.view(0));

    chain.configure(false, false, false);
    EXPECT_EQ(chain.viewCount(), 2); // trend and baseline IIR always

    const auto slow = recording(250, noise(Block * 4, 2000, 12));
    TReviewFilterChain chain250(slow.get());
    chain250.configure(true, true, true);
    EXPECT_EQ(chain250.viewCount(), 2); // trend and the 62-tap low-pass
}

TEST(FilterChainsTest, ReviewChainRejectsSixtyHertzAndKeepsEarlierViews)
{
    const auto source = recording(500, noise(Block * 4, 2000, 13));
    TReviewFilterChain chain(source.get());
    chain.setNotchName(QStringLiteral("60hz"));
    try {
        chain.configure(true, true, true);
        FAIL() << "configure accepted a 60 Hz notch";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "pendiente - filtro no definido");
    }
    EXPECT_EQ(chain.viewCount(), 2);
    EXPECT_EQ(chain.output(), chain.view(1));
    EXPECT_NO_THROW(chain.configure(false, true, true)); // notch off: no check
}

TEST(FilterChainsTest, ReviewTrendIsTheLineThroughTheEndMeans)
{
    // The three fit points (W/2, m1), (N/2, (m1 + m2)/2), (N - W/2, m2) are
    // collinear, so the "quadratic" is the straight line through the end
    // means: a straight ramp is removed exactly, whatever its slope.
    const int rate = 500, count = 24000; // N even: x2 is the midpoint
    std::vector<qint16> ramp(static_cast<std::size_t>(count));
    for (int t = 0; t < count; ++t)
        ramp[std::size_t(t)] = qint16(t - 12000);
    const auto source = recording(rate, ramp, 1);
    const TTrendBlockFilter::Quadratic trend = TReviewFilterChain::fitTrend(*source, 0);
    EXPECT_NEAR(trend.a, 0.0, 1e-15);
    EXPECT_NEAR(trend.b, 1.0, 1e-9);
    // A window's mean sits at its centre (W - 1)/2, half a sample before
    // the integer half W/2 the fit uses: the line lies half a count low.
    EXPECT_NEAR(trend.c, -12000.5, 1e-6);

    TReviewFilterChain chain(source.get());
    chain.configure(false, false, false);
    const std::vector<double> detrended = readAll(*chain.view(0), 0, 0, (count / Block) * Block);
    EXPECT_LE(peak(detrended, 0, int(detrended.size())), 1.0);
}

TEST(FilterChainsTest, ReviewChainRemovesMainsAndWander)
{
    // 500 Hz recording: 50 Hz mains plus a 0.1 Hz wander on a 10 Hz signal.
    const int rate = 500, count = Block * 8;
    std::vector<qint16> mixed(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        mixed[std::size_t(i)] = qint16(std::lround(3000.0 * std::sin(2.0 * Pi * 50.0 * t)
                                                  + 4000.0 * std::sin(2.0 * Pi * 0.1 * t)
                                                  + 2000.0 * std::sin(2.0 * Pi * 10.0 * t)));
    }
    const auto source = recording(rate, mixed, 1);
    TReviewFilterChain chain(source.get());
    chain.configure(true, false, false);
    // Every sample counts, block starts included.
    const std::vector<double> out = readAll(*chain.output(), 0, Block, Block * 6);
    for (int i = 0; i < Block * 6; i += 11) {
        const double t = double(Block + i) / rate;
        ASSERT_NEAR(out[std::size_t(i)], 2000.0 * std::sin(2.0 * Pi * 10.0 * t), 150.0) << i;
    }
}

TEST(FilterChainsTest, ReviewChainMaterializedIsItsLastView)
{
    // Every stage, three channels (one silent), a partial last block: the
    // whole-recording output must be the views' own samples, zeros past the
    // complete blocks.
    const int rate = 1000, count = Block * 5 + 1234;
    std::vector<qint16> mixed = noise(count, 800, 7);
    const std::vector<qint16> wave = sine(count, rate, 0.3, 3000.0);
    for (int i = 0; i < count; ++i)
        mixed[std::size_t(i)] = qint16(mixed[std::size_t(i)] + wave[std::size_t(i)]);
    const std::vector<qint16> silent(std::size_t(count), 0);
    const std::vector<const qint16*> channels{mixed.data(), silent.data(), wave.data()};
    const auto source = std::make_unique<TSignalBuffer16>(3, rate, Block, count + Block);
    source->append(channels.data(), count);
    TReviewFilterChain chain(source.get());
    chain.setLowPassName(QStringLiteral("40hz"));
    chain.configure(true, true, true);
    const auto whole = chain.materialize();
    ASSERT_EQ(whole->appendedCount(), count);
    for (int channel = 0; channel < 3; ++channel)
        EXPECT_EQ(readAll(*whole, channel, 0, count), readAll(*chain.output(), channel, 0, count)) << channel;
}

// ---- responses of the streaming stages ---------------------------------

// Runs `table` as a streaming stage over `input` at `rate` and returns the
// output from `settle` samples after the start to `settle` before the end.
std::vector<double> settledOutput(const TFirTable& table, int rate, const std::vector<qint16>& input, int settle)
{
    TSignalBuffer16 source(1, rate, Block, int(input.size()) + Block);
    TSignalBuffer16 sink(1, rate, Block, int(input.size()) + Block);
    TFirFilter stage(table);
    stage.setSink(&sink);
    stage.attach(&source, 0);
    appendInPieces(source, input, rate / 10, [&] { stage.process(); });
    return readAll(sink, 0, settle, sink.appendedCount() - 2 * settle);
}

TEST(FilterChainsTest, NotchStagesAttenuateMainsAsListed)
{
    const struct {
        int rate;
        double at50, at49, at48;
    } cases[] = {{250, 0.0, 0.13, 0.43}, {500, 0.001, 0.11, 0.39}, {1000, 0.001, 0.16, 0.53}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const TFirTable& table = TFirTables::notch("50hz", c.rate);
        const int count = 10 * c.rate;
        const double amplitude = 10000.0;
        auto residual = [&](double hz) {
            const std::vector<double> out = settledOutput(table, c.rate, sine(count, c.rate, hz, amplitude), table.length());
            return peak(out, 0, int(out.size())) / amplitude;
        };
        EXPECT_NEAR(residual(50.0), c.at50, 0.004);
        EXPECT_NEAR(residual(49.0), c.at49, 0.025);
        EXPECT_NEAR(residual(48.0), c.at48, 0.025);
        EXPECT_NEAR(residual(30.0), 1.0, 0.01);
    }
}

TEST(FilterChainsTest, BaselineStagesRemoveSlowWander)
{
    // 0.1 Hz wander of 4000 counts under a 10 Hz signal of 1000: after the
    // baseline stage the wander is down to a tenth or less.
    const struct {
        const TFirTable& table;
        int rate;
    } cases[] = {{TFirTables::baseline(250), 250}, {TFirTables::baseline(500), 500},
                 {TFirTables::baseline(1000), 1000}, {TFirTables::displayBaseline(), 500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.table.length()) + " taps");
        const int count = 40 * c.rate;
        std::vector<qint16> input(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const double t = double(i) / c.rate;
            input[std::size_t(i)] = qint16(std::lround(4000.0 * std::sin(2.0 * Pi * 0.1 * t)
                                                      + 1000.0 * std::sin(2.0 * Pi * 10.0 * t)));
        }
        const int settle = c.table.length();
        const std::vector<double> out = settledOutput(c.table, c.rate, input, settle);
        double worst = 0.0;
        for (std::size_t k = 0; k < out.size(); ++k) {
            const double t = double(settle + int(k)) / c.rate;
            worst = std::max(worst, std::fabs(out[k] - 1000.0 * std::sin(2.0 * Pi * 10.0 * t)));
        }
        EXPECT_LT(worst, 400.0);
    }
}

} // namespace
