// Block filters and filtered views: IIR blocks against a
// zero-padded recording, saturation, the FIR block filter against the
// streaming stage, the trend filter on an exact quadratic, complete blocks
// only, the block cache (use counts, eviction above 1024 blocks) and
// sources longer than the initial 4096-block directory.
#include "FilterTestSupport.h"

#include "analysis/filters/TFilteredSignalView.h"
#include "analysis/filters/TFirBlockFilter.h"
#include "analysis/filters/TFirFilter.h"
#include "analysis/filters/TFirTables.h"
#include "analysis/filters/TIirBlockFilter.h"
#include "analysis/filters/TIirCoefficients.h"
#include "analysis/signal/TSignalBlock.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/filters/TTrendBlockFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace filtertest;

namespace {

std::unique_ptr<TFilteredSignalView> viewOf(TSignal& source, std::unique_ptr<TBlockFilter> filter)
{
    return std::make_unique<TFilteredSignalView>(&source, std::move(filter));
}

class CountingListener : public TSignalListener
{
public:
    void signalAppended(TSignal*) override { ++calls; }
    int calls = 0;
};

TEST(FilteredViewTest, ViewCopiesTheSourceAndFollowsIt)
{
    TSignalBuffer16 source(3, 500, 64, 64 * 100);
    source.setResolutionBits(14);
    source.setRange(-300.0, 300.0);
    source.setChannelName(2, QStringLiteral("X"));
    appendAll(source, std::vector<qint16>(100, 1));
    auto view = viewOf(source, std::make_unique<TFirBlockFilter>(TFirTables::empty()));
    EXPECT_EQ(view->channelCount(), 3);
    EXPECT_EQ(view->samplingRate(), 500);
    EXPECT_EQ(view->blockSize(), 64);
    EXPECT_EQ(view->resolutionBits(), 14);
    EXPECT_EQ(view->rangeMinimum(), -300.0);
    EXPECT_EQ(view->channelName(2), QStringLiteral("X"));
    EXPECT_EQ(view->appendedCount(), 100);
    EXPECT_EQ(view->completeBlockCount(), 1);

    CountingListener listener;
    view->addListener(&listener);
    appendAll(source, std::vector<qint16>(28, 2));
    EXPECT_EQ(view->appendedCount(), 128);
    EXPECT_EQ(view->completeBlockCount(), 2);
    EXPECT_EQ(listener.calls, 1);
    view->removeListener(&listener);
}

TEST(FilteredViewTest, OnlyCompleteBlocksAreExposed)
{
    TSignalBuffer16 source(1, 500, 64, 64 * 100);
    appendAll(source, noise(100, 1000, 2));
    auto view = viewOf(source, std::make_unique<TFirBlockFilter>(TFirTables::empty()));
    EXPECT_EQ(view->sample(0, 63), source.sample(0, 63));
    EXPECT_EQ(view->sample(0, 70), 0); // trailing incomplete block
    EXPECT_EQ(view->readBlock(0, 1), nullptr);
    const std::vector<double> range = readAll(*view, 0, 60, 10);
    EXPECT_EQ(range[3], source.sample(0, 63));
    for (int i = 4; i < 10; ++i)
        EXPECT_EQ(range[std::size_t(i)], 0.0);

    appendAll(source, noise(28, 1000, 3));
    EXPECT_EQ(view->sample(0, 70), source.sample(0, 70));
    EXPECT_NE(view->readBlock(0, 1), nullptr);
}

TEST(FilteredViewTest, FirBlockFilterMatchesTheStreamingStage)
{
    // Across block borders the neighbour blocks supply the taps, so a
    // 195-tap notch view equals the streaming stage wherever the next block
    // exists (everything but the last complete block's tail).
    const TFirTable& table = TFirTables::notch("50hz", 500);
    TSignalBuffer16 source(2, 500, 256, 256 * 100);
    TSignalBuffer16 streamed(2, 500, 256, 256 * 100);
    TFirFilter stage(table);
    stage.setSink(&streamed);
    stage.attach(&source, 0);
    appendAll(source, noise(256 * 10, 8000, 9), true);
    stage.process();
    auto view = viewOf(source, std::make_unique<TFirBlockFilter>(table));
    const int compared = 256 * 9;
    for (int channel : {0, 1}) {
        const std::vector<double> a = readAll(*view, channel, 0, compared);
        const std::vector<double> b = readAll(streamed, channel, 0, compared);
        for (int i = 0; i < compared; ++i)
            ASSERT_NEAR(a[std::size_t(i)], b[std::size_t(i)], 1.0) << channel << ":" << i;
    }
}

TEST(FilteredViewTest, IirBlockAtTheStartBeginsFromZeros)
{
    // Block 0 has no previous block; its result must equal the result for
    // the same samples preceded by a block of zeros.
    const TIirSet& set = *TIirCoefficients::baselineHighPass(500);
    const int n = 1024;
    const std::vector<qint16> data = sine(3 * n, 500, 7.0, 3000.0, 1500.0);
    TSignalBuffer16 plain(1, 500, n, n * 10), padded(1, 500, n, n * 10);
    appendAll(plain, data);
    appendAll(padded, std::vector<qint16>(std::size_t(n), 0));
    appendAll(padded, data);
    auto a = viewOf(plain, std::make_unique<TIirBlockFilter>(set));
    auto b = viewOf(padded, std::make_unique<TIirBlockFilter>(set));
    // The padding (2000) reaches past one block: with n = 1024 the padded
    // source's block 1 sees its block 0 (zeros) and nothing before it, as
    // block 0 of the plain source sees nothing at all.
    EXPECT_EQ(readAll(*a, 0, 0, n), readAll(*b, 0, n, n));
}

TEST(FilteredViewTest, IirBlocksAgreeWithTheWholeSignalFilteredInOneGo)
{
    // Against the whole signal filtered forward and backward in one go: no
    // block may start with a transient of its own, including just after a
    // block boundary.
    const TIirSet& set = *TIirCoefficients::baselineHighPass(500);
    const int n = 4096, count = 8 * n;
    const std::vector<qint16> x = sine(count, 500, 10.0, 2000.0);
    std::vector<double> y(static_cast<std::size_t>(count), 0.0), z(static_cast<std::size_t>(count), 0.0);
    for (int i = 0; i < count; ++i) {
        double v = set.b[0] * x[std::size_t(i)];
        for (int k = 1; k <= set.order && i - k >= 0; ++k)
            v += set.a[k] * y[std::size_t(i - k)] + set.b[k] * x[std::size_t(i - k)];
        y[std::size_t(i)] = v;
    }
    for (int j = count - 1; j >= 0; --j) {
        double v = set.b[0] * y[std::size_t(j)];
        for (int k = 1; k <= set.order && j + k < count; ++k)
            v += set.a[k] * z[std::size_t(j + k)] + set.b[k] * y[std::size_t(j + k)];
        z[std::size_t(j)] = v;
    }
    TSignalBuffer16 source(1, 500, n, count);
    appendAll(source, x);
    auto view = viewOf(source, std::make_unique<TIirBlockFilter>(set));
    const std::vector<double> filtered = readAll(*view, 0);
    double worst = 0.0;
    for (int i = n; i < 7 * n; ++i)
        worst = std::max(worst, std::fabs(filtered[std::size_t(i)] - z[std::size_t(i)]));
    EXPECT_LT(worst, 2.0);
}

TEST(FilteredViewTest, IirNotchRemovesFiftyHertzAndKeepsTenHertz)
{
    for (int rate : {500, 1000}) {
        SCOPED_TRACE(rate);
        const int n = 4096;
        std::vector<qint16> mains = sine(4 * n, rate, 50.0, 5000.0);
        std::vector<qint16> slow = sine(4 * n, rate, 10.0, 5000.0);
        TSignalBuffer16 a(1, rate, n, n * 10), b(1, rate, n, n * 10);
        appendAll(a, mains);
        appendAll(b, slow);
        auto notchedMains = viewOf(a, std::make_unique<TIirBlockFilter>(*TIirCoefficients::notch50Hz(rate)));
        auto notchedSlow = viewOf(b, std::make_unique<TIirBlockFilter>(*TIirCoefficients::notch50Hz(rate)));
        // Inner blocks: forward and backward gains 0.0003 at 50 Hz, ~1 at 10 Hz.
        EXPECT_LT(peak(readAll(*notchedMains, 0, n, 2 * n), 0, 2 * n), 5.0);
        const std::vector<double> kept = readAll(*notchedSlow, 0, n, 2 * n);
        const std::vector<double> original = readAll(b, 0, n, 2 * n);
        for (int i = 0; i < 2 * n; i += 13)
            ASSERT_NEAR(kept[std::size_t(i)], original[std::size_t(i)], 60.0) << i;
    }
}

TEST(FilteredViewTest, IirOvershootSaturatesInsteadOfWrapping)
{
    // A short pulse of +/-30000 on a baseline of -/+30000: the baseline
    // high-pass removes the baseline, so the pulse would come out near
    // +/-60000, beyond the 16-bit range.
    const int n = 4096;
    for (const int sign : {1, -1}) {
        SCOPED_TRACE(sign);
        std::vector<qint16> pulse(std::size_t(3 * n), qint16(-30000 * sign));
        for (int i = n + 900; i < n + 950; ++i)
            pulse[std::size_t(i)] = qint16(30000 * sign);
        TSignalBuffer16 source(1, 500, n, n * 10);
        appendAll(source, pulse);
        auto view = viewOf(source, std::make_unique<TIirBlockFilter>(*TIirCoefficients::baselineHighPass(500)));
        const std::vector<double> out = readAll(*view, 0, n, n);
        for (int i = 900; i < 950; ++i)
            ASSERT_EQ(out[std::size_t(i)], sign > 0 ? 32767.0 : -32768.0) << i;
        EXPECT_NEAR(out[100], 0.0, 1000.0); // the 30000 baseline itself is gone
    }
}

TEST(FilteredViewTest, TrendFitRecoversAQuadraticThroughThreePoints)
{
    auto q = [](double t) { return 3e-4 * t * t - 2.5 * t + 100.0; };
    const TTrendBlockFilter::Quadratic fit = TTrendBlockFilter::fitThroughPoints(750, q(750), 10000, q(10000), 19250,
                                                                                 q(19250));
    EXPECT_NEAR(fit.a, 3e-4, 1e-12);
    EXPECT_NEAR(fit.b, -2.5, 1e-8);
    EXPECT_NEAR(fit.c, 100.0, 1e-4);
    const TTrendBlockFilter::Quadratic flat = TTrendBlockFilter::fitThroughPoints(5, 7, 5, 9, 8, 1);
    EXPECT_EQ(flat.a, 0.0);
    EXPECT_EQ(flat.c, 7.0);
}

TEST(FilteredViewTest, TrendFilterRemovesAnExactQuadratic)
{
    // x[t] = floor(q(t)): x - q lies in (-1, 0], which truncates to 0.
    const TTrendBlockFilter::Quadratic q{-2.0e-5, 0.8, -9000.25};
    const int n = 512, blocks = 8;
    std::vector<qint16> data(std::size_t(n * blocks));
    for (int t = 0; t < n * blocks; ++t)
        data[std::size_t(t)] = qint16(std::floor(q.at(t)));
    TSignalBuffer16 source(1, 500, n, n * blocks);
    appendAll(source, data);
    auto filter = std::make_unique<TTrendBlockFilter>();
    filter->setTrend(0, q);
    auto view = viewOf(source, std::move(filter));
    EXPECT_EQ(peak(readAll(*view, 0), 0, n * blocks), 0.0);
    EXPECT_NE(peak(readAll(source, 0), 0, n * blocks), 0.0);
}

TEST(FilteredViewTest, BlocksInUseStayAndEvictionKeepsResults)
{
    // 1500 blocks of 16 samples through a 3-tap FIR: reading them all keeps
    // at most 1024 cached, a block held in use survives, and results read
    // again after eviction are identical to a fresh view's.
    const int n = 16, blocks = 1500;
    TSignalBuffer16 source(1, 500, n, n * blocks);
    appendAll(source, noise(n * blocks, 10000, 4));
    const TFirTable smooth(std::vector<double>{0.25, 0.5, 0.25});
    auto view = viewOf(source, std::make_unique<TFirBlockFilter>(smooth));
    qint16* held = view->readBlock(0, 0);
    const std::vector<qint16> heldCopy(held, held + n);
    const std::vector<double> first = readAll(*view, 0);
    EXPECT_LE(view->cachedBlockCount(), TFilteredSignalView::MaxCachedBlocks);
    EXPECT_EQ(std::vector<qint16>(held, held + n), heldCopy);
    EXPECT_EQ(view->readBlock(0, 0), held); // still cached: the same block
    view->releaseBlock(held);
    view->releaseBlock(held);

    const qint64 computed = view->computedBlockCount();
    const std::vector<double> second = readAll(*view, 0);
    EXPECT_GT(view->computedBlockCount(), computed); // evicted blocks recomputed
    EXPECT_EQ(first, second);
    auto fresh = viewOf(source, std::make_unique<TFirBlockFilter>(smooth));
    EXPECT_EQ(readAll(*fresh, 0), first);
    // And they are the filter's values: y[i] = trunc(x[i-1]/4 + x[i]/2 + x[i+1]/4).
    const std::vector<double> x = readAll(source, 0);
    for (int i = 1; i < n * blocks - n; i += 29)
        ASSERT_NEAR(first[std::size_t(i)], std::trunc(0.25 * x[std::size_t(i - 1)] + 0.5 * x[std::size_t(i)]
                                                     + 0.25 * x[std::size_t(i + 1)]), 1.0) << i;
}

TEST(FilteredViewTest, SourcesLongerThan4096BlocksAreServed)
{
    const int n = 4, blocks = 5000;
    TSignalBuffer16 source(2, 500, n, n * blocks);
    appendAll(source, noise(n * blocks, 30000, 6), true);
    auto view = viewOf(source, std::make_unique<TFirBlockFilter>(TFirTables::empty()));
    EXPECT_EQ(view->completeBlockCount(), blocks);
    for (int index : {0, 4096 * n - 1, 4096 * n, 4500 * n + 3, blocks * n - 1})
        EXPECT_EQ(view->sample(1, index), source.sample(1, index)) << index;
    EXPECT_EQ(readAll(*view, 0, 4090 * n, 20 * n), readAll(source, 0, 4090 * n, 20 * n));
    EXPECT_EQ(readAll(*view, 1), readAll(source, 1));
    EXPECT_GE(view->directorySize(1), blocks);
    EXPECT_EQ(view->sample(1, blocks * n), 0);
}

} // namespace
