#include "analysis/detection/TLeadQrsDetector.h"

#include "analysis/detection/TScaleWindow.h"
#include "analysis/detection/TWaveRecordQueue.h"

#include <algorithm>
#include <cmath>

namespace {

// Scale factors of the thresholds on the RMS of each scale (2^1 .. 2^4).
constexpr double ThresholdFactors[4] = {1.0, 1.25, 1.25, 0.5};
constexpr double ThresholdSpan = 4.0;   // s of scale history behind the thresholds
constexpr double RecentSpan = 1.0;      // s that tell a transient gone from a size that grew
constexpr double MarkSpan = 10.0;       // s of marks kept on each side of the base
constexpr double Isolation = 0.15;      // s
constexpr double Refractory = 0.15;     // s
constexpr double GapLimit = 3.0;        // s
constexpr double LongRr = 1.4;          // mean RRs that start a search-back
constexpr double SearchBackFactor = 0.7;
// The search-back leaves out the T wave after the previous QRS and the P
// wave before the next: at 0.7 times the thresholds either passes for a
// QRS. Each zone is the physiological limit, shortened at fast rates to a
// share of the mean RR so that a missed beat stays inside the search.
constexpr double TWaveZone = 0.36;  // s
constexpr double TWaveZoneShare = 0.5;
constexpr double PWaveZone = 0.3;   // s
constexpr double PWaveZoneShare = 0.4;
constexpr double MeanRrWeight = 0.2;
// Scale 2^4's threshold at most, in typical QRS moduli of the lead, once a
// transient has passed.
constexpr double TypicalShareCeiling = 0.5;
constexpr double MeanRrLimit = 2.0;     // s; longer RRs leave the mean alone

// Indices closer than `seconds` (inclusive), truncated.
int within(double seconds, int rate)
{
    return int(std::floor(seconds * rate + 1e-9));
}

int samples(double seconds, int rate)
{
    return int(std::lround(seconds * rate));
}

int signOf(double value)
{
    return value > 0.0 ? 1 : value < 0.0 ? -1 : 0;
}

} // namespace

TLeadQrsDetector::TLeadQrsDetector(const TQrsDetectorParameters& parameters, int rate, int start)
    : m_rate(rate)
    , m_period(1.0 / rate)
    , m_halfWidth(int(parameters.scaleSearchHalfWidth * rate))
    , m_isolation(within(Isolation, rate))
    , m_redundancy(within(parameters.redundancyWindow, rate))
    , m_pairLimit(int(std::ceil(Refractory * rate - 1e-9)))
    , m_refractory(samples(Refractory, rate))
    , m_gapLimit(within(GapLimit, rate))
    , m_thresholdSpan(samples(ThresholdSpan, rate))
    , m_recentSpan(samples(RecentSpan, rate))
    , m_waveSearch(parameters, rate)
    , m_marks(samples(MarkSpan, rate))
    , m_meanRr(parameters.initialMeanRr)
    , m_lastProcessed(start)
{
    restart(start);
}

int TLeadQrsDetector::lookBehind() const
{
    return m_marks.span() + m_waveSearch.reachBefore() + 4;
}

void TLeadQrsDetector::restart(int start)
{
    m_marks.reset(start);
    m_isolatedEnd = m_redundantEnd = m_scanEnd = start;
    m_scanning = false;
    m_hasPrevious = false;
    m_searchedBack = false;
    m_searchBackEnd = start;
    m_previousWavesEnd = TLeadWaveSearch::NoEnd;
}

void TLeadQrsDetector::process(const TScaleWindow& scales, int start, int end, TWaveRecordQueue& records)
{
    if (start < m_lastProcessed || start - m_lastProcessed > m_gapLimit)
        restart(start);
    m_marks.moveTo(start);
    dropUncovered();
    computeThresholds(scales, end);
    markMaxima(scales, std::max(start, scales.validFrom()), end, 1.0, m_marks.firstCovered(), m_marks.endCovered());

    // Marks below `placed` can no longer change; a mark is cleaned once its
    // neighbourhood has been placed, and scanned once that is clean.
    const int placed = end - 2 * m_halfWidth;
    const int isolatedEnd = placed - m_isolation;
    settle(scales, isolatedEnd, isolatedEnd - m_redundancy, records);

    m_lastProcessed = end;
    m_marks.moveTo(end);
    dropUncovered();
}

void TLeadQrsDetector::finish(const TScaleWindow& scales, int end, TWaveRecordQueue& records)
{
    settle(scales, end, end, records);
    if (m_hasPrevious) {
        TLeadWaveRecord record = m_waveSearch.search(scales, m_previous, end, m_previousWavesEnd);
        record.strength = m_previousStrength;
        records.push(record);
    }
    m_hasPrevious = false;
    m_scanning = false;
}

void TLeadQrsDetector::settle(const TScaleWindow& scales, int isolatedEnd, int redundantEnd,
                              TWaveRecordQueue& records)
{
    if (isolatedEnd > m_isolatedEnd) {
        removeIsolated(m_isolatedEnd, isolatedEnd, m_marks.firstCovered(), m_marks.endCovered());
        m_isolatedEnd = isolatedEnd;
    }
    if (redundantEnd > m_redundantEnd) {
        removeRedundant(scales, m_redundantEnd, redundantEnd, m_marks.firstCovered(), m_marks.endCovered());
        m_redundantEnd = redundantEnd;
    }
    if (redundantEnd > m_scanEnd) {
        scan(scales, redundantEnd, records);
        m_scanEnd = redundantEnd;
    }
}

void TLeadQrsDetector::dropUncovered()
{
    const int first = m_marks.firstCovered();
    if (m_scanning && m_current < first)
        m_scanning = false;
    if (m_hasPrevious && m_previous < first) {
        m_hasPrevious = false;
        m_previousWavesEnd = TLeadWaveSearch::NoEnd;
    }
    m_isolatedEnd = std::max(m_isolatedEnd, first);
    m_redundantEnd = std::max(m_redundantEnd, first);
    m_scanEnd = std::max(m_scanEnd, first);
}

void TLeadQrsDetector::computeThresholds(const TScaleWindow& scales, int end)
{
    int from = end - m_thresholdSpan;
    int to = end;
    if (from < scales.validFrom()) {
        // Less than the span precedes `end`: use the first span of valid
        // values, as far as the window reaches ahead.
        from = scales.validFrom();
        to = std::min(from + m_thresholdSpan, scales.end());
    }
    const std::array<double, TScaleWindow::Levels> rms = scales.rms(from, to);
    for (int level = 1; level <= 4; ++level)
        m_thresholds[std::size_t(level - 1)] = ThresholdFactors[level - 1] * rms[std::size_t(level - 1)];
    // The thresholds follow the lead's QRSs, not a transient that dwarfs
    // them: a step, saturation or an electrode's pop would hold all four
    // far above the QRSs for as long as it stays within the span. Once it
    // has left the last second, they are lowered together until scale
    // 2^4's is half a typical QRS (a size that grew stays in the last
    // second, and keeps its thresholds).
    const double typical = typicalModulus();
    const double recent = ThresholdFactors[3] * scales.rms(std::max(from, to - m_recentSpan), to)[3];
    const double ceiling = std::max(TypicalShareCeiling * typical, recent);
    if (typical > 0.0 && m_thresholds[3] > ceiling) {
        const double factor = ceiling / m_thresholds[3];
        for (double& threshold : m_thresholds)
            threshold *= factor;
    }
}

bool TLeadQrsDetector::matchesAtLevel3(const TScaleWindow& scales, int index, int sign, double threshold) const
{
    const double value = scales.value(3, index);
    return signOf(value) == sign && std::fabs(value) >= threshold
        && (scales.isExtremum(3, index, 2) || scales.isExtremum(3, index, 3));
}

bool TLeadQrsDetector::matchesAtLevel2(const TScaleWindow& scales, int index, int sign, double threshold) const
{
    const double value = scales.value(2, index);
    return signOf(value) == sign && std::fabs(value) >= threshold
        && (scales.isExtremum(2, index, 2) || scales.isExtremum(2, index, 3) || scales.isExtremum(2, index, 4));
}

void TLeadQrsDetector::markMaxima(const TScaleWindow& scales, int from, int to, double factor, int lo, int hi)
{
    const double threshold4 = factor * m_thresholds[3];
    const double threshold3 = factor * m_thresholds[2];
    const double threshold2 = factor * m_thresholds[1];
    for (int e = from; e < to; ++e) {
        const double value = scales.value(4, e);
        if (value == 0.0 || std::fabs(value) < threshold4 || !scales.isExtremum(4, e, 2))
            continue;
        const int sign = signOf(value);
        for (int j = e - m_halfWidth; j <= e + m_halfWidth; ++j) {
            if (!matchesAtLevel3(scales, j, sign, threshold3))
                continue;
            for (int k = std::max(lo, j - m_halfWidth); k <= std::min(hi - 1, j + m_halfWidth); ++k) {
                if (matchesAtLevel2(scales, k, sign, threshold2))
                    m_marks.set(k, sign);
            }
        }
    }
}

void TLeadQrsDetector::removeIsolated(int from, int to, int lo, int hi)
{
    for (int m = m_marks.next(from, to); m < to; m = m_marks.next(m + 1, to)) {
        const int opposite = -m_marks.at(m);
        bool paired = false;
        for (int k = std::max(lo, m - m_isolation); k < std::min(hi, m + m_isolation + 1) && !paired; ++k)
            paired = m_marks.at(k) == opposite;
        if (!paired)
            m_marks.clear(m);
    }
}

void TLeadQrsDetector::removeRedundant(const TScaleWindow& scales, int from, int to, int lo, int hi)
{
    for (int j = m_marks.next(from, to); j < to; j = m_marks.next(j + 1, to)) {
        const int sign = m_marks.at(j);
        const double strength = std::fabs(scales.value(3, j));
        for (int k = std::max(lo, j - m_redundancy); k < std::min(hi, j + m_redundancy + 1); ++k) {
            if (k == j || m_marks.at(k) != sign)
                continue;
            if (strength < std::fabs(scales.value(3, k))) {
                m_marks.clear(j);
                break;
            }
            m_marks.clear(k);
        }
    }
}

void TLeadQrsDetector::scan(const TScaleWindow& scales, int end, TWaveRecordQueue& records)
{
    for (int mark = m_marks.next(m_scanEnd, end); mark < end;) {
        const int sign = m_marks.at(mark);
        int nextFrom = mark + 1;
        if (!m_scanning || sign == m_currentSign || mark - m_current >= m_pairLimit) {
            // A new mark to pair; one that cannot pair is dropped.
            if (m_scanning)
                m_marks.clear(m_current);
            m_scanning = true;
            m_current = mark;
            m_currentSign = sign;
        } else {
            const int position = qrsPosition(scales, m_current, mark);
            const double rr = (position - m_previous) * m_period;
            m_scanning = false;
            if (m_hasPrevious && rr > 0.0 && rr < Refractory) {
                m_marks.clear(m_current);
                m_marks.clear(mark);
            } else if (m_hasPrevious && rr > LongRr * m_meanRr && !m_searchedBack) {
                searchBack(scales, position);
                nextFrom = m_previousPairEnd + 1;
            } else {
                accept(scales, position, mark, records);
            }
        }
        mark = m_marks.next(nextFrom, end);
    }
}

int TLeadQrsDetector::qrsPosition(const TScaleWindow& scales, int first, int second) const
{
    for (int k = first + 1; k < second; ++k) {
        const double value = scales.value(2, k);
        if (m_currentSign > 0 ? value < 0.0 : value > 0.0)
            return k;
    }
    return (first + second) / 2;
}

void TLeadQrsDetector::searchBack(const TScaleWindow& scales, int position)
{
    const int tZone = samples(std::min(TWaveZone, TWaveZoneShare * m_meanRr), m_rate);
    const int pZone = samples(std::min(PWaveZone, PWaveZoneShare * m_meanRr), m_rate);
    const int from = m_previous + std::max(m_refractory, tZone);
    const int end = position - std::max(m_refractory, pZone) + 1;
    m_searchBackEnd = end;
    if (from < end) {
        markMaxima(scales, from, end, SearchBackFactor, from, end);
        removeIsolated(from, end, from, end);
        removeRedundant(scales, from, end, from, end);
    }
    m_searchedBack = true;
    ++m_searchBacks;
}

double TLeadQrsDetector::typicalModulus() const
{
    if (m_moduliCount == 0)
        return 0.0;
    std::array<float, ModuliKept> sorted;
    std::copy_n(m_moduli.begin(), m_moduliCount, sorted.begin());
    // The lower quartile: in bigeminy the ectopic beats, often far larger,
    // must not make the lead's own normal beats look small.
    std::nth_element(sorted.begin(), sorted.begin() + m_moduliCount / 4, sorted.begin() + m_moduliCount);
    return sorted[std::size_t(m_moduliCount / 4)];
}

// The QRS's modulus over the typical one, which then takes it in.
float TLeadQrsDetector::strength(const TScaleWindow& scales, int position)
{
    double modulus = 0.0;
    for (int k = position - m_halfWidth; k <= position + m_halfWidth; ++k)
        modulus = std::max(modulus, std::fabs(scales.value(4, k)));
    const double typical = typicalModulus();
    m_moduli[std::size_t(m_moduliNext)] = float(modulus);
    m_moduliNext = (m_moduliNext + 1) % ModuliKept;
    m_moduliCount = std::min(m_moduliCount + 1, ModuliKept);
    return typical > 0.0 ? float(modulus / typical) : 1.0f;
}

void TLeadQrsDetector::accept(const TScaleWindow& scales, int position, int pairEnd, TWaveRecordQueue& records)
{
    if (m_hasPrevious) {
        TLeadWaveRecord record = m_waveSearch.search(scales, m_previous, position, m_previousWavesEnd);
        record.strength = m_previousStrength;
        records.push(record);
        const double rr = (position - m_previous) * m_period;
        if (rr > Refractory && rr < MeanRrLimit)
            m_meanRr = (1.0 - MeanRrWeight) * m_meanRr + MeanRrWeight * rr;
    }
    m_previousStrength = strength(scales, position);
    m_hasPrevious = true;
    m_previous = position;
    m_previousPairEnd = pairEnd;
    // A QRS the search-back found is not searched back from again: its
    // weaker thresholds already had their chance over that stretch.
    m_searchedBack = position < m_searchBackEnd;
}
