// Beat averaging: template building (also at the end of a short
// recording) and acceptance of the live averager, the sliding window and
// reference lead of the windowed averager, noise reduction, realignment of
// jittered beats and segments at the edges of a recording.
#include "common/AveragingTestSupport.h"

#include "analysis/beats/TBeatAverager.h"
#include "analysis/beats/TBeatSegment.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/beats/TWaveDelineator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace averagingtest;

namespace {

constexpr int Rate = 1000;
constexpr int Spacing = 800; // samples between beats (RR 0.8 s)
constexpr int FirstBeat = 1000;

// One beat around its QRS at offset 0 (samples): a narrow QRS and a T
// wave, both inside +-300 samples so that neighbouring beats 800 samples
// apart never reach into each other's one-second segments.
double beatShape(int offset)
{
    return 3000.0 * std::exp(-double(offset) * offset / (2.0 * 64.0)) + bump(offset, 200, 300, 500.0);
}

std::vector<int> beatPositions(int count)
{
    std::vector<int> positions;
    for (int k = 0; k < count; ++k)
        positions.push_back(FirstBeat + k * Spacing);
    return positions;
}

// A trace with `scale` * beatShape around every position.
std::vector<double> beatTrain(const std::vector<int>& positions, double scale = 1.0)
{
    std::vector<double> trace(std::size_t(positions.back() + FirstBeat), 0.0);
    for (int position : positions) {
        for (int offset = -400; offset < 400; ++offset)
            trace[std::size_t(position + offset)] += scale * beatShape(offset);
    }
    return trace;
}

// The segment of one beat as the averagers see it: beatShape over
// [-500, 500) minus its mean.
std::vector<double> cleanSegment(double scale = 1.0)
{
    std::vector<double> segment;
    double sum = 0.0;
    for (int offset = -500; offset < 500; ++offset) {
        segment.push_back(scale * beatShape(offset));
        sum += segment.back();
    }
    for (double& value : segment)
        value -= sum / double(segment.size());
    return segment;
}

double maxDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::fabs(a[i] - b[i]));
    return worst;
}

void addBeats(TLiveBeatAverager& averager, const TSignal& signal, const std::vector<int>& positions, int from, int to)
{
    for (int k = from; k < to; ++k)
        averager.add(makeBeat(&signal, positions[std::size_t(k)] / double(Rate)));
}

// A beat whose lead `lead` has its main QRS wave at the QRS time with the
// given polarity.
TBeat markedBeat(const TSignal& signal, double qrsTime, int lead, double polarity, double rr = 0.8)
{
    TBeat beat = makeBeat(&signal, qrsTime, rr);
    beat.setMark(lead, TBeat::MainQrsWave, qrsTime);
    beat.setMark(lead, TBeat::QrsPolarity, polarity);
    return beat;
}

} // namespace

// Ten beats complete the templates: the tenth beat then also enters the
// running mean, so the count is 11. A flat lead builds no template and
// keeps count 0 while the other lead goes on averaging; invalid beats are
// ignored.
TEST(LiveBeatAveragerTest, TemplatesFormFromTenBeats)
{
    const std::vector<int> positions = beatPositions(16);
    const auto signal = makeSignal({beatTrain(positions), std::vector<double>(beatTrain(positions).size(), 0.0)}, Rate);
    TLiveBeatAverager averager(*signal);
    EXPECT_EQ(averager.length(), 1000);
    EXPECT_EQ(averager.centre(), 500);

    addBeats(averager, *signal, positions, 0, 9);
    EXPECT_EQ(averager.count(0), 0);
    EXPECT_EQ(averager.count(1), 0);

    // The tenth beat completes the template and counts once.
    addBeats(averager, *signal, positions, 9, 10);
    EXPECT_EQ(averager.count(0), 10);
    EXPECT_EQ(averager.count(1), 0);

    TBeat rejected = makeBeat(signal.get(), positions[10] / double(Rate));
    rejected.setBeatClass(TBeat::Rejected);
    averager.add(rejected);
    EXPECT_EQ(averager.count(0), 10);

    addBeats(averager, *signal, positions, 10, 16);
    EXPECT_EQ(averager.count(0), 16);
    EXPECT_EQ(averager.count(1), 0);
    EXPECT_LT(maxDifference(averager.average(0), cleanSegment()), 1.0);
    EXPECT_EQ(averager.count(16), 0);
    EXPECT_EQ(averager.average(16).size(), 1000u);
}

// A recording that ends after eight beats has no template while it runs;
// finishing builds one from the eight, which gives an averaged beat whose
// waves are found. A flat lead still gets none.
TEST(LiveBeatAveragerTest, FinishingAShortRecordingAveragesItsBeats)
{
    const std::vector<int> positions = beatPositions(8);
    const auto signal = makeSignal({beatTrain(positions), std::vector<double>(beatTrain(positions).size(), 0.0)}, Rate);
    TLiveBeatAverager averager(*signal);
    addBeats(averager, *signal, positions, 0, 8);
    EXPECT_EQ(averager.count(0), 0);

    averager.finish();
    EXPECT_EQ(averager.count(0), 8);
    EXPECT_EQ(averager.count(1), 0);
    EXPECT_LT(maxDifference(averager.average(0), cleanSegment()), 1.0);
    const TWaveDelineation marks = TWaveDelineator().delineate(averager, 0);
    EXPECT_GT(marks.qrsOnset, 400);
    EXPECT_LT(marks.qrsOnset, 500);
    EXPECT_GT(marks.qrsOffset, 500);
}

// The first beats' running mean RR is unknown or, after a false beat among
// the first RRs, off the rhythm (0.55 s against RRs of 0.8 s): no beat
// passes against it, and finishing judges the RRs against their median.
TEST(LiveBeatAveragerTest, FinishingJudgesRrAgainstTheMedianWhenTheRunningMeanIsOff)
{
    const std::vector<int> positions = beatPositions(8);
    const auto signal = makeSignal({beatTrain(positions)}, Rate);
    TLiveBeatAverager averager(*signal);
    for (int k = 0; k < 8; ++k)
        averager.add(makeBeat(signal.get(), positions[std::size_t(k)] / double(Rate), k == 0 ? 0.25 : 0.8, k < 5 ? 0.0 : 0.55));

    averager.finish();
    EXPECT_EQ(averager.count(0), 8);
    EXPECT_LT(maxDifference(averager.average(0), cleanSegment()), 1.0);
}

// A lead that stays flat keeps no more than the last 40 first beats and is
// tried again every tenth beat: a lead whose beats only appear from beat
// 46 on gets its template at beat 50 (from the five real beats among the
// last 40, the fiftieth counted once), not before.
TEST(LiveBeatAveragerTest, LeadWithoutTemplateIsRetriedEveryTenthBeatOnTheLastForty)
{
    const std::vector<int> positions = beatPositions(50);
    const std::vector<int> late(positions.begin() + 45, positions.end());
    std::vector<double> lateTrace = beatTrain(late);
    lateTrace.resize(beatTrain(positions).size(), 0.0);
    const auto signal = makeSignal({beatTrain(positions), lateTrace}, Rate);
    TLiveBeatAverager averager(*signal);

    addBeats(averager, *signal, positions, 0, 49);
    EXPECT_EQ(averager.count(0), 49);
    EXPECT_EQ(averager.count(1), 0);
    addBeats(averager, *signal, positions, 49, 50);
    EXPECT_EQ(averager.count(0), 50);
    EXPECT_EQ(averager.count(1), 5);
    EXPECT_LT(maxDifference(averager.average(1), cleanSegment()), 1.0);
}

// Template: a spike of 9600 at the QRS (balanced by -9600 200 samples
// later, so segments have mean 0). Test beats add +-v at four samples of the centre
// window; the correlation with the template is 9600 / sqrt(9600^2 + sum
// v^2): exactly 48 / 50 = 0.96 for v = 1400, and 0.9590002 for v = 1418,
// 1418, 1419, 1419. Only the first is accepted.
TEST(LiveBeatAveragerTest, AcceptsCorrelationFromPointNineSix)
{
    const std::vector<int> positions = beatPositions(13);
    std::vector<double> trace(std::size_t(positions.back() + FirstBeat), 0.0);
    for (int position : positions) {
        trace[std::size_t(position)] = 9600.0;
        trace[std::size_t(position + 200)] = -9600.0;
    }
    const auto addNoise = [&](int position, const std::array<double, 4>& magnitudes) {
        const int offsets[4] = {-20, -10, 10, 20};
        for (int i = 0; i < 4; ++i)
            trace[std::size_t(position + offsets[i])] = (i % 2 == 0 ? 1.0 : -1.0) * magnitudes[std::size_t(i)];
        double energy = 0.0;
        for (double m : magnitudes)
            energy += m * m;
        return 9600.0 / std::sqrt(9600.0 * 9600.0 + energy);
    };
    EXPECT_NEAR(addNoise(positions[11], {1418, 1418, 1419, 1419}), 0.959, 1e-6);
    EXPECT_DOUBLE_EQ(addNoise(positions[12], {1400, 1400, 1400, 1400}), 0.96);
    const auto signal = makeSignal({trace}, Rate);
    TLiveBeatAverager averager(*signal);
    addBeats(averager, *signal, positions, 0, 11);
    ASSERT_EQ(averager.count(0), 11);

    addBeats(averager, *signal, positions, 11, 12);
    EXPECT_EQ(averager.count(0), 11);
    addBeats(averager, *signal, positions, 12, 13);
    EXPECT_EQ(averager.count(0), 12);
}

// RR = 0.84 x the running mean is skipped by both averagers, 0.86 x taken.
TEST(BeatAveragersTest, SkipRrBelowPointEightFiveOfTheMean)
{
    const std::vector<int> positions = beatPositions(14);
    const auto signal = makeSignal({beatTrain(positions)}, Rate);
    TLiveBeatAverager live(*signal);
    TBeatAverager windowed(*signal, 20.0);
    for (int k = 0; k < 12; ++k) {
        const double time = positions[std::size_t(k)] / double(Rate);
        live.add(makeBeat(signal.get(), time));
        windowed.add(markedBeat(*signal, time, 0, 1.0));
    }
    ASSERT_EQ(live.count(0), 12);
    ASSERT_EQ(windowed.count(), 12);

    const double early = positions[12] / double(Rate);
    live.add(makeBeat(signal.get(), early, 0.84 * 0.8, 0.8));
    windowed.add(markedBeat(*signal, early, 0, 1.0, 0.84 * 0.8));
    EXPECT_EQ(live.count(0), 12);
    EXPECT_EQ(windowed.count(), 12);
    EXPECT_EQ(windowed.retainedCount(), 13);

    const double later = positions[13] / double(Rate);
    live.add(makeBeat(signal.get(), later, 0.86 * 0.8, 0.8));
    windowed.add(markedBeat(*signal, later, 0, 1.0, 0.86 * 0.8));
    EXPECT_EQ(live.count(0), 13);
    EXPECT_EQ(windowed.count(), 13);
    EXPECT_NEAR(windowed.meanRrInterval(), (12 * 0.8 + 0.86 * 0.8) / 13.0, 1e-12);
}

// Lead 0 has its main wave marked in every beat, but always downward; lead
// 1 is upright in five beats, lead 2 in three. Lead 1 is the reference and
// only its five upright beats are averaged.
TEST(BeatAveragerTest, DownwardLeadIsNeverTheReference)
{
    const std::vector<int> positions = beatPositions(8);
    const std::vector<double> upright = beatTrain(positions);
    const auto signal = makeSignal({beatTrain(positions, -1.0), upright, upright}, Rate);
    TBeatAverager averager(*signal, 20.0);
    for (int k = 0; k < 8; ++k) {
        const double time = positions[std::size_t(k)] / double(Rate);
        TBeat beat = markedBeat(*signal, time, 0, -1.0);
        beat.setMark(1, TBeat::MainQrsWave, time);
        beat.setMark(1, TBeat::QrsPolarity, k < 5 ? 1.0 : -1.0);
        if (k < 3) {
            beat.setMark(2, TBeat::MainQrsWave, time);
            beat.setMark(2, TBeat::QrsPolarity, 1.0);
        }
        averager.add(beat);
    }
    EXPECT_EQ(averager.referenceLead(), 1);
    EXPECT_EQ(averager.count(), 5);
    EXPECT_LT(maxDifference(averager.average(0), cleanSegment(-1.0)), 1.0);

    averager.reset(false);
    EXPECT_EQ(averager.retainedCount(), 0);
    EXPECT_EQ(averager.count(), 0);
    EXPECT_EQ(maxDifference(averager.average(1), std::vector<double>(1000, 0.0)), 0.0);
}

// With a 20-s window, a beat whose window starts 20 s or more before the
// newest one's is forgotten.
TEST(BeatAveragerTest, WindowKeepsBeatsStartingWithinTwentySeconds)
{
    const auto signal = makeSignal({std::vector<double>(100, 0.0)}, Rate);
    TBeatAverager averager(*signal, 20.0);
    const auto addAt = [&](double start) {
        TBeat beat(signal.get());
        beat.setWindowStart(start);
        averager.add(beat);
        return averager.retainedCount();
    };
    EXPECT_EQ(addAt(0.0), 1);
    EXPECT_EQ(addAt(5.0), 2);
    EXPECT_EQ(addAt(10.0), 3);
    EXPECT_EQ(addAt(19.9), 4);
    EXPECT_EQ(addAt(20.0), 4); // 20.0 - 0.0 is not less than 20
    EXPECT_EQ(addAt(25.0), 4); // keeps 10.0, 19.9, 20.0, 25.0
    EXPECT_EQ(addAt(45.0), 1);
}

// White noise of standard deviation 40 counts around identical beats: the
// averages keep sigma / sqrt(count) of it, within 10 %.
TEST(BeatAveragersTest, NoiseFallsWithTheSquareRootOfTheBeatCount)
{
    constexpr int BeatCount = 150;
    constexpr double Sigma = 40.0;
    const std::vector<int> positions = beatPositions(BeatCount);
    std::vector<double> trace = beatTrain(positions);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, Sigma);
    for (double& value : trace)
        value += noise(random);
    const auto signal = makeSignal({trace}, Rate);
    TLiveBeatAverager live(*signal);
    TBeatAverager windowed(*signal, 1000.0);
    for (int position : positions) {
        const double time = position / double(Rate);
        live.add(makeBeat(signal.get(), time));
        windowed.add(markedBeat(*signal, time, 0, 1.0));
    }
    // Every beat enters both, once.
    ASSERT_EQ(live.count(0), BeatCount);
    ASSERT_EQ(windowed.count(), BeatCount);
    const double expected = Sigma / std::sqrt(double(BeatCount));
    EXPECT_NEAR(rmsDifference(live.average(0), cleanSegment()) / expected, 1.0, 0.1);
    EXPECT_NEAR(rmsDifference(windowed.average(0), cleanSegment()) / expected, 1.0, 0.1);
}

// Beats reported up to 12 samples early or late are taken again at their
// true position: the average is the clean beat to the sample. The jitter
// of the ten template beats is symmetric, so their provisional mean stays
// centred.
TEST(LiveBeatAveragerTest, RealignsJitteredBeatsToTheSample)
{
    const std::vector<int> positions = beatPositions(60);
    const auto signal = makeSignal({beatTrain(positions)}, Rate);
    TLiveBeatAverager averager(*signal);
    const int templateJitter[10] = {0, 3, -3, 6, -6, 1, -1, 5, -5, 0};
    std::mt19937 random(3);
    std::uniform_int_distribution<int> jitter(-12, 12);
    for (int k = 0; k < 60; ++k) {
        const int shift = k < 10 ? templateJitter[k] : jitter(random);
        averager.add(makeBeat(signal.get(), (positions[std::size_t(k)] + shift) / double(Rate)));
    }
    EXPECT_EQ(averager.count(0), 60);
    // The stored (rounded) beat, as read at its true position.
    std::vector<double> truth(1000);
    TBeatSegment(Rate).read(*signal, 0, positions[1] / double(Rate), truth.data());
    EXPECT_LT(maxDifference(averager.average(0), truth), 1e-9);
}

// Beats at the very start or past the end of what the signal holds, and
// beats with absurd times, read zeros where there are no samples and never
// read outside a buffer.
TEST(BeatAveragersTest, SegmentsAtTheEdgesOfTheRecordingReadZeros)
{
    const TBeatSegment segment(Rate);
    std::vector<double> values(1000);
    const auto signal = makeSignal({std::vector<double>(2000, 100.0)}, Rate);
    segment.read(*signal, 0, 0.2, values.data()); // samples -300 .. 699
    EXPECT_DOUBLE_EQ(values[0], -70.0);
    EXPECT_DOUBLE_EQ(values[299], -70.0);
    EXPECT_DOUBLE_EQ(values[300], 30.0);
    // Detector times are 250 Hz samples in floating point: none loses a sample.
    for (int k = 200; k < 20000; ++k)
        ASSERT_EQ(segment.startIndex(k / 250.0), 4 * k - 500) << k;
    EXPECT_LT(segment.startIndex(std::numeric_limits<double>::quiet_NaN()), -100000000);
    EXPECT_GT(segment.startIndex(1e300), 100000000);

    const std::vector<int> positions = beatPositions(14);
    const auto beats = makeSignal({beatTrain(positions)}, Rate);
    TLiveBeatAverager live(*beats);
    TBeatAverager windowed(*beats, 1e9);
    addBeats(live, *beats, positions, 0, 12);
    const int before = live.count(0);
    for (double time : {0.0, 0.03, 0.45, 12.5, 1e12, -1e12, std::numeric_limits<double>::infinity()}) {
        live.add(makeBeat(beats.get(), time));
        windowed.add(markedBeat(*beats, time, 0, 1.0));
    }
    EXPECT_EQ(live.count(0), before); // zeros do not correlate with the template
    EXPECT_EQ(windowed.count(), windowed.retainedCount());
    for (double value : windowed.average(0))
        ASSERT_TRUE(std::isfinite(value));
}
