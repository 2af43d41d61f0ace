#pragma once

// Helpers shared by the filter tests: building signals from per-channel
// sample vectors and reading them back.
#include "analysis/signal/TSignal.h"

#include <QtGlobal>

#include <cmath>
#include <vector>

namespace filtertest {

constexpr double Pi = 3.14159265358979323846;

// Appends the same samples to every channel of `signal` (channel c gets
// values scaled by (c + 1) when `scaleByChannel` is set).
inline void appendAll(TSignal& signal, const std::vector<qint16>& values, bool scaleByChannel = false)
{
    std::vector<std::vector<qint16>> channels(std::size_t(signal.channelCount()), values);
    if (scaleByChannel) {
        for (std::size_t c = 0; c < channels.size(); ++c)
            for (qint16& v : channels[c])
                v = qint16(std::max(-32768.0, std::min(32767.0, double(v) * double(c + 1))));
    }
    std::vector<const qint16*> pointers;
    for (const auto& channel : channels)
        pointers.push_back(channel.data());
    signal.append(pointers.data(), int(values.size()));
}

// Appends `values` in pieces of `piece` samples, calling after() after each.
template <typename After>
void appendInPieces(TSignal& signal, const std::vector<qint16>& values, int piece, After after)
{
    for (std::size_t at = 0; at < values.size(); at += std::size_t(piece)) {
        const std::size_t end = std::min(values.size(), at + std::size_t(piece));
        appendAll(signal, std::vector<qint16>(values.begin() + long(at), values.begin() + long(end)));
        after();
    }
}

inline std::vector<double> readAll(const TSignal& signal, int channel, int start = 0, int count = -1)
{
    if (count < 0)
        count = signal.appendedCount() - start;
    std::vector<double> values(std::size_t(std::max(0, count)));
    signal.readRange(channel, start, count, values.data());
    return values;
}

inline std::vector<qint16> sine(int count, int rate, double hz, double amplitude, double offset = 0.0)
{
    std::vector<qint16> values(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        values[std::size_t(i)] = qint16(std::lround(offset + amplitude * std::sin(2.0 * Pi * hz * i / rate)));
    return values;
}

// Deterministic pseudo-random counts in [-amplitude, amplitude].
inline std::vector<qint16> noise(int count, int amplitude, unsigned seed = 1)
{
    std::vector<qint16> values(static_cast<std::size_t>(count));
    unsigned state = seed;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        values[std::size_t(i)] = qint16(int((state >> 8) % unsigned(2 * amplitude + 1)) - amplitude);
    }
    return values;
}

// Largest |value| over values[from, to).
inline double peak(const std::vector<double>& values, int from, int to)
{
    double worst = 0.0;
    for (int i = from; i < to; ++i)
        worst = std::max(worst, std::fabs(values[std::size_t(i)]));
    return worst;
}

} // namespace filtertest
