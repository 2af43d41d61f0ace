// Throughput of the filters as multiples of real time on one
// core: every streaming stage kind, the display chain (500 Hz) and the
// recording chain (1000 Hz) on 14 channels, fed as the driver feeds them
// (blocks of 100 ms, processed after each block), and the review chain's
// block filters. Only the filtering is timed, not the appends that feed it.
// The display chain at 500 Hz with every switch on is the headline.
#include "bench/BenchMetric.h"
#include "analysis/filters/TBlockMeanDecimator.h"
#include "analysis/filters/TFftBaselineFilter.h"
#include "analysis/filters/TFirDecimator.h"
#include "analysis/filters/TFirFilter.h"
#include "analysis/filters/TFirTables.h"
#include "analysis/filters/TRealtimeFilterChain.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/signal/TSignalBufferF64.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int Channels = 14;
constexpr int BlockSize = 4096;
constexpr int Capacity = 100 * BlockSize;
constexpr double Seconds = 120.0; // simulated signal per measurement

using Clock = std::chrono::steady_clock;

// ECG-like test frames: a few sines per channel plus noise, interleaved.
std::vector<char> frames(int rate, int count, int first)
{
    std::vector<char> bytes(std::size_t(count) * Channels * 2);
    unsigned state = 12345u + unsigned(first);
    for (int i = 0; i < count; ++i) {
        const double t = double(first + i) / rate;
        for (int c = 0; c < Channels; ++c) {
            state = state * 1664525u + 1013904223u;
            const double v = 1500.0 * std::sin(2.0 * 3.14159265358979 * 1.2 * t + c)
                + 300.0 * std::sin(2.0 * 3.14159265358979 * 50.0 * t) + 800.0 * std::sin(0.3 * t)
                + double(int(state >> 20) % 64);
            const int s = int(v);
            const std::size_t at = (std::size_t(i) * Channels + c) * 2;
            bytes[at] = char(s & 0xff);
            bytes[at + 1] = char((s >> 8) & 0xff);
        }
    }
    return bytes;
}

// Feeds `seconds` of signal at `rate` in 100 ms blocks to `source`,
// calling `process` after each; returns simulated / processing seconds.
double realtimeMultiple(TSignal& source, int rate, double seconds, const std::function<void()>& process)
{
    const int perBlock = rate / 10;
    const int blocks = int(seconds * 10);
    const std::vector<char> data = frames(rate, perBlock * 50, 0); // 5 s, reused
    double busy = 0.0;
    for (int b = 0; b < blocks; ++b) {
        const char* bytes = data.data() + std::size_t(b % 50) * perBlock * Channels * 2;
        source.appendInterleaved(bytes, perBlock * Channels * 2);
        const Clock::time_point start = Clock::now();
        process();
        busy += std::chrono::duration<double>(Clock::now() - start).count();
    }
    return seconds / busy;
}

double stageMultiple(int rate, std::unique_ptr<TSignalProcessor> stage, std::unique_ptr<TSignal> sink)
{
    TSignalBuffer16 source(Channels, rate, BlockSize, Capacity);
    stage->setSink(sink.get());
    stage->attach(&source, 0);
    return realtimeMultiple(source, rate, Seconds, [&] { stage->process(); });
}

std::unique_ptr<TSignal> sink16(int rate)
{
    return std::make_unique<TSignalBuffer16>(Channels, rate, BlockSize, Capacity);
}

double firMultiple(int rate, const TFirTable& table)
{
    return stageMultiple(rate, std::make_unique<TFirFilter>(table), sink16(rate));
}

double chainMultiple(int rate, bool notch, bool lowPass, bool baseline)
{
    TSignalBuffer16 source(Channels, rate, BlockSize, Capacity);
    TRealtimeFilterChain chain(&source);
    chain.configure(notch, lowPass, baseline);
    return realtimeMultiple(source, rate, Seconds, [&] { chain.process(); });
}

// Review chain (1000 Hz, every view): computes all blocks of a recording.
double reviewMultiple()
{
    const int rate = 1000;
    const int samples = 60 * BlockSize; // about 4 minutes
    TSignalBuffer16 source(Channels, rate, BlockSize, samples);
    const std::vector<char> data = frames(rate, samples, 0);
    source.appendInterleaved(data.data(), int(data.size()));
    TReviewFilterChain chain(&source);
    const Clock::time_point start = Clock::now();
    chain.configure(true, true, true);
    TSignal* out = chain.output();
    for (int c = 0; c < Channels; ++c)
        for (int b = 0; b < out->completeBlockCount(); ++b)
            out->releaseBlock(out->readBlock(c, b));
    const double busy = std::chrono::duration<double>(Clock::now() - start).count();
    return (double(samples) / rate) / busy;
}

} // namespace

int main()
{
    metric("fir_lowpass_12taps_500hz_x_realtime", firMultiple(500, TFirTables::lowPass40Hz500()), "x", 0);
    metric("fir_lowpass_41taps_1000hz_x_realtime", firMultiple(1000, TFirTables::lowPass40Hz1000()), "x", 0);
    metric("fir_notch_195taps_500hz_x_realtime", firMultiple(500, TFirTables::notch("50hz", 500)), "x", 0);
    metric("fir_notch_391taps_1000hz_x_realtime", firMultiple(1000, TFirTables::notch("50hz", 1000)), "x", 0);
    metric("fir_baseline_501taps_500hz_x_realtime", firMultiple(500, TFirTables::baseline(500)), "x", 0);
    metric("fir_baseline_1355taps_1000hz_x_realtime", firMultiple(1000, TFirTables::baseline(1000)), "x", 0);
    metric("fir_baseline_1501taps_500hz_x_realtime", firMultiple(500, TFirTables::displayBaseline()), "x", 0);
    metric("fir_f64_41taps_1000hz_x_realtime",
           stageMultiple(1000, std::make_unique<TFirFilterF64>(TFirTables::lowPass40Hz1000()),
                         std::make_unique<TSignalBufferF64>(Channels, 1000, BlockSize, Capacity)),
           "x", 0);
    metric("block_mean_decimator_1000_to_250hz_x_realtime",
           stageMultiple(1000, std::make_unique<TBlockMeanDecimator>(4), sink16(250)), "x", 0);
    metric("fir_decimator_1000_to_500hz_x_realtime",
           stageMultiple(1000, std::make_unique<TFirDecimator>(2), sink16(500)), "x", 0);
    metric("fft_baseline_500hz_x_realtime", stageMultiple(500, std::make_unique<TFftBaselineFilter>(), sink16(500)),
           "x", 0);
    metric("review_chain_1000hz_all_views_x_realtime", reviewMultiple(), "x", 0);
    metric("recording_chain_1000hz_notch_lowpass_x_realtime", chainMultiple(1000, true, true, false), "x", 0);
    metric("display_chain_500hz_1501_notch_lowpass_x_realtime", chainMultiple(500, true, true, false), "x", 0);
    metric("display_chain_500hz_all_switches_x_realtime", chainMultiple(500, true, true, true), "x", 0);
    return 0;
}
