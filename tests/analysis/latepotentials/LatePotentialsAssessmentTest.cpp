// What a late-potential verdict rests on: the noise measured as averaging
// lowers it, the criteria at their limits, and the verdicts that cannot be
// given.
#include "common/AveragingTestSupport.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/latepotentials/TLatePotentialsAssessment.h"
#include "analysis/beats/TLiveBeatAverager.h"

#include <gtest/gtest.h>

#include <random>

using namespace averagingtest;

namespace {

constexpr int Rate = 1000;
constexpr int Leads = 12;
constexpr double Rr = 0.8;
constexpr double NoiseCounts = 2.0;

// Twelve leads of one QRS-like wave (1 mV over 90 ms) every 0.8 s, each
// with white noise of its own.
std::unique_ptr<TSignalBuffer16> noisyBeats(int beats, unsigned seed, std::vector<double>& times)
{
    const int length = int((beats + 1) * Rr * Rate);
    const double countsPerMv = 65536.0 / 600.0;
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, NoiseCounts);
    std::vector<std::vector<double>> channels(Leads, std::vector<double>(std::size_t(length)));
    times.clear();
    for (int k = 1; k <= beats; ++k)
        times.push_back(k * Rr);
    for (auto& channel : channels) {
        for (int i = 0; i < length; ++i) {
            const double t = double(i) / Rate;
            const double phase = std::fmod(t, Rr);
            channel[std::size_t(i)] = skewedBump(phase, Rr - 0.045, Rr, countsPerMv, 0.5)
                + skewedBump(phase, 0.0, 0.045, countsPerMv, 0.5) + noise(random);
        }
    }
    auto signal = makeSignal(channels, Rate);
    signal->setRange(-300.0, 300.0);
    return signal;
}

// Every beat of the signal into the averager, at the regular RR.
void averageBeats(TLiveBeatAverager& averager, const TSignal& signal, const std::vector<double>& times)
{
    for (const double time : times)
        averager.add(makeBeat(&signal, time, Rr, Rr));
}

void computeAt40Hz(TLatePotentials& potentials)
{
    potentials.setHighPassCutoff(40);
    potentials.compute();
}

// RMS noise of the vector magnitude expected after averaging `beats` beats:
// each lead's noise falls by sqrt(beats); X, Y and Z add their leads'
// noise with the squares of their coefficients; the 40 Hz high-pass keeps
// the share of white noise power above its noise-equivalent corner
// (1.026 x 40 Hz for a 4th-order Butterworth, of 500 Hz).
double expectedNoiseMicrovolts(double lsbMillivolts, int beats)
{
    double gain = 0.0;
    for (int lead = 0; lead < 8; ++lead) {
        std::array<double, 8> unit{};
        unit[std::size_t(lead)] = 1.0;
        for (const double coefficient : TLatePotentials::inverseDower(unit))
            gain += coefficient * coefficient;
    }
    const double passed = 1.0 - 1.026 * 40.0 / 500.0;
    return 1000.0 * NoiseCounts * lsbMillivolts / std::sqrt(double(beats)) * std::sqrt(gain * passed);
}

} // namespace

// The noise window holds 40 samples of three leads, so one measurement
// scatters by about 6 %: the mean over six recordings is held to 10 %.
TEST(LatePotentialsAssessmentTest, NoiseIsMeasuredAndFallsAsOneOverTheRootOfTheBeats)
{
    for (const int beats : {64, 256}) {
        double sum = 0.0;
        double lsb = 0.0;
        constexpr int Recordings = 6;
        for (unsigned seed = 1; seed <= Recordings; ++seed) {
            std::vector<double> times;
            const auto signal = noisyBeats(beats, seed, times);
            lsb = signal->lsb();
            TLiveBeatAverager averager(*signal);
            averageBeats(averager, *signal, times);
            ASSERT_EQ(averager.count(0), beats);
            TLatePotentials potentials(averager);
            computeAt40Hz(potentials);
            sum += TLatePotentialsAssessment::assess(potentials, {}).noiseMicrovolts;
        }
        EXPECT_NEAR(sum / Recordings / expectedNoiseMicrovolts(lsb, beats), 1.0, 0.1) << beats << " beats";
    }
}

TEST(LatePotentialsAssessmentTest, CriteriaAtTheirLimitsAndTheVerdict)
{
    TLatePotentialsAssessment assessment;
    assessment.setCriteria(114.0, 20.0, 38.0);
    EXPECT_EQ(assessment.criteriaHolding, 0);
    assessment.setCriteria(115.0, 19.0, 39.0);
    EXPECT_TRUE(assessment.qrsd.holds && assessment.rms.holds && assessment.las.holds);
    assessment.setCriteria(115.0, 20.0, 39.0);
    assessment.decide();
    EXPECT_EQ(assessment.verdict, TLatePotentialsAssessment::Verdict::Positive);
    assessment.setCriteria(115.0, 20.0, 38.0);
    assessment.decide();
    EXPECT_EQ(assessment.verdict, TLatePotentialsAssessment::Verdict::Negative);
    assessment.reasons << QStringLiteral("any");
    assessment.setCriteria(115.0, 19.0, 39.0);
    assessment.decide();
    EXPECT_EQ(assessment.verdict, TLatePotentialsAssessment::Verdict::NotAssessable);
}

// V1 without signal, and a vector magnitude that never quiets down after
// the QRS: both leave the verdict open, each with its reason.
TEST(LatePotentialsAssessmentTest, MissingLeadAndLimitAtTheEndOfItsRangeAreNotAssessable)
{
    std::vector<double> times;
    auto signal = noisyBeats(120, 1, times);
    std::vector<std::vector<double>> channels(Leads);
    for (int lead = 0; lead < Leads; ++lead) {
        channels[std::size_t(lead)].resize(std::size_t(signal->appendedCount()));
        if (lead != 6)
            signal->readRange(lead, 0, signal->appendedCount(), channels[std::size_t(lead)].data());
    }
    signal = makeSignal(channels, Rate);
    signal->setRange(-300.0, 300.0);
    TLiveBeatAverager averager(*signal);
    averageBeats(averager, *signal, times);
    TLatePotentials potentials(averager);
    computeAt40Hz(potentials);
    TLatePotentialsAssessment assessment = TLatePotentialsAssessment::assess(potentials, {100.0, 100});
    EXPECT_EQ(assessment.missingLeads, QStringList{QStringLiteral("V1")});
    EXPECT_EQ(assessment.verdict, TLatePotentialsAssessment::Verdict::NotAssessable);
    ASSERT_EQ(assessment.reasons.size(), 1);
    EXPECT_TRUE(assessment.reasons.front().contains(QStringLiteral("V1")));

    // A 200 Hz carrier of 50 uV throughout: no quiet window anywhere.
    std::vector<double> x(1000), y(1000), z(1000, 0.0);
    for (int i = 0; i < 1000; ++i) {
        x[std::size_t(i)] = 0.05 * std::cos(2.0 * Pi * 200.0 * i / Rate);
        y[std::size_t(i)] = 0.05 * std::sin(2.0 * Pi * 200.0 * i / Rate);
    }
    potentials.setOnset(0);
    potentials.setOffset(0);
    potentials.computeFromOrthogonal(x, y, z);
    assessment = TLatePotentialsAssessment::assess(potentials, {100.0, 100});
    EXPECT_TRUE(assessment.offsetAtRangeEnd);
    EXPECT_TRUE(assessment.reasons.join(QString()).contains(QStringLiteral("offset is at the end")));
    EXPECT_EQ(assessment.verdict, TLatePotentialsAssessment::Verdict::NotAssessable);
}

// Whatever the settings shown, the verdict and the noise are those of the
// analysis at 40 Hz, 40 uV and 40 ms, on limits searched at 40 Hz or, when
// set by hand, on the operator's; the settings shown only label figures.
TEST(LatePotentialsAssessmentTest, TheVerdictComesFromTheStandardAnalysisWhateverIsShown)
{
    std::vector<double> times;
    const auto signal = noisyBeats(150, 3, times);
    TLiveBeatAverager averager(*signal);
    averageBeats(averager, *signal, times);
    TLatePotentials standard(averager);
    computeAt40Hz(standard);
    const TLatePotentialsAssessment::Limits limits{100.0, 100};
    const TLatePotentialsAssessment expected = TLatePotentialsAssessment::assess(standard, limits);
    ASSERT_NE(expected.verdict, TLatePotentialsAssessment::Verdict::NotAssessable);

    TLatePotentials shown(averager);
    shown.setHighPassCutoff(25);
    shown.setLasThreshold(10);
    shown.setRmsDuration(80);
    shown.compute();
    EXPECT_EQ(TLatePotentialsAssessment::settingsLabel(shown), QStringLiteral("25 Hz, 10 \u00b5V / 80 ms"));
    EXPECT_EQ(TLatePotentialsAssessment::settingsLabel(standard), QString());
    const TLatePotentialsAssessment judged = TLatePotentialsAssessment::assessStandard(shown, false, limits);
    EXPECT_EQ(judged.verdict, expected.verdict);
    EXPECT_EQ(judged.noiseMicrovolts, expected.noiseMicrovolts);
    EXPECT_EQ(judged.qrsd.value, expected.qrsd.value);
    EXPECT_EQ(judged.rms.value, expected.rms.value);
    EXPECT_EQ(judged.las.value, expected.las.value);

    // Limits held by hand are the operator's at every setting.
    shown.setOnset(shown.centre() - 60);
    shown.setOffset(shown.centre() + 70);
    shown.compute();
    EXPECT_EQ(TLatePotentialsAssessment::assessStandard(shown, true, limits).qrsd.value, 130.0);
    EXPECT_EQ(TLatePotentialsAssessment::assessStandard(shown, false, limits).qrsd.value, expected.qrsd.value);
}

// An electrode off makes the source leads it feeds missing: a precordial
// electrode its own lead, a limb electrode the leads it is measured in,
// the precordial ones included (their reference is the limb electrodes).
TEST(LatePotentialsAssessmentTest, AnElectrodeOffMakesTheLeadsItFeedsMissing)
{
    std::vector<double> times;
    const auto signal = noisyBeats(120, 5, times);
    TLiveBeatAverager averager(*signal);
    averageBeats(averager, *signal, times);
    TLatePotentials potentials(averager);
    computeAt40Hz(potentials);
    const TLatePotentialsAssessment::Limits limits{100.0, 100};
    ASSERT_TRUE(TLatePotentialsAssessment::assessStandard(potentials, false, limits).missingLeads.isEmpty());

    TLatePotentialsAssessment assessment =
        TLatePotentialsAssessment::assessStandard(potentials, false, limits, {QStringLiteral("V3")});
    EXPECT_EQ(assessment.missingLeads, QStringList{QStringLiteral("V3")});
    EXPECT_EQ(assessment.verdict, TLatePotentialsAssessment::Verdict::NotAssessable);
    EXPECT_TRUE(assessment.reasons.join(QString()).contains(QStringLiteral("electrodes off"))) << assessment.reasons.join(QStringLiteral("; ")).toStdString();

    assessment = TLatePotentialsAssessment::assessStandard(potentials, false, limits, {QStringLiteral("LL")});
    EXPECT_EQ(assessment.missingLeads.join(QLatin1Char(',')), QStringLiteral("II,V1,V2,V3,V4,V5,V6"));
}
