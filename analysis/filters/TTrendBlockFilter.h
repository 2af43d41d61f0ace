#pragma once

#include "analysis/filters/TBlockFilter.h"
#include "analysis/signal/TSignal.h"

#include <array>

// Removes a per-channel quadratic trend: out[i] = x[i] - (A t^2 + B t + C)
// with t the absolute sample index, truncated toward zero and saturated to
// 16 bits; samples at or beyond the source's appended count give 0.
class TTrendBlockFilter final : public TBlockFilter
{
public:
    struct Quadratic {
        double a = 0.0;
        double b = 0.0;
        double c = 0.0;
        double at(double t) const { return a * t * t + b * t + c; }
    };

    // The quadratic through (x1, y1), (x2, y2), (x3, y3) by the formula of
    // The fit: with d = x2 - x1 and q = x2^2 - x1^2,
    //   A = (y3 - y1 - (y2 - y1)(x3 - x1)/d) / (x3^2 - x1^2 - q (x3 - x1)/d),
    //   B = (y2 - y1)/d - A q/d,   C = y1 - B x1 - A x1^2.
    // Degenerate points (equal abscissae) give a finite fit: A = 0 when the
    // curvature is undefined, and a constant y1 when the slope is too.
    static Quadratic fitThroughPoints(double x1, double y1, double x2, double y2, double x3, double y3);

    TTrendBlockFilter() = default;
    void setTrend(int channel, const Quadratic& trend);
    const Quadratic& trend(int channel) const { return m_trends[std::size_t(channel)]; }

    void filter(const TBlockPosition& position, const qint16* previous, const qint16* current, const qint16* next,
                int n, qint16* out) const override;

private:
    std::array<Quadratic, TSignal::MaxChannels> m_trends{};
};
