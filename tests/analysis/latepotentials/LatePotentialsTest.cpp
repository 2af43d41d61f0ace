// Late potentials: the high-pass filters, the automatic QRS limits and the
// hand-set ones, QRSD, RMS and LAS on designed vector magnitudes, and the
// synthesis of X, Y and Z from the averaged leads.
#include "common/AveragingTestSupport.h"

#include "analysis/filters/TButterworthHighPass.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"

#include <gtest/gtest.h>

using namespace averagingtest;

namespace {

constexpr int Rate = 1000;
constexpr int Centre = 500;

// An averager over a silent 12-lead signal: 1000-sample beats, centre 500.
struct SilentAverager
{
    std::unique_ptr<TSignalBuffer16> signal = makeSignal(std::vector<std::vector<double>>(12, {0.0, 0.0}), Rate);
    TLiveBeatAverager averager{*signal};
};

// Orthogonal leads whose vector magnitude after high-pass filtering is
// `envelope`: a 200 Hz carrier turning in the X-Y plane passes the
// filters unchanged in amplitude, whatever its phase.
struct Orthogonal
{
    std::vector<double> x, y, z;

    explicit Orthogonal(const std::vector<double>& envelope)
        : x(envelope.size())
        , y(envelope.size())
        , z(envelope.size(), 0.0)
    {
        for (std::size_t i = 0; i < envelope.size(); ++i) {
            x[i] = envelope[i] * std::cos(2.0 * Pi * 200.0 * double(i) / Rate);
            y[i] = envelope[i] * std::sin(2.0 * Pi * 200.0 * double(i) / Rate);
        }
    }
};

// A QRS of 0.1 mV over [450, 530) ending in a 15.5 uV tail over [530, 580).
std::vector<double> designedEnvelope()
{
    std::vector<double> envelope(1000, 0.0);
    for (int i = 450; i < 580; ++i)
        envelope[std::size_t(i)] = i < 530 ? 0.1 : 0.0155;
    return envelope;
}

double steadyAmplitude(const TButterworthHighPass& filter, double hertz)
{
    std::vector<double> in(4000), out(4000);
    for (int i = 0; i < 4000; ++i)
        in[std::size_t(i)] = std::sin(2.0 * Pi * hertz * i / Rate);
    filter.forward(in.data(), 4000, out.data());
    double peak = 0.0;
    for (int i = 2000; i < 4000; ++i)
        peak = std::max(peak, std::fabs(out[std::size_t(i)]));
    return peak;
}

} // namespace

// The two sets are -3 dB at 25 and 40 Hz and pass 200 Hz; every cutoff
// other than 40 selects the 25 Hz set. Filtering backward equals filtering
// the reversed vector.
TEST(ButterworthHighPassTest, CutoffsAndDirections)
{
    const TButterworthHighPass& low = TButterworthHighPass::forCutoff(25);
    const TButterworthHighPass& high = TButterworthHighPass::forCutoff(40);
    EXPECT_NEAR(steadyAmplitude(low, 25.0), std::sqrt(0.5), 0.005);
    EXPECT_NEAR(steadyAmplitude(high, 40.0), std::sqrt(0.5), 0.005);
    EXPECT_NEAR(steadyAmplitude(low, 200.0), 1.0, 0.005);
    EXPECT_LT(steadyAmplitude(high, 5.0), 0.001);
    EXPECT_EQ(&TButterworthHighPass::forCutoff(80), &low);
    EXPECT_EQ(&TButterworthHighPass::forCutoff(0), &low);

    const std::vector<double> in = designedEnvelope();
    std::vector<double> reversed(in.rbegin(), in.rend());
    std::vector<double> forward(in.size()), backward(in.size());
    low.forward(reversed.data(), int(in.size()), forward.data());
    low.backward(in.data(), int(in.size()), backward.data());
    for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_NEAR(backward[i], forward[in.size() - 1 - i], 1e-12);
}

// Designed: QRS from 450 to 580 (tail included). The search finds the
// quiet windows [440, 450) and [580, 590): onset 445, offset 585, QRSD
// 140; RMS over 545 .. 584 = 15.5 uV * sqrt(35 / 40) = 14.5 uV, so 14;
// LAS from 585 down to 530 = 56 samples.
TEST(LatePotentialsTest, MeasuresADesignedVectorMagnitude)
{
    SilentAverager silent;
    TLatePotentials analysis(silent.averager);
    EXPECT_EQ(analysis.highPassCutoff(), 25);
    EXPECT_EQ(analysis.lasThreshold(), 40);
    EXPECT_EQ(analysis.rmsDuration(), 40);
    const Orthogonal leads(designedEnvelope());
    analysis.computeFromOrthogonal(leads.x, leads.y, leads.z);
    EXPECT_NEAR(analysis.vectorMagnitude()[500], 0.1, 0.002);
    EXPECT_NEAR(analysis.vectorMagnitude()[560], 0.0155, 0.001);
    EXPECT_EQ(analysis.onset(), 445);
    EXPECT_EQ(analysis.offset(), 585);
    EXPECT_EQ(analysis.QRSD(), 140);
    EXPECT_EQ(analysis.RMS(), 14);
    EXPECT_EQ(analysis.LAS(), 56);
}

// Cutoffs 25 and 80 filter alike, 40 differently.
TEST(LatePotentialsTest, CutoffOtherThanFortyUsesTheTwentyFiveHertzSet)
{
    SilentAverager silent;
    std::vector<double> wide(1000, 0.0);
    for (int i = 400; i < 600; ++i)
        wide[std::size_t(i)] = std::sin(2.0 * Pi * 30.0 * i / Rate);
    const auto filtered = [&](int cutoff) {
        TLatePotentials analysis(silent.averager);
        analysis.setHighPassCutoff(cutoff);
        analysis.computeFromOrthogonal(wide, wide, wide);
        return analysis.filteredX();
    };
    EXPECT_EQ(filtered(80), filtered(25));
    EXPECT_NE(filtered(40), filtered(25));
}

// Both limits set by hand are kept; with only the offset set, the search
// replaces it (and finds the onset); where no window is quiet, a set limit
// keeps its value and an unset one goes 120 samples from the centre.
TEST(LatePotentialsTest, HandSetLimits)
{
    SilentAverager silent;
    const Orthogonal designed(designedEnvelope());
    TLatePotentials analysis(silent.averager);
    analysis.setOnset(430);
    analysis.setOffset(610);
    analysis.computeFromOrthogonal(designed.x, designed.y, designed.z);
    EXPECT_EQ(analysis.onset(), 430);
    EXPECT_EQ(analysis.offset(), 610);
    EXPECT_EQ(analysis.QRSD(), 180);
    EXPECT_NEAR(analysis.vectorMagnitude()[500], 0.1, 0.002);

    analysis.setOnset(0);
    analysis.computeFromOrthogonal(designed.x, designed.y, designed.z);
    EXPECT_EQ(analysis.onset(), 445);
    EXPECT_EQ(analysis.offset(), 585);

    const Orthogonal busy(std::vector<double>(1000, 0.05));
    analysis.setOnset(0);
    analysis.setOffset(700);
    analysis.computeFromOrthogonal(busy.x, busy.y, busy.z);
    EXPECT_EQ(analysis.onset(), Centre - 120);
    EXPECT_EQ(analysis.offset(), 700);
    analysis.setOffset(0);
    analysis.computeFromOrthogonal(busy.x, busy.y, busy.z);
    EXPECT_EQ(analysis.onset(), Centre - 120); // kept: it was set
    EXPECT_EQ(analysis.offset(), Centre + 120);
}

// LAS counts from the offset sample itself backwards, and is 0 when the
// magnitude stays below the threshold down to the onset. RMS averages the
// samples before the offset (the offset sample excluded); a window that
// reaches before the beat's start is limited to the samples that exist.
TEST(LatePotentialsTest, LasAndRmsCountingRules)
{
    std::vector<double> vm(1000, 0.0);
    for (int i = 400; i < 560; ++i)
        vm[std::size_t(i)] = 0.1;
    vm[560] = 0.039;
    vm[561] = 0.041; // above 40 uV
    EXPECT_EQ(TLatePotentials::lasSamples(vm, 300, 580, 40), 19); // 580 .. 562
    EXPECT_EQ(TLatePotentials::lasSamples(vm, 300, 561, 40), 0); // starts above
    EXPECT_EQ(TLatePotentials::lasSamples(vm, 300, 580, 42), 21);   // 580 .. 560
    EXPECT_EQ(TLatePotentials::lasSamples(vm, 565, 580, 40), 0);    // quiet down to the onset
    EXPECT_EQ(TLatePotentials::lasSamples(vm, 580, 580, 40), 0);
    EXPECT_EQ(TLatePotentials::lasSamples(vm, 300, 580, 0), 0);

    std::vector<double> rms(1000, 0.0);
    for (int i = 560; i < 600; ++i)
        rms[std::size_t(i)] = 0.02;
    rms[600] = 5.0;  // the offset sample
    rms[559] = 5.0;  // just before the window
    EXPECT_EQ(TLatePotentials::rmsMicrovolts(rms, 400, 600, 40), 20);
    EXPECT_EQ(TLatePotentials::rmsMicrovolts(rms, 600, 600, 40), 0);
    EXPECT_EQ(TLatePotentials::rmsMicrovolts(rms, 400, 600, 0), 0);
    std::vector<double> early(1000, 0.0);
    for (int i = 0; i < 10; ++i)
        early[std::size_t(i)] = 0.03;
    EXPECT_EQ(TLatePotentials::rmsMicrovolts(early, -50, 10, 40), 30); // over 0 .. 9
}

// Limits outside the beat (set by hand) are measured on the samples that
// exist, without reading beyond the magnitude vector.
TEST(LatePotentialsTest, LimitsOutsideTheBeatStayInside)
{
    std::vector<double> vm(1000, 0.0);
    for (int i = 0; i < 980; ++i)
        vm[std::size_t(i)] = 0.1;
    EXPECT_EQ(TLatePotentials::lasSamples(vm, -400, 5000, 40), 20);  // 999 .. 980
    EXPECT_EQ(TLatePotentials::lasSamples(vm, -400, -20, 40), 0);
    EXPECT_EQ(TLatePotentials::rmsMicrovolts(vm, -400, 5000, 40), 0); // beyond the end: nothing
    EXPECT_EQ(TLatePotentials::rmsMicrovolts(vm, -400, 1000, 40), 70); // 20 of 0.1, 20 of 0
    EXPECT_EQ(TLatePotentials::lasSamples({}, 0, 10, 40), 0);
    EXPECT_EQ(TLatePotentials::rmsMicrovolts({}, 0, 10, 40), 0);
}

// Zero averages give a zero magnitude: the search puts the onset at C - 5
// and the offset at C + 5; RMS and LAS are 0.
TEST(LatePotentialsTest, ZeroAveragesGiveLimitsAroundTheCentre)
{
    SilentAverager silent;
    TLatePotentials analysis(silent.averager);
    analysis.compute();
    EXPECT_EQ(analysis.onset(), Centre - 5);
    EXPECT_EQ(analysis.offset(), Centre + 5);
    EXPECT_EQ(analysis.QRSD(), 10);
    EXPECT_EQ(analysis.RMS(), 0);
    EXPECT_EQ(analysis.LAS(), 0);
    EXPECT_EQ(analysis.vectorMagnitude().size(), 1000u);
}

// X, Y and Z come from leads I, II and V1 to V6 in millivolts: a beat in
// V5 alone gives 0.239, 0.04 and 0.054 of it; lead III is not used.
TEST(LatePotentialsTest, SynthesisesOrthogonalLeadsFromTheAverages)
{
    std::vector<int> positions;
    for (int k = 0; k < 12; ++k)
        positions.push_back(1000 + 800 * k);
    std::vector<double> beats(std::size_t(positions.back() + 1000), 0.0);
    for (int position : positions) {
        for (int offset = -40; offset < 40; ++offset)
            beats[std::size_t(position + offset)] = 2000.0 * std::exp(-offset * offset / 128.0);
    }
    std::vector<std::vector<double>> leads(12, std::vector<double>(beats.size(), 0.0));
    leads[2] = beats;
    leads[10] = beats;
    const auto signal = makeSignal(leads, Rate);
    signal->setRange(-32.768, 32.768); // 1 uV per count
    TLiveBeatAverager averager(*signal);
    for (int position : positions)
        averager.add(makeBeat(signal.get(), position / double(Rate)));
    ASSERT_GT(averager.count(10), 0);
    TLatePotentials analysis(averager);
    analysis.compute();
    const std::vector<double>& v5 = averager.average(10);
    for (int i : {0, 480, 500, 999}) {
        EXPECT_NEAR(analysis.x()[std::size_t(i)], 0.239 * v5[std::size_t(i)] * 0.001, 1e-12);
        EXPECT_NEAR(analysis.y()[std::size_t(i)], 0.04 * v5[std::size_t(i)] * 0.001, 1e-12);
        EXPECT_NEAR(analysis.z()[std::size_t(i)], 0.054 * v5[std::size_t(i)] * 0.001, 1e-12);
    }
    EXPECT_GT(analysis.x()[500], 0.4);
}
