#include "analysis/beats/TWaveDelineator.h"

#include "analysis/beats/TDelineationTables.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/signal/TWaveMarks.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int ReducedRate = 250;

// Slope of a smoothed beat at j: b[j + 1] - b[j - 1] (0 at the ends).
double slopeAt(const std::vector<double>& b, int j)
{
    if (j < 1 || j + 1 >= int(b.size()))
        return 0.0;
    return b[std::size_t(j + 1)] - b[std::size_t(j - 1)];
}

// From `from` downward while j > stop and keepGoing(j): the j where it stops.
template <typename Predicate>
int walkDown(int from, int stop, Predicate keepGoing)
{
    int j = from;
    while (j > stop && keepGoing(j))
        --j;
    return j;
}

// The first j in [from, limit) where accept(j), or 0.
template <typename Predicate>
int walkUp(int from, int limit, Predicate accept)
{
    for (int j = from; j < limit; ++j) {
        if (accept(j))
            return j;
    }
    return 0;
}

// The largest positive and the most negative slope of a search range
// [start, end), at their first indices, with the thresholds (0.8 of each
// magnitude) that the boundary walks use.
struct Slopes
{
    int rise = -1;
    int fall = -1;
    double riseLimit = 0.0;
    double fallLimit = 0.0;

    bool found() const { return rise >= 0 && fall >= 0; }
};

Slopes steepestSlopes(const std::vector<double>& smoothed, int start, int end)
{
    Slopes slopes;
    double largest = 0.0;
    double smallest = 0.0;
    for (int j = start; j < end; ++j) {
        const double slope = slopeAt(smoothed, j);
        if (slope > largest) {
            largest = slope;
            slopes.rise = j;
        }
        if (slope < smallest) {
            smallest = slope;
            slopes.fall = j;
        }
    }
    slopes.riseLimit = 0.8 * largest;
    slopes.fallLimit = -0.8 * smallest;
    return slopes;
}

// The walks from the steepest slopes of a wave (upright when the rise comes
// first). onset: down from the leading slope while it stays steep, stopping
// at onsetStop; offset: up from the trailing slope to the first sample
// where it is no longer steep, before offsetLimit (0 when none); top: down
// from the trailing slope to the top (or, inverted, the bottom) of the
// smoothed wave, stopping at `start`.
struct WaveWalk
{
    bool upright;
    int onset;
    int offset;
    int top;
};

WaveWalk walkWave(const std::vector<double>& b, const Slopes& slopes, int start, int onsetStop, int offsetLimit)
{
    const bool upright = slopes.rise < slopes.fall;
    const int leading = upright ? slopes.rise : slopes.fall;
    const int trailing = upright ? slopes.fall : slopes.rise;
    const auto steep = [&](int j, bool rise) {
        return rise ? slopeAt(b, j) > slopes.riseLimit : -slopeAt(b, j) > slopes.fallLimit;
    };
    WaveWalk walk{upright, 0, 0, 0};
    walk.onset = walkDown(leading, onsetStop, [&](int j) { return steep(j, upright); });
    walk.offset = walkUp(trailing, offsetLimit, [&](int j) { return !steep(j, !upright); });
    walk.top = walkDown(trailing, start, [&](int j) {
        const double before = b[std::size_t(j - 1)];
        const double at = b[std::size_t(j)];
        return upright ? before > at : at > before;
    });
    return walk;
}

} // namespace

void TWaveDelineation::storeInto(TWaveMarks& marks, int samplingRate, int centre) const
{
    const std::pair<const char*, int> entries[] = {
        {"POnset", pOnset},       {"POffset", pOffset}, {"PPeak", pPeak},     {"QRSOnset", qrsOnset},
        {"QRSOffset", qrsOffset}, {"TOnset", tOnset},   {"TOffset", tOffset},
    };
    for (const auto& [name, index] : entries) {
        if (TWaveMark* mark = marks.find(QString::fromLatin1(name)))
            mark->setValue(index != 0 && samplingRate > 0 ? double(index - centre) / samplingRate : 0.0);
    }
}

TWaveDelineation TWaveDelineator::delineate(const TLiveBeatAverager& averager, int lead)
{
    const int rate = averager.samplingRate();
    TWaveDelineation result = delineate(averager.average(lead), rate, averager.centre(), int(0.75 * rate));
    result.lead = lead;
    return result;
}

TWaveDelineation TWaveDelineator::delineate(const std::vector<double>& beat, int samplingRate, int centre, int window)
{
    TWaveDelineation result;
    if (beat.empty())
        return result;
    const auto [lowest, highest] = std::minmax_element(beat.begin(), beat.end());
    if (*highest - *lowest < MinimumPeakToPeak)
        return result;

    const int factor = std::max(1, samplingRate / ReducedRate);
    m_x.assign(beat.size() / std::size_t(factor), 0.0);
    for (std::size_t k = 0; k < m_x.size(); ++k) {
        for (int i = 0; i < factor; ++i)
            m_x[k] += beat[k * std::size_t(factor) + std::size_t(i)];
        m_x[k] /= factor;
    }
    const int c = centre / factor;
    const int w = window / factor;

    result.qrsOnset = qrsOnset(c);
    if (result.qrsOnset == 0)
        return result;
    result.qrsOffset = qrsOffset(result.qrsOnset, c);
    findP(result.qrsOnset, w, result);
    if (result.qrsOffset != 0)
        findT(result.qrsOffset, w, result);

    for (int* index : {&result.pOnset, &result.pPeak, &result.pOffset, &result.qrsOnset, &result.qrsOffset,
                       &result.tOnset, &result.tPeak, &result.tOffset})
        *index *= factor;
    return result;
}

// max - min of x[k - 2 .. k + 1]; callers keep 2 <= k < n - 1.
double TWaveDelineator::localRange(int k) const
{
    const auto [lowest, highest] = std::minmax_element(m_x.begin() + (k - 2), m_x.begin() + (k + 2));
    return *highest - *lowest;
}

// Walking back from the centre, the first sample whose local range falls
// below 1 % of the QRS amplitude (else 2 %, else 5 %); 0 when none does.
int TWaveDelineator::qrsOnset(int centre) const
{
    const int n = int(m_x.size());
    // Local ranges exist for 5 <= k < n - 5; the amplitude spans those
    // with centre - 60 < k < centre + 60.
    const int first = std::max(centre - 59, 5);
    const int last = std::min(centre + 59, n - 6);
    if (first > last)
        return 0;
    const auto [lowest, highest] = std::minmax_element(m_x.begin() + (first - 2), m_x.begin() + (last + 2));
    const double amplitude = *highest - *lowest;
    for (double fraction : {0.01, 0.02, 0.05}) {
        for (int k = std::min(centre - 2, n - 6); k > 5; --k) {
            if (localRange(k) < fraction * amplitude)
                return k;
        }
    }
    return 0;
}

// Between 20 and 49 samples after the onset (and at least 5 after the
// centre), the sample of the smoothed beat after which it changes least
// compared with how much it changed over the 10 samples before.
int TWaveDelineator::qrsOffset(int onset, int centre) const
{
    const int n = int(m_x.size());
    if (onset >= n - 75)
        return 0;
    const std::vector<double> s = TDelineationTables::smoothCentred(TDelineationTables::qrsOffset(), m_x);
    int best = 0;
    double bestRatio = 0.0;
    for (int r = std::max({onset + 20, centre + 5, 10}); r <= onset + 49 && r + 15 < n; ++r) {
        double before = 0.0;
        for (int i = r - 10; i < r; ++i)
            before += std::fabs(s[std::size_t(i)] - s[std::size_t(r)]);
        double after = 0.0;
        for (int j = r + 1; j <= r + 15; ++j)
            after += std::fabs(s[std::size_t(j)] - s[std::size_t(r)]);
        const double ratio = before / (10.0 + after);
        if (best == 0 || ratio > bestRatio) {
            best = r;
            bestRatio = ratio;
        }
    }
    return best;
}

// The first largest (or smallest) x within 5 samples of `around`.
int TWaveDelineator::peakIndex(int around, bool largest) const
{
    const int first = std::max(0, around - 5);
    const int last = std::min(int(m_x.size()) - 1, around + 5);
    int best = first;
    for (int i = first + 1; i <= last; ++i) {
        const double value = m_x[std::size_t(i)];
        if (largest ? value > m_x[std::size_t(best)] : value < m_x[std::size_t(best)])
            best = i;
    }
    return best;
}

// P wave: between the steepest rise and fall of the beat (relative to its
// value at the QRS onset, smoothed by the P table) in the search range
// before the QRS onset; the onset must lie above the range start.
void TWaveDelineator::findP(int qrsOnset, int window, TWaveDelineation& result) const
{
    int start = qrsOnset - window / 2;
    if (start < 11)
        start = 10;
    const int end = qrsOnset - 10;
    if (start >= end)
        return;
    std::vector<double> y(m_x);
    for (double& v : y)
        v -= m_x[std::size_t(qrsOnset)];
    const std::vector<double> b = TDelineationTables::smoothCentred(TDelineationTables::pWave(), y);
    const Slopes slopes = steepestSlopes(b, start, end);
    if (!slopes.found())
        return;
    const WaveWalk walk = walkWave(b, slopes, start, start, qrsOnset - 5);
    result.pOnset = walk.onset > start ? walk.onset : 0;
    result.pOffset = walk.offset;
    result.pPeak = peakIndex(walk.top, walk.upright);
}

// T wave: the same on the beat smoothed by the T table, in the search
// range after the QRS offset; the onset walk stops 10 samples after the
// offset, and the peak is given up when its walk reaches the range start.
void TWaveDelineator::findT(int qrsOffset, int window, TWaveDelineation& result) const
{
    const int start = qrsOffset + 20;
    const int end = std::min(qrsOffset + window / 2, int(m_x.size()) - 10);
    if (start >= end)
        return;
    const std::vector<double> b = TDelineationTables::smoothCentred(TDelineationTables::tWave(), m_x);
    const Slopes slopes = steepestSlopes(b, start, end);
    if (!slopes.found())
        return;
    const WaveWalk walk = walkWave(b, slopes, start, qrsOffset + 10, end);
    result.tOnset = walk.onset;
    result.tOffset = walk.offset;
    if (walk.top > start)
        result.tPeak = peakIndex(walk.top, walk.upright);
}
