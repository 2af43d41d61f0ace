// The parts the QRS detector is built from: the wavelet tables and
// transform, the prefix view that paces it, the scale window, the mark
// buffer, the record queue, the RR ring and the lead usability checks.
#include "analysis/detection/TLeadUsability.h"
#include "analysis/detection/TMarkBuffer.h"
#include "analysis/detection/TRrRing.h"
#include "analysis/detection/TScaleWindow.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/signal/TSignalPrefixView.h"
#include "analysis/detection/TWaveRecordQueue.h"
#include "analysis/detection/TWaveletScale.h"
#include "analysis/detection/TWaveletTransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

std::vector<double> multiply(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> product(a.size() + b.size() - 1, 0.0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j)
            product[i + j] += a[i] * b[j];
    return product;
}

// p(z) -> p(z^factor)
std::vector<double> dilate(const std::vector<double>& p, int factor)
{
    std::vector<double> dilated((p.size() - 1) * std::size_t(factor) + 1, 0.0);
    for (std::size_t i = 0; i < p.size(); ++i)
        dilated[i * std::size_t(factor)] = p[i];
    return dilated;
}

std::unique_ptr<TSignalBuffer16> signalOf(const std::vector<qint16>& values, int channels = 1)
{
    auto signal = std::make_unique<TSignalBuffer16>(channels, 250, 256, 100000);
    std::vector<const qint16*> pointers(std::size_t(channels), values.data());
    signal->append(pointers.data(), int(values.size()));
    return signal;
}

std::vector<double> scaleValues(const TWaveletTransform& transform, int level, int from, int count)
{
    std::vector<double> values(static_cast<std::size_t>(count));
    transform.read(level, 0, from, count, values.data());
    return values;
}

// Gain of a table at `hz` for `rate`.
double gainAt(const std::vector<double>& taps, double hz, int rate)
{
    double re = 0.0, im = 0.0;
    for (std::size_t k = 0; k < taps.size(); ++k) {
        re += taps[k] * std::cos(2 * Pi * hz * double(k) / rate);
        im -= taps[k] * std::sin(2 * Pi * hz * double(k) / rate);
    }
    return std::hypot(re, im);
}

} // namespace

TEST(WaveletScale, TablesAreTheQuadraticSplineWaveletAtFourScales)
{
    const std::vector<double> g = {-2.0, 2.0};                     // 2 (z - 1)
    const std::vector<double> h = {0.125, 0.375, 0.375, 0.125};    // (1 + 3z + 3z^2 + z^3) / 8
    std::vector<double> smoothing = {1.0};
    for (int level = 1; level <= TWaveletScale::Levels; ++level) {
        const std::vector<double> expected = multiply(smoothing, dilate(g, 1 << (level - 1)));
        const std::vector<double>& taps = TWaveletScale::taps(level);
        ASSERT_EQ(taps.size(), expected.size()) << "level " << level;
        for (std::size_t k = 0; k < taps.size(); ++k)
            EXPECT_DOUBLE_EQ(taps[k], expected[k]) << "level " << level << " tap " << k;
        smoothing = multiply(smoothing, dilate(h, 1 << (level - 1)));
    }
    EXPECT_EQ(TWaveletScale::taps(1).size(), 2u);
    EXPECT_EQ(TWaveletScale::taps(4).size(), 30u);
    EXPECT_TRUE(TWaveletScale::taps(5).empty());
}

TEST(WaveletTransform, RisingEdgesGiveNegativeValuesAlignedWithTheEdge)
{
    // A step up at sample 500: every scale's extremum lies at the step
    // (within half a sample) and is negative.
    std::vector<qint16> values(1000, 0);
    std::fill(values.begin() + 500, values.end(), qint16(1000));
    auto signal = signalOf(values);
    TWaveletTransform transform(*signal, 0, 4096);
    transform.advanceTo(1000);
    for (int level = 1; level <= 4; ++level) {
        const std::vector<double> scale = scaleValues(transform, level, 400, 200);
        const auto lowest = std::min_element(scale.begin(), scale.end());
        EXPECT_LT(*lowest, 0.0);
        EXPECT_NEAR(400 + (lowest - scale.begin()), 499.5, 0.6) << "level " << level;
        EXPECT_NEAR(*std::max_element(scale.begin(), scale.end()), 0.0, 1e-9);
    }
}

TEST(WaveletTransform, StepwiseComputationMatchesOneGoAndNeverRunsAhead)
{
    std::vector<qint16> values(3000);
    for (int i = 0; i < 3000; ++i)
        values[std::size_t(i)] = qint16(800 * std::sin(i * 0.07) + 300 * std::sin(i * 0.31));
    auto signal = signalOf(values);
    TWaveletTransform whole(*signal, 0, 4096);
    whole.advanceTo(3000);
    TWaveletTransform stepwise(*signal, 0, 4096);
    for (int end = 37; end < 3000; end += 37) {
        stepwise.advanceTo(end);
        EXPECT_LE(stepwise.computedEnd(), end);
    }
    stepwise.advanceTo(3000);
    EXPECT_EQ(stepwise.computedEnd(), whole.computedEnd());
    for (int level = 1; level <= 4; ++level)
        EXPECT_EQ(scaleValues(stepwise, level, 0, 2980), scaleValues(whole, level, 0, 2980));
}

TEST(WaveletTransform, StartUpTransientAndLateOriginReadAsZeroOrTheSame)
{
    // A constant offset: the scales see zeros before the first sample, so
    // their first values are a transient; they read 0 there.
    auto flat = signalOf(std::vector<qint16>(500, 2000));
    TWaveletTransform atZero(*flat, 0, 1000);
    atZero.advanceTo(500);
    EXPECT_EQ(atZero.firstValid(), 14);
    for (int level = 1; level <= 4; ++level)
        for (double value : scaleValues(atZero, level, -10, 300))
            EXPECT_EQ(value, 0.0);

    // Started later, the scales read the samples before their origin and
    // agree with scales started at 0.
    std::vector<qint16> values(2000);
    for (int i = 0; i < 2000; ++i)
        values[std::size_t(i)] = qint16(500 * std::sin(i * 0.11));
    auto signal = signalOf(values);
    TWaveletTransform early(*signal, 0, 4096);
    TWaveletTransform late(*signal, 1200, 4096);
    early.advanceTo(2000);
    late.advanceTo(2000);
    EXPECT_EQ(late.firstValid(), 1200);
    EXPECT_EQ(scaleValues(late, 3, 1000, 200), std::vector<double>(200, 0.0));
    for (int level = 1; level <= 4; ++level)
        EXPECT_EQ(scaleValues(late, level, 1200, 780), scaleValues(early, level, 1200, 780));
}

TEST(SignalPrefixView, ShowsOnlyTheSamplesItsOwnerAllows)
{
    std::vector<qint16> values(600);
    std::iota(values.begin(), values.end(), qint16(1));
    auto signal = signalOf(values, 2);
    signal->setResolutionBits(14);
    TSignalPrefixView view(*signal);
    EXPECT_EQ(view.appendedCount(), 0);
    EXPECT_EQ(view.resolutionBits(), 14);
    EXPECT_EQ(view.channelName(1), signal->channelName(1));
    view.setLength(300);
    EXPECT_EQ(view.appendedCount(), 300);
    EXPECT_EQ(view.completeBlockCount(), 1);
    EXPECT_EQ(view.sample(1, 299), 300);
    EXPECT_EQ(view.sample(1, 300), 0);
    std::vector<double> range(10);
    view.readRange(0, 295, 10, range.data());
    EXPECT_EQ(range, (std::vector<double>{296, 297, 298, 299, 300, 0, 0, 0, 0, 0}));
    EXPECT_EQ(view.readBlock(0, 1), nullptr);
    qint16* block = view.readBlock(0, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[255], 256);
    view.releaseBlock(block);
    view.setLength(100); // never shrinks
    EXPECT_EQ(view.appendedCount(), 300);
    view.setLength(5000); // never beyond the source
    EXPECT_EQ(view.appendedCount(), 600);
}

TEST(ScaleWindow, ReadsZeroOutsideItsSpanAndFindsZeroCrossings)
{
    std::vector<qint16> values(1000, 0);
    for (int i = 0; i < 1000; ++i)
        values[std::size_t(i)] = qint16(1000 * std::sin(2 * Pi * i / 100.0));
    auto signal = signalOf(values);
    TWaveletTransform transform(*signal, 0, 4096);
    transform.advanceTo(1000);
    TScaleWindow window(300);
    window.load(transform, 0, 100, 600); // more than it holds: keeps the newest
    EXPECT_EQ(window.first(), 300);
    EXPECT_EQ(window.end(), 600);
    EXPECT_EQ(window.value(2, 299), 0.0);
    EXPECT_EQ(window.value(2, 600), 0.0);
    EXPECT_NE(window.value(2, 350), 0.0);
    // W = -slope: the sine's crests (i = 325, 425, ...) are where the scale
    // crosses zero upwards, its troughs (375, ...) downwards.
    EXPECT_NEAR(window.zeroCrossing(2, 310, 340), 325, 1);
    EXPECT_NEAR(window.zeroCrossing(2, 360, 390), 375, 1);
    EXPECT_EQ(window.zeroCrossing(2, 330, 340), TScaleWindow::NoCrossing);
    EXPECT_TRUE(window.isModulusMaximum(2, 350, 2, 3)); // steepest fall: positive peak
    EXPECT_TRUE(window.isModulusMaximum(2, 400, 2, 3)); // steepest rise: negative trough
    EXPECT_FALSE(window.isModulusMaximum(2, 340, 2, 3));
    EXPECT_NEAR(window.rms(300, 600)[0], window.rms(0, 1000)[0], 1e-12); // clipped to the span
    EXPECT_EQ(window.rms(700, 800)[0], 0.0);
}

TEST(ScaleWindow, SlidingLoadsHoldWhatFreshLoadsHold)
{
    // Two leads, loaded in turn and in steps as the detector loads them,
    // far past the window's storage: each load must hold exactly what a
    // fresh window loading the same span holds.
    std::vector<qint16> first(6000), second(6000);
    for (int i = 0; i < 6000; ++i) {
        first[std::size_t(i)] = qint16(900 * std::sin(i * 0.05) + 200 * std::sin(i * 0.37));
        second[std::size_t(i)] = qint16(700 * std::sin(i * 0.09));
    }
    auto signal = std::make_unique<TSignalBuffer16>(2, 250, 256, 100000);
    const std::vector<const qint16*> leads{first.data(), second.data()};
    signal->append(leads.data(), 6000);
    TWaveletTransform transform(*signal, 0, 8192);
    std::vector<TScaleWindow> windows(2, TScaleWindow(250));
    TScaleWindow shared(250);
    for (int end = 60; end <= 6000; end += 62) {
        transform.advanceTo(end);
        for (int lead = 0; lead < 2; ++lead) {
            const int first = end - 220 - (end / 62 % 3) * 10;
            windows[std::size_t(lead)].load(transform, lead, first, transform.computedEnd());
            TScaleWindow fresh(250);
            fresh.load(transform, lead, first, transform.computedEnd());
            shared.load(transform, lead, first, transform.computedEnd());
            ASSERT_EQ(windows[std::size_t(lead)].first(), fresh.first());
            for (int level = 1; level <= TScaleWindow::Levels; ++level) {
                for (int index = fresh.first() - 1; index <= fresh.end(); ++index) {
                    ASSERT_EQ(windows[std::size_t(lead)].value(level, index), fresh.value(level, index)) << end;
                    ASSERT_EQ(shared.value(level, index), fresh.value(level, index)) << end;
                }
            }
        }
    }
}

TEST(MarkBuffer, KeepsMarksAroundItsBaseOnly)
{
    TMarkBuffer marks(100);
    marks.reset(1000);
    marks.set(900, 1);
    marks.set(1099, -1);
    marks.set(899, 1);  // outside: ignored
    marks.set(1100, 1); // outside: ignored
    EXPECT_EQ(marks.at(900), 1);
    EXPECT_EQ(marks.at(1099), -1);
    EXPECT_EQ(marks.at(899), 0);
    EXPECT_EQ(marks.at(1100), 0);
    EXPECT_EQ(marks.next(0, 5000), 900);
    EXPECT_EQ(marks.next(901, 5000), 1099);
    EXPECT_EQ(marks.next(901, 1000), 1000);

    // Moving on drops what leaves; the indices coming in share the slots of
    // those that left and read 0.
    marks.set(950, 1);
    marks.moveTo(1060);
    EXPECT_EQ(marks.at(900), 0);
    EXPECT_EQ(marks.at(950), 0);
    EXPECT_EQ(marks.at(1099), -1);
    EXPECT_EQ(marks.at(1100), 0);
    EXPECT_EQ(marks.at(1150), 0);
    marks.set(1150, -1);
    EXPECT_EQ(marks.at(1150), -1);
    marks.moveTo(5000);
    EXPECT_EQ(marks.next(4900, 5100), 5100);
    marks.set(4950, 1);
    marks.moveTo(4000); // backwards: empties
    EXPECT_EQ(marks.next(3900, 4100), 4100);
    EXPECT_EQ(marks.at(4950), 0);
}

TEST(WaveRecordQueue, FirstInFirstOutWithinItsCapacity)
{
    TWaveRecordQueue queue;
    for (int i = 0; i < TWaveRecordQueue::Capacity + 5; ++i) {
        TLeadWaveRecord record;
        record.qrs = 100 * i;
        queue.push(record);
    }
    EXPECT_EQ(queue.size(), TWaveRecordQueue::Capacity);
    EXPECT_EQ(queue.front().qrs, 500); // the five oldest were pushed out
    queue.discardBefore(1000);
    EXPECT_EQ(queue.front().qrs, 1000);
    queue.discardBefore(1000000);
    EXPECT_TRUE(queue.isEmpty());
    queue.pop(); // popping an empty queue is harmless
    EXPECT_EQ(queue.size(), 0);
}

TEST(WaveRecord, FusedCopyKeepsWavesAndPolaritiesOnly)
{
    TLeadWaveRecord record;
    record.qrs = 10;
    record.mainQrs = 12;
    record.t = 80;
    record.qrsOnset = 5;
    record.tEnd = 85;
    record.qrsPolarity = -1;
    record.tPolarity = 1;
    const TLeadWaveRecord fused = record.fused(11);
    EXPECT_EQ(fused.qrs, 11);
    EXPECT_EQ(fused.mainQrs, 12);
    EXPECT_EQ(fused.t, 80);
    EXPECT_EQ(fused.qrsPolarity, -1);
    EXPECT_EQ(fused.tPolarity, 1);
    EXPECT_FALSE(TLeadWaveRecord::isPresent(fused.qrsOnset));
    EXPECT_FALSE(TLeadWaveRecord::isPresent(fused.tEnd));
    EXPECT_FALSE(TLeadWaveRecord().isDetected());
}

TEST(RrRing, PushReturnsTheMeanOfThePositiveEntriesBeforeIt)
{
    TRrRing ring;
    EXPECT_EQ(ring.push(0.8), 0.0);
    EXPECT_DOUBLE_EQ(ring.push(1.0), 0.8);
    EXPECT_DOUBLE_EQ(ring.push(0.0), 0.9); // not positive: does not count
    EXPECT_DOUBLE_EQ(ring.lastMean(), 0.9);
    EXPECT_EQ(ring.positiveCount(), 2);
    for (int i = 0; i < 8; ++i)
        ring.push(0.5);
    EXPECT_EQ(ring.positiveCount(), 8);
    EXPECT_DOUBLE_EQ(ring.push(2.0), 0.5); // eight entries: the oldest went
    EXPECT_DOUBLE_EQ(ring.push(0.5), (7 * 0.5 + 2.0) / 8);
    ring.clear();
    EXPECT_EQ(ring.positiveCount(), 0);
    EXPECT_EQ(ring.lastMean(), 0.0);
}

TEST(LeadUsability, SaturationNeedsTheRailsAndRunsAtThem)
{
    const int resolution = 16; // rails checked from 2^14
    // A second of a slow wave (no plateau at either extreme) with spikes.
    std::vector<double> window(250);
    const auto baseline = [&] {
        for (int i = 0; i < 250; ++i)
            window[std::size_t(i)] = 500.0 * std::sin(2 * Pi * i / 250.0);
    };
    const auto spike = [&](int at, double value) { window[std::size_t(at)] = window[std::size_t(at + 1)] = value; };
    // Runs at the top, but far from the rails: never saturated.
    baseline();
    for (int run = 0; run < 10; ++run)
        spike(20 * run + 5, 5000.0);
    EXPECT_FALSE(TLeadUsability::isSaturated(window.data(), 250, resolution));
    // Three runs at the rail: not yet; four: saturated.
    baseline();
    for (int run = 0; run < 3; ++run)
        spike(50 * run + 10, 32767.0);
    EXPECT_FALSE(TLeadUsability::isSaturated(window.data(), 250, resolution));
    spike(200, 32766.0); // within 2 counts of the maximum
    EXPECT_TRUE(TLeadUsability::isSaturated(window.data(), 250, resolution));
    // A single sample at the rail is no run.
    baseline();
    for (int run = 0; run < 6; ++run)
        window[std::size_t(30 * run + 10)] = 32767.0;
    EXPECT_FALSE(TLeadUsability::isSaturated(window.data(), 250, resolution));
    // One long run at the bottom rail: saturated above 35 % of the window.
    baseline();
    std::fill(window.begin(), window.begin() + 87, -32768.0); // 34 %
    EXPECT_FALSE(TLeadUsability::isSaturated(window.data(), 250, resolution));
    std::fill(window.begin(), window.begin() + 90, -32768.0); // 36 %
    EXPECT_TRUE(TLeadUsability::isSaturated(window.data(), 250, resolution));
    EXPECT_FALSE(TLeadUsability::isSaturated(window.data(), 0, resolution));
}

TEST(LeadUsability, FlatnessLowPassAndThreshold)
{
    const std::vector<double>& taps = TLeadUsability::flatnessTaps();
    ASSERT_EQ(taps.size(), 48u);
    EXPECT_NEAR(std::accumulate(taps.begin(), taps.end(), 0.0), 1.0084637, 1e-6);
    EXPECT_NEAR(gainAt(taps, 10.0, 250), 0.47, 0.01);
    for (double hz = 15.0; hz <= 125.0; hz += 0.5)
        EXPECT_LT(gainAt(taps, hz, 250), 0.031) << hz << " Hz";

    TSignalBuffer16 signal(1, 250, 256, 1000);
    TLeadUsability usability(signal);
    // A constant, however large, has no span; nor has hum the low-pass
    // removes.
    std::vector<double> window(750, 12000.0);
    EXPECT_NEAR(usability.smoothedSpan(window.data(), 750), 0.0, 1e-6);
    for (int i = 0; i < 750; ++i)
        window[std::size_t(i)] = 12000.0 + 200.0 * std::sin(2 * Pi * 50.0 * i / 250.0);
    EXPECT_LT(usability.smoothedSpan(window.data(), 750), 2.0 * 200.0 * 0.031);
    // A slow wave of 40 counts peak to peak keeps its span.
    for (int i = 0; i < 750; ++i)
        window[std::size_t(i)] = 20.0 * std::sin(2 * Pi * 1.0 * i / 250.0);
    EXPECT_NEAR(usability.smoothedSpan(window.data(), 750), 40.0 * 1.0084637, 1.0);
    EXPECT_EQ(usability.smoothedSpan(window.data(), 40), 0.0); // shorter than the table

    // The threshold is 32 counts at 16 bits, 128 at 12 bits. Beside a lead
    // that reaches it, a lead below it is flat...
    EXPECT_FALSE(TLeadUsability::isFlat(40.0, 400.0, 16));
    EXPECT_TRUE(TLeadUsability::isFlat(31.0, 400.0, 16));
    EXPECT_TRUE(TLeadUsability::isFlat(40.0, 400.0, 12));
    // ... but when no lead reaches it, the ECG is of low voltage: a lead is
    // flat only below an eighth of it (4 counts at 16 bits) or beside a lead
    // twice its size.
    EXPECT_FALSE(TLeadUsability::isFlat(20.0, 20.0, 16));
    EXPECT_FALSE(TLeadUsability::isFlat(11.0, 20.0, 16));
    EXPECT_TRUE(TLeadUsability::isFlat(10.0, 20.0, 16));
    EXPECT_TRUE(TLeadUsability::isFlat(3.9, 3.9, 16));
    EXPECT_FALSE(TLeadUsability::isFlat(100.0, 100.0, 12));
    EXPECT_TRUE(TLeadUsability::isFlat(15.0, 15.0, 12));
}

TEST(LeadUsability, WindowsAroundTheBeatStayInsideTheSignal)
{
    // A lead at a large constant offset with a slow wave: the window of a
    // beat near the start is not padded with zeros (which would make the
    // offset look like a signal).
    TSignalBuffer16 signal(2, 250, 256, 5000);
    std::vector<qint16> offset(2000, 8000), wave(2000);
    for (int i = 0; i < 2000; ++i)
        wave[std::size_t(i)] = qint16(8000 + 100 * std::sin(2 * Pi * i / 250.0));
    const qint16* channels[] = {offset.data(), wave.data()};
    signal.append(channels, 2000);
    TLeadUsability usability(signal);
    for (int beat : {100, 1950}) {
        bool usable[2];
        usability.judge(beat, usable);
        EXPECT_FALSE(usable[0]) << beat;
        EXPECT_TRUE(usable[1]) << beat;
    }
}
