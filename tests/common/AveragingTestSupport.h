#pragma once

// Helpers shared by the averaging, delineation and late-potential tests:
// signals built from per-channel sample vectors, beats with chosen times
// and RR values, and smooth wave shapes.
#include "analysis/beats/TBeat.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace averagingtest {

constexpr double Pi = 3.14159265358979323846;

// A 16-bit signal holding `channels` (equal lengths; values rounded and
// saturated to 16 bits), keeping every sample.
inline std::unique_ptr<TSignalBuffer16> makeSignal(const std::vector<std::vector<double>>& channels, int rate)
{
    const int count = int(channels.front().size());
    auto signal = std::make_unique<TSignalBuffer16>(int(channels.size()), rate, 4096, std::max(count, 1));
    std::vector<std::vector<qint16>> samples;
    for (const std::vector<double>& channel : channels) {
        std::vector<qint16> values(channel.size());
        for (std::size_t i = 0; i < channel.size(); ++i)
            values[i] = qint16(std::clamp(std::lround(channel[i]), -32768L, 32767L));
        samples.push_back(std::move(values));
    }
    std::vector<const qint16*> pointers;
    for (const auto& channel : samples)
        pointers.push_back(channel.data());
    signal->append(pointers.data(), count);
    return signal;
}

// A valid beat at `qrsTime` with RR interval `rr` and running mean RR
// `meanRr`; its window starts 0.25 s before the QRS.
inline TBeat makeBeat(const TSignal* signal, double qrsTime, double rr = 0.8, double meanRr = 0.8)
{
    TBeat beat(signal);
    beat.setValue(TBeat::QrsTime, qrsTime);
    beat.setValue(TBeat::RrInterval, rr);
    beat.setValue(TBeat::MeanRrInterval, meanRr);
    beat.setWindowStart(qrsTime - 0.25);
    beat.setWindowLength(0.6);
    return beat;
}

// sin^2 bump of height `amplitude` over (on, off), 0 outside.
inline double bump(double t, double on, double off, double amplitude)
{
    if (t <= on || t >= off)
        return 0.0;
    const double s = std::sin(Pi * (t - on) / (off - on));
    return amplitude * s * s;
}

// Asymmetric smooth wave over (on, off): a raised-cosine rise to its peak
// at on + peakShare * (off - on), then a raised-cosine fall.
inline double skewedBump(double t, double on, double off, double amplitude, double peakShare)
{
    if (t <= on || t >= off)
        return 0.0;
    const double peak = on + peakShare * (off - on);
    if (t <= peak)
        return amplitude * (1.0 - std::cos(Pi * (t - on) / (peak - on))) / 2.0;
    return amplitude * (1.0 + std::cos(Pi * (t - peak) / (off - peak))) / 2.0;
}

// Root mean square of a - b.
inline double rmsDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    double energy = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        energy += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(energy / double(a.size()));
}

} // namespace averagingtest
