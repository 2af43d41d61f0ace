// Wave delineation of averaged beats built from known smooth P, QRS and T
// waves, the smoothing tables, the interval measurements and the beat mark
// refinement on the raw signal.
#include "common/AveragingTestSupport.h"

#include "analysis/beats/TBeatMarkRefiner.h"
#include "analysis/beats/TDelineationTables.h"
#include "analysis/beats/TIntervalMeasures.h"
#include "analysis/beats/TWaveDelineator.h"
#include "analysis/signal/TWaveMarks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

using namespace averagingtest;

namespace {

// One count of the acquisition device in millivolts (600 mV over 16 bits).
constexpr double DeviceLsb = 600.0 / 65536.0;

struct QrsWave
{
    double share;     // of the QRS duration
    double amplitude; // mV
};

// A beat designed in milliseconds from its centre: a sin^2 P wave, QRS
// waves of sin^2 shape one after the other, and a T wave that rises slowly
// and falls faster (peak at 70 % of its span), as T waves do.
struct BeatDesign
{
    double pOnset, pOffset, pAmplitude;
    double qrsOnset, qrsOffset;
    std::vector<QrsWave> qrs;
    double tOnset, tOffset, tAmplitude;

    double millivolts(double ms) const
    {
        double value = bump(ms, pOnset, pOffset, pAmplitude) + skewedBump(ms, tOnset, tOffset, tAmplitude, 0.7);
        double start = qrsOnset;
        for (const QrsWave& wave : qrs) {
            const double end = start + wave.share * (qrsOffset - qrsOnset);
            value += bump(ms, start, end, wave.amplitude);
            start = end;
        }
        return value;
    }

    // One second at `rate`, centred at rate / 2, in device counts; the
    // design can be moved by `shiftMs`.
    std::vector<double> beat(int rate, double shiftMs = 0.0) const
    {
        std::vector<double> samples(static_cast<std::size_t>(rate));
        for (int i = 0; i < rate; ++i)
            samples[std::size_t(i)] = millivolts((i - rate / 2) * 1000.0 / rate - shiftMs) / DeviceLsb;
        return samples;
    }
};

// qRs, Rs, large qRs, rS with inverted P and T, QRs, QS with inverted T,
// and Rs with a longer QRS.
const std::vector<BeatDesign>& designs()
{
    static const std::vector<BeatDesign> list = {
        {-200, -100, 0.15, -50, 50, {{0.2, -0.1}, {0.5, 1.5}, {0.3, -0.4}}, 150, 400, 0.35},
        {-180, -90, 0.12, -40, 40, {{0.65, 1.2}, {0.35, -0.3}}, 120, 350, 0.3},
        {-220, -110, 0.2, -60, 60, {{0.2, -0.15}, {0.5, 2.0}, {0.3, -0.6}}, 170, 420, 0.5},
        {-190, -80, -0.1, -45, 45, {{0.35, 0.3}, {0.65, -1.2}}, 140, 380, -0.25},
        {-200, -100, 0.1, -50, 50, {{0.25, -0.3}, {0.35, 0.6}, {0.4, -1.0}}, 150, 380, 0.3},
        {-210, -110, 0.15, -55, 55, {{1.0, -1.1}}, 160, 400, -0.3},
        {-200, -110, 0.12, -45, 55, {{0.6, 1.0}, {0.4, -0.5}}, 150, 390, 0.25},
    };
    return list;
}

double toMs(int index, int rate)
{
    return (index - rate / 2) * 1000.0 / rate;
}

} // namespace

// QRS onset and offset within 8 ms, P onset within 10 ms and T offset
// within 20 ms of the designed waves at 1000 and 500 Hz; at 1000 Hz every
// position is a multiple of 4 samples (found at 250 Hz).
TEST(WaveDelineatorTest, FindsDesignedWavesWithinTolerance)
{
    TWaveDelineator delineator;
    for (int rate : {1000, 500}) {
        double worst[4] = {0.0, 0.0, 0.0, 0.0};
        for (std::size_t d = 0; d < designs().size(); ++d) {
            const BeatDesign& design = designs()[d];
            SCOPED_TRACE(testing::Message() << "rate " << rate << ", design " << d);
            const TWaveDelineation found = delineator.delineate(design.beat(rate), rate, rate / 2, int(0.75 * rate));
            ASSERT_NE(found.qrsOnset, 0);
            ASSERT_NE(found.qrsOffset, 0);
            ASSERT_NE(found.pOnset, 0);
            ASSERT_NE(found.tOffset, 0);
            const double errors[4] = {
                toMs(found.qrsOnset, rate) - design.qrsOnset,
                toMs(found.qrsOffset, rate) - design.qrsOffset,
                toMs(found.pOnset, rate) - design.pOnset,
                toMs(found.tOffset, rate) - design.tOffset,
            };
            EXPECT_LE(std::fabs(errors[0]), 8.0);
            EXPECT_LE(std::fabs(errors[1]), 8.0);
            EXPECT_LE(std::fabs(errors[2]), 10.0);
            EXPECT_LE(std::fabs(errors[3]), 20.0);
            for (int k = 0; k < 4; ++k)
                worst[k] = std::max(worst[k], std::fabs(errors[k]));
            EXPECT_GT(found.pPeak, found.pOnset);
            EXPECT_LT(found.tPeak, found.tOffset);
            if (rate == 1000) {
                for (int index : {found.pOnset, found.pPeak, found.pOffset, found.qrsOnset, found.qrsOffset,
                                  found.tOnset, found.tPeak, found.tOffset})
                    EXPECT_EQ(index % 4, 0);
            }
        }
        std::printf("%d Hz: largest errors (ms) QRS onset %.0f, QRS offset %.0f, P onset %.0f, T offset %.0f\n",
                    rate, worst[0], worst[1], worst[2], worst[3]);
    }
}

// Below 10 counts peak to peak nothing is found; a QRS onset closer than
// 75 samples (at 250 Hz) to the end leaves no QRS offset and no T wave.
TEST(WaveDelineatorTest, FlatBeatsAndLateQrsLeaveMarksUnset)
{
    TWaveDelineator delineator;
    std::vector<double> flat(1000, 0.0);
    flat[300] = 9.9;
    const TWaveDelineation none = delineator.delineate(flat, 1000, 500, 750);
    for (int index : {none.pOnset, none.pPeak, none.pOffset, none.qrsOnset, none.qrsOffset, none.tOnset, none.tPeak,
                      none.tOffset})
        EXPECT_EQ(index, 0);

    // The first design moved 350 ms later: QRS onset at 800 of 1000 samples.
    const TWaveDelineation late = delineator.delineate(designs()[0].beat(1000, 350.0), 1000, 850, 750);
    EXPECT_NEAR(late.qrsOnset, 800, 8);
    EXPECT_NEAR(late.pOnset, 650, 10);
    EXPECT_EQ(late.qrsOffset, 0);
    EXPECT_EQ(late.tOnset, 0);
    EXPECT_EQ(late.tPeak, 0);
    EXPECT_EQ(late.tOffset, 0);
}

// Whatever centre, window, length and rate are passed, every search stays
// inside the beat and every result is an index into it.
TEST(WaveDelineatorTest, SearchesStayInsideTheBeat)
{
    TWaveDelineator delineator;
    const std::vector<double> beat = designs()[2].beat(1000);
    for (int length : {1, 5, 40, 300, 1000}) {
        const std::vector<double> part(beat.begin() + (1000 - length) / 2, beat.begin() + (1000 + length) / 2);
        for (int rate : {1000, 500, 250, 100, 0, -500}) {
            for (int centre : {-100, 0, 7, length / 2, length - 1, length + 3000}) {
                for (int window : {-750, 0, 750, 1000000}) {
                    const TWaveDelineation found = delineator.delineate(part, rate, centre, window);
                    for (int index : {found.pOnset, found.pPeak, found.pOffset, found.qrsOnset, found.qrsOffset,
                                      found.tOnset, found.tPeak, found.tOffset}) {
                        ASSERT_GE(index, 0);
                        ASSERT_LT(index, std::max(length, 1));
                    }
                }
            }
        }
    }
}

// The smoothing tables add up to their sums (the refinement table's tabled
// half adds up to 1.0192124, whatever its heading says; a uniform gain does
// not move extrema), and applying one centred puts an impulse's response
// symmetrically around it.
TEST(DelineationTablesTest, TablesHaveTheirSumsAndApplyCentred)
{
    const std::pair<const TFirTable*, double> tables[] = {
        {&TDelineationTables::pWave(), 1.0000002},
        {&TDelineationTables::tWave(), 1.0000001},
        {&TDelineationTables::qrsOffset(), 1.0000008},
        {&TDelineationTables::markRefinement(), 1.0192124},
    };
    const int lengths[] = {25, 51, 81, 32};
    for (int t = 0; t < 4; ++t) {
        const TFirTable& table = *tables[t].first;
        ASSERT_EQ(table.length(), lengths[t]);
        EXPECT_NEAR(std::accumulate(table.taps().begin(), table.taps().end(), 0.0), tables[t].second, 1e-9);
        std::vector<double> impulse(200, 0.0);
        impulse[100] = 1.0;
        const std::vector<double> smoothed = TDelineationTables::smoothCentred(table, impulse);
        ASSERT_EQ(smoothed.size(), 200u);
        const int shift = (table.length() - 1) / 2;
        for (int k = 0; k < table.length(); ++k)
            EXPECT_DOUBLE_EQ(smoothed[std::size_t(100 - shift + k)], table[k]);
        EXPECT_DOUBLE_EQ(smoothed[std::size_t(100 - shift - 1)], 0.0);
    }
}

// Delineated positions become wave marks relative to the centre; PR, QRS,
// QT, QTc and RR follow from them in whole milliseconds.
TEST(IntervalMeasuresTest, MeasuresFromDelineatedMarks)
{
    TWaveDelineation found;
    found.pOnset = 300;
    found.pPeak = 352;
    found.pOffset = 400;
    found.qrsOnset = 460;
    found.qrsOffset = 556;
    found.tOnset = 660;
    found.tOffset = 880;
    TWaveMarks marks;
    found.storeInto(marks, 1000, 500);
    EXPECT_DOUBLE_EQ(marks.find("POnset")->value(), -0.2);
    EXPECT_DOUBLE_EQ(marks.find("PPeak")->value(), -0.148);
    EXPECT_DOUBLE_EQ(marks.find("TOffset")->value(), 0.38);
    EXPECT_EQ(marks.find("avgRRInterval")->value(), 0.0);

    TIntervalMeasures measures = TIntervalMeasures::fromWaveMarks(marks);
    EXPECT_EQ(measures.pr, 160);
    EXPECT_EQ(measures.qrs, 96);
    EXPECT_EQ(measures.qt, 420);
    EXPECT_FALSE(measures.qtc.has_value()); // no mean RR
    EXPECT_FALSE(measures.rr.has_value());

    marks.find("avgRRInterval")->setValue(0.81);
    measures = TIntervalMeasures::fromWaveMarks(marks);
    EXPECT_EQ(measures.qtc, 466); // 420 / 0.9
    EXPECT_EQ(measures.rr, 810);

    // A wave that was not found stays unset and takes only the intervals
    // that need it: no PR without a P onset (QRS, QT, QTc and RR stay), no
    // QT (and QTc) without a T offset.
    found.pOnset = 0;
    found.storeInto(marks, 1000, 500);
    measures = TIntervalMeasures::fromWaveMarks(marks);
    EXPECT_FALSE(measures.pr.has_value());
    EXPECT_EQ(measures.qrs, 96);
    EXPECT_EQ(measures.qt, 420);
    EXPECT_EQ(measures.qtc, 466);
    EXPECT_EQ(measures.rr, 810);
    found.pOnset = 300;
    found.tOffset = 0;
    found.storeInto(marks, 1000, 500);
    EXPECT_EQ(marks.find("TOffset")->value(), 0.0);
    measures = TIntervalMeasures::fromWaveMarks(marks);
    EXPECT_EQ(measures.pr, 160);
    EXPECT_EQ(measures.qrs, 96);
    EXPECT_FALSE(measures.qt.has_value());
    EXPECT_FALSE(measures.qtc.has_value());
    EXPECT_EQ(measures.rr, 810);
    // Without a QRS onset nothing but RR is measured.
    found.qrsOnset = 0;
    found.storeInto(marks, 1000, 500);
    measures = TIntervalMeasures::fromWaveMarks(marks);
    EXPECT_FALSE(measures.pr || measures.qrs || measures.qt || measures.qtc);
    EXPECT_EQ(measures.rr, 810);
}

// The marks of a detected beat move onto the extrema of the smoothed raw
// signal within 6 samples: P, main QRS and T onto maxima, first and last
// QRS waves onto maxima or minima; without one a mark keeps its sample.
TEST(BeatMarkRefinerTest, MovesMarksOntoNearbyExtrema)
{
    std::vector<double> trace(3000, 0.0);
    for (int i = 0; i < 3000; ++i) {
        const double ramp = i > 1550 && i < 1650 ? 2.0 * (i - 1550) : 0.0;
        // The even-length table delays by half a sample: the smoothed peak
        // of this bump is at 1401, its trough at 1481.
        trace[std::size_t(i)] = bump(i, 1380, 1421, 400.0) + bump(i, 1460, 1501, -300.0) + ramp;
    }
    const auto signal = makeSignal({trace, std::vector<double>(3000, 0.0)}, 1000);
    TBeat beat = makeBeat(signal.get(), 1.5);
    beat.setWindowStart(1.2);
    beat.setWindowLength(0.6);
    beat.setMark(0, TBeat::MainQrsWave, 1.3964); // 5 samples early
    beat.setMark(0, TBeat::LastQrsWave, 1.4772); // trough 4 samples later
    beat.setMark(0, TBeat::TWave, 1.4793);       // a trough is no maximum
    beat.setMark(0, TBeat::PWave, 1.6004);       // on the ramp: stays
    beat.setMark(1, TBeat::FirstQrsWave, 1.3); // flat lead: stays
    TBeatMarkRefiner refiner;
    refiner.refine(beat, *signal);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::MainQrsWave), 1.401);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::LastQrsWave), 1.481);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::TWave), 1.479);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::PWave), 1.6);
    EXPECT_DOUBLE_EQ(beat.mark(1, TBeat::FirstQrsWave), 1.3);
    EXPECT_FALSE(beat.isMarkSet(0, TBeat::FirstQrsWave));
}

// Marks at the window's edges, outside it or outside the recording are
// only looked at where the window has samples; nothing is read elsewhere.
TEST(BeatMarkRefinerTest, MarksAtTheEdgesStayInsideTheWindow)
{
    std::vector<double> trace(1000, 0.0);
    for (int i = 0; i < 1000; ++i)
        trace[std::size_t(i)] = bump(i, 0, 40, 500.0) + bump(i, 960, 1000, 500.0);
    const auto signal = makeSignal({trace}, 1000);
    TBeatMarkRefiner refiner;
    TBeat beat = makeBeat(signal.get(), 0.5);
    beat.setWindowStart(0.0);
    beat.setWindowLength(1.0);
    beat.setMark(0, TBeat::PWave, 0.0);   // peak 20 samples in: out of reach
    beat.setMark(0, TBeat::TWave, 0.999); // last sample: no neighbour after it
    beat.setMark(0, TBeat::MainQrsWave, -5.0);
    beat.setMark(0, TBeat::LastQrsWave, 1e12);
    refiner.refine(beat, *signal);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::PWave), 0.0);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::TWave), 0.999);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::MainQrsWave), -5.0);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::LastQrsWave), 1e9 / 1000.0);
}
