#include "analysis/TBeatCorrelator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double MinimumNorm = 1e-6;

} // namespace

TBeatCorrelator::TBeatCorrelator(int segmentLength, int centre, int halfWidth)
    : m_segmentLength(segmentLength)
    , m_centre(centre)
    , m_halfWidth(std::max(0, halfWidth))
{
}

void TBeatCorrelator::centreWindow(const double* segment, double* window) const
{
    const int length = windowLength();
    const int first = m_centre - m_halfWidth;
    double energy = 0.0;
    for (int i = 0; i < length; ++i) {
        const int at = first + i;
        window[i] = at >= 0 && at < m_segmentLength ? segment[at] : 0.0;
        energy += window[i] * window[i];
    }
    const double norm = std::sqrt(energy);
    if (norm < MinimumNorm)
        return;
    for (int i = 0; i < length; ++i)
        window[i] /= norm;
}

TBeatCorrelator::Match TBeatCorrelator::match(const double* beatWindow, const double* referenceWindow) const
{
    const int length = windowLength();
    Match best{0.0, 0};
    bool found = false;
    // Index m of the full correlation pairs beat sample j with reference
    // sample j + m - (length - 1).
    for (int m = 0; m < 2 * length - 1; ++m) {
        const int lag = m - (length - 1);
        double sum = 0.0;
        for (int j = std::max(0, -lag); j < std::min(length, length - lag); ++j)
            sum += beatWindow[j] * referenceWindow[j + lag];
        if (!found || sum > best.correlation) {
            best = Match{sum, lag};
            found = true;
        }
    }
    return best;
}
