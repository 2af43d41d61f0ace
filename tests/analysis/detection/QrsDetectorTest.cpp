// The multi-lead detector against synthetic records with known beats:
// detection, RR and heart rate at several rates, the lead agreement and
// premature-beat rules, lead usability, and its life cycle.
#include "tests/analysis/detection/DetectorTestSupport.h"

#include "analysis/beats/TBeatPauses.h"
#include "analysis/beats/TBeatStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace detectortest;

namespace {

ecgsynth::Config noisyConfig(int leads, double bpm, double seconds)
{
    ecgsynth::Config config;
    config.leads = leads;
    config.heartRate = bpm;
    config.duration = seconds;
    config.noiseMv = 0.03;
    config.wanderMv = 0.4;
    config.humMv = 0.05;
    config.offsetMv = 20.0;
    return config;
}

// Beats detected near the given true beat.
std::vector<TBeat> near(const std::vector<TBeat>& beats, double time)
{
    std::vector<TBeat> found;
    for (const TBeat& beat : beats) {
        if (std::fabs(beat.value(TBeat::QrsTime) - time) < 0.05)
            found.push_back(beat);
    }
    return found;
}

void expectConsecutiveNumbers(const std::vector<TBeat>& beats)
{
    for (std::size_t k = 0; k < beats.size(); ++k)
        EXPECT_EQ(beats[k].number(), int(k));
}

void expectSameBeats(const TBeat& a, const TBeat& b, int leads)
{
    EXPECT_EQ(a.number(), b.number());
    EXPECT_EQ(a.beatClass(), b.beatClass());
    EXPECT_EQ(a.windowStart(), b.windowStart());
    EXPECT_EQ(a.windowLength(), b.windowLength());
    for (int kind = 0; kind < TBeat::ValueKindCount; ++kind)
        EXPECT_EQ(a.value(TBeat::ValueKind(kind)), b.value(TBeat::ValueKind(kind)));
    for (int lead = 0; lead < leads; ++lead) {
        for (int kind = 0; kind < TBeat::MarkKindCount; ++kind) {
            EXPECT_EQ(a.isMarkSet(lead, TBeat::MarkKind(kind)), b.isMarkSet(lead, TBeat::MarkKind(kind)));
            EXPECT_EQ(a.mark(lead, TBeat::MarkKind(kind)), b.mark(lead, TBeat::MarkKind(kind)));
        }
    }
}

} // namespace

struct RateCase
{
    double bpm;
    int leads;
};

void PrintTo(const RateCase& c, std::ostream* out)
{
    *out << c.bpm << " bpm, " << c.leads << " leads";
}

class DetectorTruth : public ::testing::TestWithParam<RateCase>
{
};

TEST_P(DetectorTruth, FindsEveryBeatOfANoisyRecordWithItsRrAndHeartRate)
{
    const RateCase c = GetParam();
    const ecgsynth::Record record = ecgsynth::synthesize(noisyConfig(c.leads, c.bpm, 180.0));
    auto signal = ecgsynth::toSignal(record);
    TBeatStore store(c.leads);
    BeatCollector collector;
    TQrsDetector detector;
    detector.setBeatStore(&store);
    detector.addListener(&collector);
    detector.start(*signal, 0.0);
    detector.run();
    const std::vector<TBeat>& beats = collector.beats;

    // The last seconds are still being analysed: every true beat up to 3 s
    // before the end is found within 50 ms, and nothing else anywhere.
    const Match result = match(record.beats, beats, 0.0, 177.0);
    EXPECT_EQ(result.missed, 0);
    EXPECT_EQ(result.extra, 0);
    EXPECT_LE(result.worst, 0.05);
    EXPECT_GT(result.found, int(c.bpm * 2.9));
    ASSERT_EQ(store.count(), int(beats.size()));

    const double rr = 60.0 / c.bpm;
    for (std::size_t k = 0; k < beats.size(); ++k) {
        const TBeat& beat = beats[k];
        EXPECT_EQ(beat.beatClass(), TBeat::Normal);
        EXPECT_GE(beat.value(TBeat::LeadAgreement), 0.6);
        if (k == 0)
            EXPECT_EQ(beat.value(TBeat::RrInterval), 0.0);
        else
            EXPECT_NEAR(beat.value(TBeat::RrInterval), rr, 0.009) << "beat " << k;
        if (k >= 5)
            EXPECT_NEAR(beat.value(TBeat::MeanRrInterval), rr, 0.005) << "beat " << k;
        else
            EXPECT_EQ(beat.value(TBeat::MeanRrInterval), 0.0) << "beat " << k;
    }
    EXPECT_NEAR(TQrsDetector::heartRate(store), c.bpm, 1.0);
    expectConsecutiveNumbers(beats);
}

INSTANTIATE_TEST_SUITE_P(RatesAndLeads, DetectorTruth,
                         ::testing::Values(RateCase{60, 12}, RateCase{60, 14}, RateCase{75, 12}, RateCase{75, 14},
                                           RateCase{120, 12}, RateCase{120, 14}, RateCase{180, 12},
                                           RateCase{180, 14}),
                         [](const ::testing::TestParamInfo<RateCase>& info) {
                             return std::to_string(int(info.param.bpm)) + "bpm" + std::to_string(info.param.leads)
                                 + "leads";
                         });

TEST(QrsDetector, RrAndRunningMeanFollowAVaryingRhythm)
{
    ecgsynth::Config config = noisyConfig(12, 75, 120.0);
    for (int k = 0; k < 200; ++k)
        config.rr.push_back(0.8 * (1.0 + 0.08 * std::sin(2 * 3.14159265358979 * k / 15.0)));
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectAtOnce(record);
    const Match result = match(record.beats, beats, 0.0, 117.0);
    ASSERT_EQ(result.missed + result.extra, 0);
    for (std::size_t k = 1; k < beats.size(); ++k) {
        const int truth = result.truthOf[k];
        ASSERT_EQ(truth, int(k));
        EXPECT_NEAR(beats[k].value(TBeat::RrInterval), record.rr(truth), 0.009) << "beat " << k;
        // The running mean is the mean of the eight RR intervals before.
        if (k >= 9) {
            double sum = 0.0;
            for (int j = truth - 8; j < truth; ++j)
                sum += record.rr(j);
            EXPECT_NEAR(beats[k].value(TBeat::MeanRrInterval), sum / 8, 0.004) << "beat " << k;
        }
    }
}

TEST(QrsDetector, LimbLeadsAloneDoNotMakeABeatAmongTwelve)
{
    // Beat 15 shows in the six limb leads only (weight 6 of 51).
    ecgsynth::Config config = noisyConfig(12, 75, 30.0);
    config.beatScale[15] = {1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0};
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectAtOnce(record);
    EXPECT_TRUE(near(beats, record.beats[15]).empty());
    const Match result = match(record.beats, beats, 0.0, 27.0);
    EXPECT_EQ(result.missed, 1);
    EXPECT_EQ(result.extra, 0);
    const std::vector<TBeat> next = near(beats, record.beats[16]);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_NEAR(next[0].value(TBeat::RrInterval), 1.6, 0.009);
}

TEST(QrsDetector, PrematureBeatWithFairAgreementIsHeldBackUntilTheNextBeat)
{
    // Eight leads; beat 15 comes 0.52 s after beat 14 (0.65 mean RR) and
    // shows in half the leads (agreement 0.5): it is held back. Followed by
    // a compensatory pause (RR 2 means in all) it is emitted as normal;
    // followed by a plain beat it is emitted as rejected.
    for (const double following : {1.08, 0.7}) {
        ecgsynth::Config config = noisyConfig(8, 75, 30.0);
        config.rr = ecgsynth::regularRr(75, 40);
        config.rr[14] = 0.52;
        config.rr[15] = following;
        config.beatScale[15] = {1, 0, 1, 0, 1, 0, 1, 0};
        const ecgsynth::Record record = ecgsynth::synthesize(config);
        auto signal = ecgsynth::toSignal(record);
        DetectorRun run(*signal, 8);
        run.detector.run();
        const TBeatStore& store = run.store;
        const std::vector<TBeat>& beats = run.collector.beats;

        const bool compensated = following > 1.0;
        const std::vector<TBeat> premature = near(beats, record.beats[15]);
        ASSERT_EQ(premature.size(), 1u) << following;
        EXPECT_EQ(premature[0].beatClass(), compensated ? TBeat::Normal : TBeat::Rejected);
        EXPECT_DOUBLE_EQ(premature[0].value(TBeat::LeadAgreement), 0.5);
        EXPECT_NEAR(premature[0].value(TBeat::RrInterval), 0.52, 0.009);
        // The next beat's RR counts from the premature beat when it stands,
        // from beat 14 when it was rejected.
        const std::vector<TBeat> next = near(beats, record.beats[16]);
        ASSERT_EQ(next.size(), 1u);
        EXPECT_NEAR(next[0].value(TBeat::RrInterval), compensated ? following : 0.52 + following, 0.009);
        // Every beat is stored, the rejected one too, in the order told.
        ASSERT_EQ(store.count(), int(beats.size()));
        for (int k = 0; k < store.count(); ++k) {
            EXPECT_EQ(store.read(k).beatClass(), beats[std::size_t(k)].beatClass());
            EXPECT_DOUBLE_EQ(store.read(k).value(TBeat::QrsTime), beats[std::size_t(k)].value(TBeat::QrsTime));
        }
        expectConsecutiveNumbers(beats);
        const Match result = match(record.beats, beats, 0.0, 27.0);
        EXPECT_EQ(result.missed + result.extra, 0);
    }
}

TEST(QrsDetector, PrematureBeatWithPoorAgreementIsDropped)
{
    // Ten leads; beat 15 comes 0.44 s after beat 14 (0.55 mean RR) and
    // shows in three leads (agreement 0.3).
    ecgsynth::Config config = noisyConfig(10, 75, 30.0);
    config.rr = ecgsynth::regularRr(75, 40);
    config.rr[14] = 0.44;
    config.rr[15] = 1.16;
    config.beatScale[15] = {1, 0, 0, 1, 0, 0, 1, 0, 0, 0};
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectAtOnce(record);
    EXPECT_TRUE(near(beats, record.beats[15]).empty());
    const std::vector<TBeat> next = near(beats, record.beats[16]);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_NEAR(next[0].value(TBeat::RrInterval), 1.6, 0.009);
    expectConsecutiveNumbers(beats);
}

TEST(QrsDetector, FlatAndClippedLeadsAreNotUsable)
{
    // Lead aVR flat (electrode off), V3 pinned at the positive rail.
    ecgsynth::Config config = noisyConfig(12, 75, 40.0);
    config.flatLeads = {3};
    config.clippedLeads = {8};
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectAtOnce(record);
    const Match result = match(record.beats, beats, 0.0, 37.0);
    EXPECT_EQ(result.missed + result.extra, 0);
    std::vector<int> detected(12, 0);
    for (const TBeat& beat : beats) {
        EXPECT_GE(beat.value(TBeat::LeadAgreement), 0.6);
        for (int lead = 0; lead < 12; ++lead) {
            const bool usable = lead != 3 && lead != 8;
            EXPECT_EQ(beat.mark(lead, TBeat::LeadUsable), usable ? 1.0 : 0.0) << "lead " << lead;
            if (!usable) {
                EXPECT_EQ(beat.mark(lead, TBeat::QrsPolarity), 0.0);
                EXPECT_FALSE(beat.isMarkSet(lead, TBeat::MainQrsWave));
            }
            detected[std::size_t(lead)] += beat.mark(lead, TBeat::QrsPolarity) != 0.0 ? 1 : 0;
        }
    }
    // The flat lead's noise is detected now and then; when such a detection
    // comes just before a beat it anchors the fusion window early, and the
    // leads whose QRS comes latest (V1, V2) may miss that beat.
    for (int lead = 0; lead < 12; ++lead) {
        if (lead != 3 && lead != 8) {
            EXPECT_GE(detected[std::size_t(lead)], int(beats.size()) * 8 / 10) << "lead " << lead;
        }
    }
}

TEST(QrsDetector, NeedsTwoLeads)
{
    ecgsynth::Config config = noisyConfig(1, 75, 30.0);
    EXPECT_TRUE(detectAtOnce(ecgsynth::synthesize(config)).empty());
    config.leads = 2;
    EXPECT_GT(detectAtOnce(ecgsynth::synthesize(config)).size(), 30u);
}

TEST(QrsDetector, OneRunAndManySmallRunsGiveTheSameBeats)
{
    // Premature beats, pauses, a flat lead, noise, wander and hum.
    ecgsynth::Config config = noisyConfig(14, 90, 150.0);
    config.noiseMv = 0.05;
    config.wanderMv = 0.8;
    config.rr = ecgsynth::regularRr(90, 250);
    for (int k = 10; k < 240; k += 17) {
        config.rr[std::size_t(k)] *= 0.6;
        config.rr[std::size_t(k + 1)] *= 1.4;
        config.beatScale[k + 1] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    }
    config.flatLeads = {12};
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> once = detectAtOnce(record);
    for (const std::vector<int>& pieces : {std::vector<int>{25}, std::vector<int>{7, 100, 33, 250, 1, 64, 512}}) {
        const std::vector<TBeat> inPieces = detectInPieces(record, pieces);
        ASSERT_EQ(inPieces.size(), once.size());
        for (std::size_t k = 0; k < once.size(); ++k)
            expectSameBeats(inPieces[k], once[k], 14);
    }
    const Match result = match(record.beats, once, 0.0, 147.0);
    EXPECT_GT(result.found, 200);
    EXPECT_EQ(result.extra, 0);
}

TEST(QrsDetector, SignalsWithSmallBlocksGiveTheSameBeats)
{
    // Ten blocks of 64 samples hold less than the 4 s of scales the
    // thresholds need: the scales keep what the detector reads regardless.
    const ecgsynth::Record record = ecgsynth::synthesize(noisyConfig(12, 75, 60.0));
    const std::vector<TBeat> large = detectAtOnce(*ecgsynth::toSignal(record, 4096));
    const std::vector<TBeat> small = detectAtOnce(*ecgsynth::toSignal(record, 64));
    ASSERT_EQ(small.size(), large.size());
    for (std::size_t k = 0; k < large.size(); ++k)
        expectSameBeats(small[k], large[k], 12);
}

TEST(QrsDetector, StartAndEndTimesBoundTheBeats)
{
    const ecgsynth::Record record = ecgsynth::synthesize(noisyConfig(12, 75, 90.0));
    auto signal = ecgsynth::toSignal(record);
    const std::vector<TBeat> bounded = detectAtOnce(*signal, false, 20.0, 60.0);
    ASSERT_FALSE(bounded.empty());
    for (const TBeat& beat : bounded) {
        EXPECT_GE(beat.value(TBeat::QrsTime), 20.0);
        EXPECT_LE(beat.value(TBeat::QrsTime), 60.0);
    }
    EXPECT_EQ(bounded.front().number(), 0);
    EXPECT_EQ(bounded.front().value(TBeat::RrInterval), 0.0);
    const Match result = match(record.beats, bounded, 20.5, 59.5);
    EXPECT_EQ(result.missed + result.extra, 0);

    // An end not after the start means no end.
    const std::vector<TBeat> open = detectAtOnce(*signal, false, 20.0, 10.0);
    EXPECT_GT(open.back().value(TBeat::QrsTime), 85.0);
    EXPECT_EQ(match(record.beats, open, 20.5, 86.0).missed, 0);
}

TEST(QrsDetector, FindsTheBeatsRightAtTheStartOfASignal)
{
    // The first beat 0.1 s into a signal with large DC offsets.
    ecgsynth::Config config = noisyConfig(14, 75, 30.0);
    config.firstBeat = 0.1;
    config.offsetMv = 100.0;
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectAtOnce(record);
    const Match result = match(record.beats, beats, 0.0, 27.0);
    EXPECT_EQ(result.missed + result.extra, 0);
    ASSERT_FALSE(beats.empty());
    EXPECT_NEAR(beats.front().value(TBeat::QrsTime), 0.1, 0.01);
}

TEST(QrsDetector, FinishEmitsTheBeatsOfTheLastSecondsAndRejectsAHeldBackOne)
{
    // The record ends 0.35 s after its last beat, a premature beat seen in
    // half the leads (held back, and never followed by its pause).
    ecgsynth::Config config = noisyConfig(8, 75, 30.0);
    config.rr = ecgsynth::regularRr(75, 36);
    config.rr[34] = 0.5;
    config.duration = config.firstBeat + 34 * 0.8 + 0.5 + 0.35;
    config.beatScale[35] = {1, 0, 1, 0, 1, 0, 1, 0};
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    ASSERT_EQ(record.beats.size(), 36u);
    auto signal = ecgsynth::toSignal(record);
    DetectorRun run(*signal, 8);
    const std::vector<TBeat>& beats = run.collector.beats;
    run.detector.run();
    EXPECT_LT(beats.size(), 34u);

    run.detector.finish();
    EXPECT_FALSE(run.detector.isStarted());
    const Match result = match(record.beats, beats, 0.0, 60.0);
    EXPECT_EQ(result.missed, 0);
    EXPECT_EQ(result.extra, 0);
    ASSERT_EQ(beats.size(), 36u);
    EXPECT_EQ(beats.back().beatClass(), TBeat::Rejected);
    EXPECT_EQ(run.collector.valid().size(), 35u);
    EXPECT_EQ(run.store.count(), 36);
    expectConsecutiveNumbers(beats);
}

// Records of two real leads, II and V1, of the device's fourteen (the others
// flat), as arrhythmia records are converted: the situations where the
// detector must hold on real records.
class TwoLeadRecord : public ::testing::Test
{
protected:
    static constexpr int II = 1;
    static constexpr int V1 = 6;

    TwoLeadRecord()
    {
        config = noisyConfig(14, 75, 60.0);
        config.wanderMv = 0.1;
        for (int lead = 0; lead < 14; ++lead) {
            if (lead != II && lead != V1)
                config.flatLeads.push_back(lead);
        }
        config.shapes.resize(14);
        config.shapes[II] = ecgsynth::standardShape(II);
        config.shapes[V1] = {0.08, 0.0, 0.6, -0.9, 0.2};
    }

    // Every true beat found, nothing else, over the whole record (V1's
    // deep S wave places the beats up to 40 ms after the R peak).
    static void expectTruth(const ecgsynth::Record& record, const std::vector<TBeat>& beats, double tolerance = 0.06)
    {
        const Match result = match(record.beats, beats, 0.0, record.length() / double(record.rate), tolerance);
        EXPECT_EQ(result.missed, 0);
        EXPECT_EQ(result.extra, 0);
        EXPECT_EQ(beats.size(), record.beats.size());
    }

    ecgsynth::Config config;
};

TEST_F(TwoLeadRecord, AFewUsableLeadsAreCountedAlikeNotByTheirWeights)
{
    // Four real leads, II, aVF, V1 and V5; beat 15 shows in the two limb
    // leads only. Weighted as among twelve standard leads it would score
    // 2 of 17 and be lost; as two of four usable leads it stands.
    constexpr int AVF = 5;
    constexpr int V5 = 10;
    config.flatLeads.erase(std::remove_if(config.flatLeads.begin(), config.flatLeads.end(),
                                          [](int lead) { return lead == AVF || lead == V5; }),
                           config.flatLeads.end());
    config.shapes[AVF] = ecgsynth::standardShape(AVF);
    config.shapes[V5] = ecgsynth::standardShape(V5);
    config.beatScale[15] = std::vector<double>(14, 0.0);
    config.beatScale[15][II] = config.beatScale[15][AVF] = 1.0;
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectToEnd(record);
    expectTruth(record, beats);
    const std::vector<TBeat> limbOnly = near(beats, record.beats[15]);
    ASSERT_EQ(limbOnly.size(), 1u);
    EXPECT_DOUBLE_EQ(limbOnly[0].value(TBeat::LeadAgreement), 0.5);
}

TEST_F(TwoLeadRecord, TallPWavesOfATwoToOneBlockMakeNoBeats)
{
    // V1's P waves are half its QRS; every other P wave is blocked, so the
    // QRS comes every 1.6 s, a P wave 0.19 s before it and 0.61 s after.
    config.shapes[V1].p = 0.45;
    config.heartRate = 37.5;
    for (double time = config.firstBeat + 0.61; time < config.duration; time += 1.6)
        config.blockedPWaves.push_back(time);
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    expectTruth(record, detectToEnd(record));
}

TEST_F(TwoLeadRecord, SearchBackBeforeAPauseLeavesTheTWaveAlone)
{
    // Tall T waves, and a pause of 2.4 s after beat 30.
    config.shapes[II].t = 0.9;
    config.shapes[V1].t = 0.5;
    config.rr = ecgsynth::regularRr(75, 80);
    config.rr[30] = 2.4;
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectToEnd(record);
    const Match result = match(record.beats, beats, 5.0, 60.0, 0.06);
    EXPECT_EQ(result.missed + result.extra, 0);
    const std::vector<TBeat> after = near(beats, record.beats[31]);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NEAR(after[0].value(TBeat::RrInterval), 2.4, 0.01);
}

TEST_F(TwoLeadRecord, LeadDisconnectedAndDriftingIsNotUsable)
{
    // V1's electrode comes off at 20 s. Until its marks have failed to
    // meet the beats a few times, it still counts; from then on it is left
    // out, and II alone finds every beat.
    config.disconnectedFrom[V1] = 20.0;
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectToEnd(record);
    for (const auto& [from, to] : {std::make_pair(0.0, 20.0), std::make_pair(25.0, 60.0)}) {
        const Match result = match(record.beats, beats, from, to, 0.06);
        EXPECT_EQ(result.missed + result.extra, 0) << from;
    }
    for (const TBeat& beat : beats) {
        if (beat.value(TBeat::QrsTime) > 40.0) {
            EXPECT_EQ(beat.mark(V1, TBeat::LeadUsable), 0.0) << beat.value(TBeat::QrsTime);
        }
    }
}

TEST_F(TwoLeadRecord, FusedPositionOfTwoLeadsLiesBetweenThem)
{
    // V1 shaped as II, its QRS 40 ms later: the beat is placed half way.
    config.shapes[V1] = config.shapes[II];
    config.shapes[V1].delay = 0.04;
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const std::vector<TBeat> beats = detectToEnd(record);
    expectTruth(record, beats);
    // The first beat comes before the flat leads are known to be flat.
    const Match result = match(record.beats, beats, 0.0, 60.0, 0.05);
    for (std::size_t k = 1; k < beats.size(); ++k) {
        const double truth = record.beats[std::size_t(result.truthOf[k])];
        EXPECT_NEAR(beats[k].value(TBeat::QrsTime), truth + 0.02, 0.006) << "beat " << k;
    }
}

TEST_F(TwoLeadRecord, ArtifactsInOneLeadMakeNoBeatsWhileTheOtherIsQuiet)
{
    // Muscle twitches in V1 as large as its QRS, half way between beats.
    config.spikeMv = 1.0;
    for (double time = config.firstBeat + 0.45; time < config.duration; time += 3.2)
        config.spikes.emplace_back(V1, time);
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    expectTruth(record, detectToEnd(record));
}

TEST(QrsDetector, LifeCycle)
{
    const ecgsynth::Record record = ecgsynth::synthesize(noisyConfig(12, 75, 60.0));
    auto signal = ecgsynth::toSignal(record);
    TQrsDetector detector;
    BeatCollector collector;
    detector.addListener(&collector);
    detector.addListener(&collector); // once only
    detector.run();                   // not started: nothing
    EXPECT_FALSE(detector.isStarted());
    EXPECT_DOUBLE_EQ(detector.lagTime(), 1.0);

    detector.start(*signal, 0.0);
    detector.run();
    EXPECT_TRUE(detector.isStarted());
    EXPECT_LE(detector.lastAnalysedTime(), 59.0);
    EXPECT_GT(detector.lastAnalysedTime(), 58.5);
    const std::vector<TBeat> first = collector.beats;
    ASSERT_GT(first.size(), 60u);

    // Stopped, it does nothing; started again on the same signal it finds
    // the same beats again.
    detector.stop();
    EXPECT_FALSE(detector.isStarted());
    detector.run();
    EXPECT_EQ(collector.beats.size(), first.size());
    collector.beats.clear();
    detector.start(*signal, 0.0);
    detector.run();
    ASSERT_EQ(collector.beats.size(), first.size());
    for (std::size_t k = 0; k < first.size(); ++k)
        expectSameBeats(collector.beats[k], first[k], 12);

    // Started half way, it finds the beats from there on.
    collector.beats.clear();
    detector.start(*signal, 30.0);
    EXPECT_DOUBLE_EQ(detector.lastAnalysedTime(), 30.0);
    detector.run();
    const Match result = match(record.beats, collector.beats, 30.5, 57.0);
    EXPECT_EQ(result.missed + result.extra, 0);
    EXPECT_GE(collector.beats.front().value(TBeat::QrsTime), 30.0);

    detector.removeListener(&collector);
    collector.beats.clear();
    detector.start(*signal, 0.0);
    detector.run();
    EXPECT_TRUE(collector.beats.empty());
}

TEST(QrsDetector, BeatWindowsAndMarksWithAndWithoutPAndT)
{
    const ecgsynth::Record record = ecgsynth::synthesize(noisyConfig(12, 70, 40.0));
    auto signal = ecgsynth::toSignal(record);
    for (const bool searchPAndT : {false, true}) {
        const std::vector<TBeat> beats = detectAtOnce(*signal, searchPAndT);
        ASSERT_GT(beats.size(), 40u);
        for (const TBeat& beat : beats) {
            const double time = beat.value(TBeat::QrsTime);
            const double rr = 60.0 / 70.0;
            // Lead II: an upright P, qRs and T.
            EXPECT_EQ(beat.isMarkSet(1, TBeat::PWave), searchPAndT);
            EXPECT_EQ(beat.isMarkSet(1, TBeat::TWave), searchPAndT);
            EXPECT_EQ(beat.isMarkSet(1, TBeat::PToQrsWindow), searchPAndT);
            EXPECT_TRUE(beat.isMarkSet(1, TBeat::QrsWindow));
            EXPECT_TRUE(beat.isMarkSet(1, TBeat::QrsToTWindow) == searchPAndT);
            EXPECT_EQ(beat.mark(1, TBeat::PPolarity), searchPAndT ? 1.0 : 0.0);
            EXPECT_EQ(beat.mark(1, TBeat::TPolarity), searchPAndT ? 1.0 : 0.0);
            EXPECT_EQ(beat.mark(1, TBeat::QrsPolarity), 1.0);
            EXPECT_NEAR(beat.mark(1, TBeat::MainQrsWave), time, 0.01);
            EXPECT_GT(beat.mark(1, TBeat::QrsWindow), 0.04);
            EXPECT_LT(beat.mark(1, TBeat::QrsWindow), 0.15);
            // The window spans the waves found: P to T, or the QRS alone.
            const double start = beat.windowStart();
            const double end = start + beat.windowLength();
            if (searchPAndT) {
                EXPECT_NEAR(start, time - (0.10 + 0.06 * rr) - 0.05, 0.03);
                EXPECT_NEAR(end, time + 0.27 * std::sqrt(rr) + 0.1, 0.03);
            } else {
                EXPECT_NEAR(start, time - 0.03 - 0.1, 0.02);
                EXPECT_NEAR(end, time + 0.03 + 0.15, 0.02);
            }
        }
    }
}

TEST(QrsDetector, HeartRateOfTheNewestStoredBeat)
{
    TBeatStore store(2);
    EXPECT_EQ(TQrsDetector::heartRate(store), 0);
    TBeat beat;
    beat.setValue(TBeat::MeanRrInterval, 0.0);
    store.add(beat);
    EXPECT_EQ(TQrsDetector::heartRate(store), 0);
    beat.setValue(TBeat::MeanRrInterval, 0.81);
    store.add(beat);
    EXPECT_EQ(TQrsDetector::heartRate(store), 74); // 74.07, truncated
    beat.setValue(TBeat::MeanRrInterval, 75.0);
    store.add(beat);
    EXPECT_EQ(TQrsDetector::heartRate(store), 0); // below 1 per minute
}

// The monitor shows "--" once no QRS has come for 3 s. At 40 bpm a beat is
// emitted two RRs (3 s) after its QRS, which must not read as a pause; an
// arrest of 8 s must, 3 s after its last QRS, and the rate comes back with
// the beats.
TEST(QrsDetector, SecondsWithoutQrsTellAPauseFromASlowRhythm)
{
    ecgsynth::Config config;
    config.leads = 12;
    config.duration = 60.0;
    config.heartRate = 40.0;
    config.rr.assign(20, 1.5);
    config.rr.push_back(8.0);
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    const double lastBeforePause = record.beats[20];
    auto signal = ecgsynth::makeSignal(record);
    detectortest::DetectorRun run(*signal, config.leads);
    double longestInRhythm = 0.0;
    double pauseShownAt = 0.0;
    double afterPause = 0.0;
    const int piece = record.rate / 4;
    for (int at = 0; at + piece <= record.length(); at += piece) {
        ecgsynth::append(*signal, record, at, piece);
        run.detector.run();
        const double analysed = run.detector.lastAnalysedTime();
        const double without = TQrsDetector::secondsWithoutQrs(run.store, analysed, 0.0);
        if (analysed > 10.0 && analysed < lastBeforePause)
            longestInRhythm = std::max(longestInRhythm, without);
        if (pauseShownAt == 0.0 && without >= 3.0 && analysed > lastBeforePause)
            pauseShownAt = analysed;
        if (analysed > lastBeforePause + 8.0 + 8.0)
            afterPause = std::max(afterPause, without);
    }
    EXPECT_LT(longestInRhythm, 3.0);
    EXPECT_NEAR(pauseShownAt, lastBeforePause + 3.0, 0.5);
    EXPECT_LT(afterPause, 3.0);
}

// Pauses are the intervals of 2 s or more between consecutive beats; an
// interval across a join of the recording is none, and is no RR either.
TEST(BeatPauses, PausesAndLongestRrLeaveJoinsOut)
{
    const std::vector<double> beats{1.0, 1.8, 4.3, 5.1, 9.0, 9.8, 11.79};
    const std::vector<TSignalGaps::Gap> joins{{7.0, 12.5}};
    const std::vector<TBeatPauses::Pause> pauses = TBeatPauses::find(beats, joins);
    ASSERT_EQ(pauses.size(), 1u);
    EXPECT_DOUBLE_EQ(pauses[0].seconds, 1.8);
    EXPECT_DOUBLE_EQ(pauses[0].lengthSeconds, 2.5);
    EXPECT_DOUBLE_EQ(TBeatPauses::longestRr(beats, joins), 2.5);
    EXPECT_DOUBLE_EQ(TBeatPauses::longestRr(beats, {}), 3.9);
    EXPECT_EQ(TBeatPauses::find({3.0}, {}).size(), 0u);
}
