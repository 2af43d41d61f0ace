#include "analysis/detection/TLeadWaveSearch.h"

#include "analysis/detection/TScaleWindow.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int QrsLevel = 2;
constexpr int WaveLevel = 4;
// Maxima are extrema at spacing 2 or 3.
constexpr int FirstSpacing = 2;
constexpr int LastSpacing = 3;
// A Q or S slope must exceed this share of the neighbouring main slope.
constexpr double SideWaveShare = 0.1;
// P and T maxima must exceed this share of the QRS's strength at 2^4.
constexpr double WaveShare = 0.04;
// The two slopes of a P or T wave are of similar strength: the weaker must
// reach this share of the stronger.
constexpr double PartnerShare = 0.3;
// A T wave is about twice as wide as a P wave: its maxima may lie twice the
// pair span from its crossing.
constexpr int TWaveSpan = 2;

int samples(double seconds, int rate)
{
    return int(std::lround(seconds * rate));
}

int truncated(double seconds, int rate)
{
    return int(seconds * rate);
}

int signOf(double value)
{
    return value > 0.0 ? 1 : value < 0.0 ? -1 : 0;
}

// A negative slope maximum first means the wave rises first: upright.
qint16 polarityOf(double firstMaximum)
{
    return firstMaximum < 0.0 ? 1 : -1;
}

} // namespace

TLeadWaveSearch::TLeadWaveSearch(const TQrsDetectorParameters& parameters, int rate)
    : m_searchPAndT(parameters.searchPAndT)
    , m_qrsReach(truncated(0.1, rate))
    , m_sideReach(truncated(0.05, rate))
    , m_sideMargin(samples(0.005, rate))
    , m_mainMargin(samples(0.04, rate))
    , m_pSpan(samples(parameters.pSearchSpan, rate))
    , m_pairSpan(samples(parameters.wavePairSpan, rate))
    , m_gap(samples(parameters.waveGap, rate))
    , m_pBound(samples(0.01, rate))
    , m_tBound(samples(0.02, rate))
{
}

int TLeadWaveSearch::reachBefore() const
{
    // QRS window, Q slope search and onset margin, then gap and P window.
    return m_qrsReach + m_sideReach + m_mainMargin + m_gap + m_pSpan + LastSpacing;
}

TLeadWaveSearch::Maximum TLeadWaveSearch::strongest(const TScaleWindow& scales, int level, int from, int to,
                                                    int sign, double floor)
{
    Maximum best;
    for (int index = from; index <= to; ++index) {
        const double value = scales.value(level, index);
        if (std::fabs(value) <= std::max(floor, std::fabs(best.value)))
            continue;
        if ((sign == 0 || signOf(value) == sign) && scales.isModulusMaximum(level, index, FirstSpacing, LastSpacing))
            best = {index, value};
    }
    return best;
}

TLeadWaveRecord TLeadWaveSearch::search(const TScaleWindow& scales, int position, int next, int& wavesEnd) const
{
    TLeadWaveRecord record;
    record.qrs = position;
    const int earliest = wavesEnd;
    wavesEnd = NoEnd;
    if (!searchQrs(scales, record))
        return record;
    wavesEnd = record.qrsOffset + m_gap;
    if (!m_searchPAndT)
        return record;
    const double threshold = WaveShare * qrsStrength(scales, record);
    searchP(scales, record, earliest, threshold);
    const int tEnd = searchT(scales, record, next, threshold);
    if (tEnd != NoEnd)
        wavesEnd = tEnd + m_pBound;
    return record;
}

bool TLeadWaveSearch::searchQrs(const TScaleWindow& scales, TLeadWaveRecord& record) const
{
    const int from = record.qrs - m_qrsReach;
    const int to = record.qrs + m_qrsReach;
    const Maximum rise = strongest(scales, QrsLevel, from, to, -1, 0.0);
    const Maximum fall = strongest(scales, QrsLevel, from, to, 1, 0.0);
    if (!rise.isFound() || !fall.isFound())
        return false;
    const Maximum& first = rise.index < fall.index ? rise : fall;
    const Maximum& last = rise.index < fall.index ? fall : rise;
    record.qrsPolarity = polarityOf(first.value);
    record.mainQrs = scales.zeroCrossing(QrsLevel, first.index, last.index);

    const Maximum q = strongest(scales, QrsLevel, first.index - m_sideReach, first.index - 1, -signOf(first.value),
                                SideWaveShare * std::fabs(first.value));
    record.firstQrs = q.isFound() ? scales.zeroCrossing(QrsLevel, q.index, first.index) : record.mainQrs;
    record.qrsOnset = q.isFound() ? q.index - m_sideMargin : first.index - m_mainMargin;

    const Maximum s = strongest(scales, QrsLevel, last.index + 1, last.index + m_sideReach, -signOf(last.value),
                                SideWaveShare * std::fabs(last.value));
    record.lastQrs = s.isFound() ? scales.zeroCrossing(QrsLevel, last.index, s.index) : record.mainQrs;
    record.qrsOffset = s.isFound() ? s.index + m_sideMargin : last.index + m_mainMargin;
    return true;
}

double TLeadWaveSearch::qrsStrength(const TScaleWindow& scales, const TLeadWaveRecord& record)
{
    double strength = 0.0;
    for (int index = record.qrsOnset; index <= record.qrsOffset; ++index)
        strength = std::max(strength, std::fabs(scales.value(WaveLevel, index)));
    return strength;
}

bool TLeadWaveSearch::wavePair(const TScaleWindow& scales, int from, int to, int partnerTo, int span,
                               double threshold, Maximum& first, Maximum& second)
{
    const Maximum main = strongest(scales, WaveLevel, from, to, 0, threshold);
    if (!main.isFound())
        return false;
    const int reach = 2 * span;
    const Maximum partner = strongest(scales, WaveLevel, std::max(from, main.index - reach),
                                      std::min(partnerTo, main.index + reach), -signOf(main.value),
                                      std::max(threshold, PartnerShare * std::fabs(main.value)));
    if (!partner.isFound())
        return false;
    first = main.index < partner.index ? main : partner;
    second = main.index < partner.index ? partner : main;
    const int crossing = scales.zeroCrossing(WaveLevel, first.index, second.index);
    return crossing - first.index <= span && second.index - crossing <= span;
}

void TLeadWaveSearch::searchP(const TScaleWindow& scales, TLeadWaveRecord& record, int earliest,
                              double threshold) const
{
    const int to = record.qrsOnset - m_gap - 1;
    const int from = std::max(earliest, to + 1 - m_pSpan);
    Maximum first, second;
    if (from > to || !wavePair(scales, from, to, record.qrsOnset - 1, m_pairSpan, threshold, first, second))
        return;
    record.p = scales.zeroCrossing(WaveLevel, first.index, second.index);
    record.pPolarity = polarityOf(first.value);
    record.pStart = first.index - m_pBound;
    record.pEnd = second.index + m_pBound;
}

int TLeadWaveSearch::searchT(const TScaleWindow& scales, TLeadWaveRecord& record, int next, double threshold) const
{
    const int from = record.qrsOffset + m_gap;
    const int to = next - std::min(m_pSpan, (next - record.qrs) / 4) - 1;
    Maximum first, second;
    if (from > to || !wavePair(scales, from, to, to, TWaveSpan * m_pairSpan, threshold, first, second))
        return NoEnd;
    record.t = scales.zeroCrossing(WaveLevel, first.index, second.index);
    record.tPolarity = polarityOf(first.value);
    record.tStart = record.t - m_tBound;
    record.tEnd = record.t + m_tBound;
    return second.index;
}
