// One lead's QRS detection and wave search, against synthetic leads whose
// beats, waves and polarities are known.
#include "tests/analysis/detection/DetectorTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace detectortest;

namespace {

constexpr int LeadII = 1;

ecgsynth::Config leadConfig(double bpm, double seconds)
{
    ecgsynth::Config config;
    config.leads = 12;
    config.heartRate = bpm;
    config.duration = seconds;
    config.noiseMv = 0.02;
    config.wanderMv = 0.3;
    return config;
}

std::vector<TLeadWaveRecord> detectWhole(const ecgsynth::Record& record, int lead, TLeadQrsDetector& detector)
{
    auto signal = ecgsynth::toSignal(record);
    return detectLead(*signal, lead, detector, {{0, record.length() - record.rate}});
}

int samplesOf(double seconds, int rate)
{
    return int(std::lround(seconds * rate));
}

} // namespace

TEST(LeadQrsDetector, FindsEveryBeatOfALeadOneBeatLate)
{
    const ecgsynth::Record record = ecgsynth::synthesize(leadConfig(75, 60));
    TLeadQrsDetector detector(TQrsDetectorParameters(), 250, 0);
    const std::vector<TLeadWaveRecord> records = detectWhole(record, LeadII, detector);
    // A record comes once the next QRS is accepted, and the last analysed
    // second is left for later: every beat but the last few has one, in
    // order, at its R peak.
    ASSERT_GE(records.size(), record.beats.size() - 4);
    for (std::size_t k = 0; k < records.size(); ++k) {
        EXPECT_NEAR(records[k].qrs, samplesOf(record.beats[k], 250), 1) << "beat " << k;
        EXPECT_EQ(records[k].qrsPolarity, 1);
    }
    EXPECT_NEAR(detector.meanRr(), 0.8, 0.005);
    EXPECT_EQ(detector.searchBackCount(), 0);
    EXPECT_GT(detector.thresholds()[1], 0.0);
}

TEST(LeadQrsDetector, ClosePairsGiveOneQrsAndAQrsWithinTheRefractoryPeriodIsIgnored)
{
    // Hand-made scales (the same values at every level): every second a
    // pair of opposite maxima at s and s + 36, then a second pair at s + 51
    // and s + 88, whose scale-2^2 crossing comes 22 samples (0.088 s) after
    // the first pair's.
    const int length = 3000;
    std::vector<double> values(length, 0.0);
    const auto bump = [&](int centre, double sign) {
        const double shape[] = {0.2, 0.5, 0.85, 1.0, 0.85, 0.5, 0.2};
        for (int i = 0; i < 7; ++i)
            values[std::size_t(centre - 3 + i)] = sign * 100.0 * shape[i];
    };
    std::vector<int> firsts;
    for (int s = 300; s + 100 < length; s += 250) {
        bump(s, -1.0);
        std::fill(values.begin() + s + 4, values.begin() + s + 33, -0.01); // crossing at s + 33
        bump(s + 36, 1.0);
        bump(s + 51, -1.0);
        values[std::size_t(s + 55)] = 0.01; // crossing at s + 55
        bump(s + 88, 1.0);
        firsts.push_back(s + 33);
    }
    TScaleWindow window(length);
    window.assign(0, length, {values.data(), values.data(), values.data(), values.data()});
    TLeadQrsDetector detector(TQrsDetectorParameters(), 250, 0);
    TWaveRecordQueue queue;
    std::vector<int> found;
    for (int at = 0; at + 62 <= length - 250; at += 62) {
        detector.process(window, at, at + 62, queue);
        for (; !queue.isEmpty(); queue.pop())
            found.push_back(queue.front().qrs);
    }
    ASSERT_GE(found.size(), firsts.size() - 3);
    for (std::size_t k = 0; k < found.size(); ++k)
        EXPECT_EQ(found[k], firsts[k]);

    // Real complexes closer than 0.15 s, the second weaker, as strong or
    // stronger: each close pair gives one QRS, on the pair.
    for (const double gap : {0.1, 0.14}) {
        for (const double factor : {0.5, 1.0, 1.5}) {
            ecgsynth::Config config = leadConfig(75, 40);
            for (int k = 0; k < 100; ++k) {
                config.rr.push_back(k % 2 == 0 ? gap : 0.8 - gap);
                config.beatScale[2 * k + 1] = std::vector<double>(12, factor);
            }
            const ecgsynth::Record record = ecgsynth::synthesize(config);
            TLeadQrsDetector lead(TQrsDetectorParameters(), 250, 0);
            const std::vector<TLeadWaveRecord> records = detectWhole(record, LeadII, lead);
            ASSERT_GE(records.size(), record.beats.size() / 2 - 4) << gap << " s, " << factor;
            for (std::size_t k = 0; k < records.size(); ++k) {
                const int pair = nearestBeat(record, records[k].qrs) / 2;
                EXPECT_GE(records[k].qrs, samplesOf(record.beats[std::size_t(2 * pair)] - 0.01, 250));
                EXPECT_LE(records[k].qrs, samplesOf(record.beats[std::size_t(2 * pair + 1)] + 0.01, 250));
                if (k > 0) {
                    EXPECT_GT(records[k].qrs - records[k - 1].qrs, samplesOf(0.15, 250));
                }
            }
        }
    }
}

TEST(LeadQrsDetector, SearchesBackOnceWhenAnRrIsLong)
{
    // Beat 20 is small: missed at the thresholds, which come from the root
    // mean square of the scales, but found again at 0.7 times them.
    for (const double factor : {0.22, 0.1}) {
        ecgsynth::Config config = leadConfig(75, 40);
        config.wanderMv = 0.0;
        config.beatScale[20] = std::vector<double>(12, factor);
        const ecgsynth::Record record = ecgsynth::synthesize(config);
        TLeadQrsDetector detector(TQrsDetectorParameters(), 250, 0);
        const std::vector<TLeadWaveRecord> records = detectWhole(record, LeadII, detector);
        EXPECT_EQ(detector.searchBackCount(), 1) << factor;
        std::vector<int> found;
        for (const TLeadWaveRecord& record_ : records)
            found.push_back(nearestBeat(record, record_.qrs));
        const bool recovered = std::find(found.begin(), found.end(), 20) != found.end();
        EXPECT_EQ(recovered, factor > 0.2) << factor;
        // Every other beat is still found, the ones after the gap included.
        for (int k = 0; k < 40; ++k) {
            if (k != 20) {
                EXPECT_NE(std::find(found.begin(), found.end(), k), found.end()) << "beat " << k << " at " << factor;
            }
        }
    }
}

TEST(LeadQrsDetector, ForgetsThePreviousQrsAfterAGapOfMoreThanThreeSeconds)
{
    const ecgsynth::Record record = ecgsynth::synthesize(leadConfig(60, 40));
    auto signal = ecgsynth::toSignal(record);
    // Beats at 0.4, 1.4, ... s. The ranges stop at 10.4 s, when beat 9 (at
    // 9.4 s) is the last accepted QRS, and resume after a gap.
    for (const double resume : {12.0, 14.0}) {
        TLeadQrsDetector detector(TQrsDetectorParameters(), 250, 0);
        const std::vector<TLeadWaveRecord> records =
            detectLead(*signal, LeadII, detector, {{0, 2604}, {int(resume * 250), 30 * 250}});
        std::vector<int> found;
        for (const TLeadWaveRecord& record_ : records)
            found.push_back(nearestBeat(record, record_.qrs));
        const auto has = [&](int beat) { return std::find(found.begin(), found.end(), beat) != found.end(); };
        if (resume < 13.0) {
            // Still known: its record comes with the next QRS, and the long
            // RR makes the lead search the gap, where it finds beats 10 and 11.
            EXPECT_TRUE(has(9));
            EXPECT_TRUE(has(10));
            EXPECT_TRUE(has(11));
        } else {
            // Forgotten: no record for beat 9, nothing from the gap.
            EXPECT_FALSE(has(9));
            EXPECT_FALSE(has(10));
            EXPECT_FALSE(has(12));
            EXPECT_EQ(detector.searchBackCount(), 0);
        }
        EXPECT_TRUE(has(8));
        for (int beat = 15; beat < 28; ++beat)
            EXPECT_TRUE(has(beat)) << "beat " << beat << " after resuming at " << resume;
        for (std::size_t k = 1; k < found.size(); ++k)
            EXPECT_GT(found[k], found[k - 1]);
    }
}

TEST(LeadWaveSearch, DelineatesTheQrsOfUprightInvertedAndRsLeads)
{
    ecgsynth::Config config = leadConfig(70, 30);
    config.leads = 3;
    config.shapes = {
        {0.10, -0.30, 1.20, -0.40, 0.30}, // qRs
        {-0.10, 0.0, -1.00, 0.0, -0.30},  // an inverted R alone
        {0.06, 0.0, 0.40, -1.20, -0.10},  // rS
    };
    config.noiseMv = 0.01;
    config.wanderMv = 0.0;
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    config.noiseMv = 0.0;
    const ecgsynth::Record clean = ecgsynth::synthesize(config);
    // The true waves are the extrema of the noise-free trace near each R
    // peak: `sign` +1 for a peak, -1 for a trough, searched in [from, to].
    const auto extremum = [&](int lead, int from, int to, int sign) {
        const std::vector<qint16>& trace = clean.leads[std::size_t(lead)];
        int best = from;
        for (int i = from; i <= to; ++i) {
            if (sign * trace[std::size_t(i)] > sign * trace[std::size_t(best)])
                best = i;
        }
        return best;
    };
    struct Case
    {
        int polarity;
        int firstSign; // the first, main and last waves: peak, trough, or
        int mainSign;  // 0 when the lead has no such wave and the main wave
        int lastSign;  // stands in for it
    };
    const Case cases[] = {{1, -1, 1, -1}, {-1, 0, -1, 0}, {-1, 1, -1, 0}};
    for (int lead = 0; lead < 3; ++lead) {
        const Case& c = cases[lead];
        TLeadQrsDetector detector(TQrsDetectorParameters(), 250, 0);
        const std::vector<TLeadWaveRecord> records = detectWhole(record, lead, detector);
        ASSERT_GE(records.size(), 25u);
        for (const TLeadWaveRecord& r : records) {
            const int peak = samplesOf(record.beats[std::size_t(nearestBeat(record, r.qrs))], 250);
            const int main = extremum(lead, peak - 10, peak + 10, c.mainSign);
            const int first = c.firstSign == 0 ? main : extremum(lead, peak - 15, main - 1, c.firstSign);
            const int last = c.lastSign == 0 ? main : extremum(lead, main + 1, peak + 15, c.lastSign);
            EXPECT_EQ(r.qrsPolarity, c.polarity) << "lead " << lead;
            EXPECT_NEAR(r.mainQrs, main, 1) << "lead " << lead;
            EXPECT_NEAR(r.firstQrs, first, 1) << "lead " << lead;
            EXPECT_NEAR(r.lastQrs, last, 1) << "lead " << lead;
            EXPECT_LT(r.qrsOnset, r.firstQrs);
            EXPECT_GT(r.qrsOffset, r.lastQrs);
            EXPECT_FALSE(TLeadWaveRecord::isPresent(r.p));
            EXPECT_FALSE(TLeadWaveRecord::isPresent(r.t));
            EXPECT_EQ(r.pPolarity, 0);
            EXPECT_EQ(r.tPolarity, 0);
        }
    }
}

TEST(LeadWaveSearch, FindsPAndTWavesWhenSwitchedOn)
{
    TQrsDetectorParameters parameters;
    parameters.searchPAndT = true;
    // Leads whose P waves reach 0.1 mV and 8 % of the R wave, and whose T
    // waves reach 0.2 mV: I, II, aVR, aVF, V6.
    const int leads[] = {0, 1, 3, 5, 11};
    for (const double bpm : {60.0, 75.0, 120.0}) {
        const ecgsynth::Record record = ecgsynth::synthesize(leadConfig(bpm, 40));
        const double rr = 60.0 / bpm;
        const double pOffset = -(0.10 + 0.06 * rr); // true P and T peaks from the R peak
        const double tOffset = 0.27 * std::sqrt(rr);
        for (const int lead : leads) {
            const ecgsynth::LeadShape shape = ecgsynth::standardShape(lead);
            TLeadQrsDetector detector(parameters, 250, 0);
            const std::vector<TLeadWaveRecord> records = detectWhole(record, lead, detector);
            ASSERT_GE(records.size(), record.beats.size() - 4);
            for (const TLeadWaveRecord& r : records) {
                const double peak = record.beats[std::size_t(nearestBeat(record, r.qrs))] * 250;
                ASSERT_TRUE(TLeadWaveRecord::isPresent(r.p)) << bpm << " bpm, lead " << lead;
                ASSERT_TRUE(TLeadWaveRecord::isPresent(r.t)) << bpm << " bpm, lead " << lead;
                EXPECT_NEAR(r.p, peak + pOffset * 250, 5) << bpm << " bpm, lead " << lead;
                EXPECT_NEAR(r.t, peak + tOffset * 250, 7.5) << bpm << " bpm, lead " << lead;
                EXPECT_EQ(r.pPolarity, shape.p > 0 ? 1 : -1);
                EXPECT_EQ(r.tPolarity, shape.t > 0 ? 1 : -1);
                EXPECT_LT(r.pStart, r.p);
                EXPECT_GT(r.pEnd, r.p);
                EXPECT_LT(r.pEnd, r.qrsOnset);
                EXPECT_EQ(r.tStart, r.t - 5);
                EXPECT_EQ(r.tEnd, r.t + 5);
                EXPECT_GT(r.t, r.qrsOffset);
            }
        }
    }
}
