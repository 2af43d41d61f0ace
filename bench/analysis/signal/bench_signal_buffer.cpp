// Throughput of the raw signal ring: appending 14-lead device frames,
// reading sample ranges, and computing display envelopes.
#include "bench/BenchMetric.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QByteArray>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int Channels = 14;
constexpr int Rate = 1000;
constexpr int BlockSize = 4096;
constexpr int Capacity = 100 * BlockSize;
constexpr int FramesPerBlock = 100;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A data block as the driver delivers it: whole interleaved frames.
QByteArray deviceBlock()
{
    QByteArray bytes(FramesPerBlock * Channels * 2, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 37);
    return bytes;
}

double appendSamplesPerSecond(TSignalBuffer16& signal, const QByteArray& block, int blocks)
{
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < blocks; ++i)
        signal.appendInterleaved(block.constData(), block.size());
    return double(blocks) * FramesPerBlock * Channels / secondsSince(start);
}

double readSamplesPerSecond(const TSignalBuffer16& signal, int reads)
{
    const int length = 2000;
    std::vector<double> values(length);
    double sink = 0.0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < reads; ++i) {
        const int first = signal.appendedCount() - length - (i * 997) % (Capacity - length);
        signal.readRange(i % Channels, first, length, values.data());
        sink += values[i % length];
    }
    const double rate = double(reads) * length / secondsSince(start);
    return sink == 0.5 ? 0.0 : rate; // keeps the reads observable
}

double envelopeColumnsPerSecond(const TSignalBuffer16& signal, int sweeps)
{
    const int columns = 1600;
    const int samples = 10 * Rate;
    std::vector<int> minima(columns), maxima(columns);
    long long sink = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < sweeps; ++i) {
        const int first = signal.appendedCount() - samples / 2;
        sink += signal.channel(i % Channels).envelope(first, samples, columns, true, minima.data(), maxima.data());
    }
    const double rate = double(sweeps) * columns / secondsSince(start);
    return sink == 1 ? 0.0 : rate;
}

} // namespace

int main()
{
    TSignalBuffer16 signal(Channels, Rate, BlockSize, Capacity);
    const QByteArray block = deviceBlock();
    appendSamplesPerSecond(signal, block, 2 * Capacity / FramesPerBlock); // fill and wrap the ring

    metric("read_range_samples_per_s", readSamplesPerSecond(signal, 200000), "samples/s", 0);
    metric("envelope_columns_per_s", envelopeColumnsPerSecond(signal, 2000), "columns/s", 0);
    metric("append_14ch_samples_per_s", appendSamplesPerSecond(signal, block, 200000), "samples/s", 0);
    return 0;
}
