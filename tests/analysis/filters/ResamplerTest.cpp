// Conversion of records to the analysis rate: the Kaiser low-pass designer,
// the band-limited resampler (gain, timing, aliases and images, edges,
// lengths) and millivolts to device counts.
#include "analysis/filters/TFirDesign.h"
#include "analysis/filters/TResampler.h"
#include "analysis/signal/TSampleConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

// f(t) at n samples of the given rate, t = i / rate.
std::vector<double> sampled(const std::function<double(double)>& f, double rate, std::size_t n)
{
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i)
        values[i] = f(double(i) / rate);
    return values;
}

// Largest |output[k] - f(k / 1000)| away from both ends (`margin` seconds).
double largestError(const std::vector<double>& output, const std::function<double(double)>& f, double margin)
{
    const std::size_t skip = std::size_t(margin * 1000.0);
    double largest = 0.0;
    for (std::size_t k = skip; k + skip < output.size(); ++k)
        largest = std::max(largest, std::abs(output[k] - f(double(k) / 1000.0)));
    return largest;
}

// Time of the largest sample, refined by a parabola through it and its neighbours.
double peakTime(const std::vector<double>& values, double rate)
{
    const auto top = std::max_element(values.begin() + 1, values.end() - 1);
    const double left = *(top - 1), centre = *top, right = *(top + 1);
    const double offset = 0.5 * (left - right) / (left - 2.0 * centre + right);
    return (double(top - values.begin()) + offset) / rate;
}

std::function<double(double)> sine(double frequency, double amplitude = 1.0)
{
    return [=](double t) { return amplitude * std::sin(2.0 * Pi * frequency * t + 0.3); };
}

} // namespace

TEST(FirDesign, KaiserLowPassIsFlatInThePassBandAndBlocksTheStopBand)
{
    // 1000 Hz to 500 Hz: pass band to 200 Hz, stop band from 250 Hz.
    const auto taps = TFirDesign::kaiserLowPass(0.2, 0.25, 80.0);
    ASSERT_EQ(taps.size() % 2, 1u);
    for (std::size_t n = 0; n < taps.size(); ++n)
        EXPECT_DOUBLE_EQ(taps[n], taps[taps.size() - 1 - n]); // linear phase
    EXPECT_NEAR(TFirDesign::magnitudeAt(taps, 0.0), 1.0, 1e-12);
    for (double f = 0.0; f <= 0.2; f += 0.005)
        EXPECT_NEAR(TFirDesign::magnitudeAt(taps, f), 1.0, 1e-3) << f * 1000 << " Hz";
    for (double f = 0.25; f <= 0.5; f += 0.0025)
        EXPECT_LT(TFirDesign::magnitudeAt(taps, f), 1e-3) << f * 1000 << " Hz";

    EXPECT_THROW(TFirDesign::kaiserLowPass(0.3, 0.2, 80.0), std::runtime_error);
    EXPECT_THROW(TFirDesign::kaiserLowPass(0.0, 0.2, 80.0), std::runtime_error);
    EXPECT_THROW(TFirDesign::kaiserLowPass(0.4, 0.6, 80.0), std::runtime_error);
}

TEST(DeviceCount, MillivoltsRoundToCountsOfTheDeviceScaleAndSaturate)
{
    EXPECT_EQ(deviceCount(0.0), 0);
    EXPECT_EQ(deviceCount(1.0), 109); // 65536 / 600 = 109.23
    EXPECT_EQ(deviceCount(-1.0), -109);
    EXPECT_EQ(deviceCount(10.0), 1092); // 1092.27
    EXPECT_EQ(deviceCount(0.005), 1);   // 0.546 rounds up, where truncation would give 0
    EXPECT_EQ(deviceCount(299.99), 32767);
    EXPECT_EQ(deviceCount(400.0), 32767);
    EXPECT_EQ(deviceCount(-400.0), -32768);
    EXPECT_EQ(deviceCount(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Resampler, RatesReduceToTheRatioInLowestTerms)
{
    const struct {
        double rate;
        std::int64_t up, down;
    } cases[] = {{360.0, 25, 9}, {250.0, 4, 1}, {257.0, 1000, 257}, {1024.0, 125, 128}, {128.0, 125, 16},
                 {500.0, 2, 1},  {256.3, 10000, 2563}};
    for (const auto& c : cases) {
        const TResampler resampler(c.rate, 1000.0);
        EXPECT_EQ(resampler.up(), c.up) << c.rate;
        EXPECT_EQ(resampler.down(), c.down) << c.rate;
        EXPECT_FALSE(resampler.isPassThrough());
    }
}

TEST(Resampler, OutputLengthIsTheInputDurationAtTheNewRateRounded)
{
    EXPECT_EQ(TResampler(360.0, 1000.0).outputLength(1000), 2778u); // 2777.8
    EXPECT_EQ(TResampler(360.0, 1000.0).outputLength(648000), 1800000u);
    EXPECT_EQ(TResampler(257.0, 1000.0).outputLength(10), 39u);     // 38.9
    EXPECT_EQ(TResampler(1024.0, 1000.0).outputLength(100), 98u);   // 97.66
    EXPECT_EQ(TResampler(2000.0, 1000.0).outputLength(5), 3u);      // 2.5
    for (double rate : {128.0, 250.0, 256.3, 360.0, 1024.0}) {
        const TResampler resampler(rate, 1000.0);
        EXPECT_EQ(resampler.resample(std::vector<double>(777, 1.0)).size(), resampler.outputLength(777)) << rate;
    }
    EXPECT_TRUE(TResampler(360.0, 1000.0).resample({}).empty());
}

TEST(Resampler, EqualRatesPassTheSignalThroughUnchanged)
{
    const TResampler resampler(1000.0, 1000.0);
    EXPECT_TRUE(resampler.isPassThrough());
    const std::vector<double> input = {0.5, -1.25, 3.0, 1e-9, -7.0};
    EXPECT_EQ(resampler.resample(input), input);
}

TEST(Resampler, SinesAt360HzKeepAmplitudeFrequencyAndPhase)
{
    const TResampler resampler(360.0, 1000.0);
    // 10 and 40 Hz within 0.5 % of the amplitude; 100 Hz, with its images
    // at 260 and 460 Hz, within 0.1 %.
    for (const auto& [frequency, tolerance] : {std::pair{10.0, 5e-3}, std::pair{40.0, 5e-3}, std::pair{100.0, 1e-3}}) {
        const auto f = sine(frequency, 2.0);
        const auto output = resampler.resample(sampled(f, 360.0, 3600));
        ASSERT_EQ(output.size(), 10000u);
        EXPECT_LT(largestError(output, f, 0.3), 2.0 * tolerance) << frequency << " Hz";
    }
}

TEST(Resampler, UncommonRatesKeepSines)
{
    // 257 Hz: 1000 exact phases; 256.3 Hz: more phases than tabulated, so
    // neighbouring phases are interpolated (taking the nearest phase instead
    // would be off by 3e-4 here); 1024 Hz goes down. Sines at 23 % of the
    // lower rate, within 0.015 % of their amplitude.
    for (double rate : {257.0, 256.3, 1024.0, 128.0}) {
        const auto f = sine(0.23 * std::min(rate, 1000.0));
        const auto output = TResampler(rate, 1000.0).resample(sampled(f, rate, std::size_t(rate * 20)));
        EXPECT_LT(largestError(output, f, 0.5), 1.5e-4) << rate << " Hz";
    }
}

TEST(Resampler, GoingDownRemovesWhatTheNewRateCannotHold)
{
    // At 1024 Hz, 505 Hz lies above the 500 Hz Nyquist frequency of the
    // output, where it would fold to 495 Hz.
    const TResampler resampler(1024.0, 1000.0);
    const auto output = resampler.resample(sampled(sine(505.0), 1024.0, 10240));
    EXPECT_LT(largestError(output, [](double) { return 0.0; }, 0.3), 1e-3);
    const auto kept = resampler.resample(sampled(sine(300.0), 1024.0, 10240));
    EXPECT_LT(largestError(kept, sine(300.0), 0.3), 1e-3);
}

TEST(Resampler, BeatPeakKeepsItsTime)
{
    // A narrow Gaussian "QRS" (8 ms standard deviation) at a time that is
    // on no sample grid.
    const double peak = 1.2345;
    const auto beat = [peak](double t) { return 1.5 * std::exp(-(t - peak) * (t - peak) / (2 * 0.008 * 0.008)); };
    for (double rate : {360.0, 250.0, 500.0, 257.0}) {
        const auto output = TResampler(rate, 1000.0).resample(sampled(beat, rate, std::size_t(2.5 * rate)));
        EXPECT_NEAR(peakTime(output, 1000.0), peak, 1e-4) << rate << " Hz";
        EXPECT_LT(largestError(output, beat, 0.0), 1.5e-3) << rate << " Hz";
    }
}

TEST(Resampler, OffsetSignalsShowNoEdgeEffects)
{
    // A record starting and ending at 5 mV keeps exactly that level up to
    // its first and last samples, going up and going down.
    for (double rate : {360.0, 1024.0, 256.3}) {
        const auto output = TResampler(rate, 1000.0).resample(std::vector<double>(1000, 5.0));
        for (std::size_t k = 0; k < output.size(); ++k)
            ASSERT_NEAR(output[k], 5.0, 1e-12) << rate << " Hz, sample " << k;
    }
}

TEST(Resampler, RefusesRatesOutOfRange)
{
    EXPECT_THROW(TResampler(0.0, 1000.0), std::runtime_error);
    EXPECT_THROW(TResampler(-360.0, 1000.0), std::runtime_error);
    EXPECT_THROW(TResampler(std::numeric_limits<double>::quiet_NaN(), 1000.0), std::runtime_error);
    EXPECT_THROW(TResampler(360.0, 2e6), std::runtime_error);
}
