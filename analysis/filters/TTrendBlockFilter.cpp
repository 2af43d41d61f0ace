#include "analysis/filters/TTrendBlockFilter.h"

#include "analysis/signal/TSampleConversion.h"

#include <cmath>

TTrendBlockFilter::Quadratic TTrendBlockFilter::fitThroughPoints(double x1, double y1, double x2, double y2,
                                                                  double x3, double y3)
{
    Quadratic q;
    const double d = x2 - x1;
    if (d == 0.0) {
        q.c = y1;
        return q;
    }
    const double sq = x2 * x2 - x1 * x1;
    const double denominator = x3 * x3 - x1 * x1 - sq * (x3 - x1) / d;
    q.a = denominator != 0.0 ? (y3 - y1 - (y2 - y1) * (x3 - x1) / d) / denominator : 0.0;
    if (!std::isfinite(q.a))
        q.a = 0.0;
    q.b = (y2 - y1) / d - q.a * sq / d;
    q.c = y1 - q.b * x1 - q.a * x1 * x1;
    return q;
}

void TTrendBlockFilter::setTrend(int channel, const Quadratic& trend)
{
    if (channel >= 0 && channel < TSignal::MaxChannels)
        m_trends[std::size_t(channel)] = trend;
}

void TTrendBlockFilter::filter(const TBlockPosition& position, const qint16*, const qint16* current, const qint16*,
                               int n, qint16* out) const
{
    const Quadratic& trend = m_trends[std::size_t(position.channel)];
    const qint64 first = qint64(position.blockNumber) * n;
    for (int i = 0; i < n; ++i) {
        const qint64 t = first + i;
        if (current == nullptr || t >= position.sourceAppendedCount) {
            out[i] = 0;
            continue;
        }
        out[i] = toSample16(current[i] - trend.at(double(t)));
    }
}
