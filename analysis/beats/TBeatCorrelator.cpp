#include "analysis/beats/TBeatCorrelator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double MinimumNorm = 1e-6;
// Lags whose sums are formed side by side: a few vectors of lanes, one lag
// per lane, whose additions do not wait for one another.
constexpr int LanesPerVector = 4;
constexpr int Vectors = 4;
constexpr int LagsAtOnce = LanesPerVector * Vectors;
using Lanes = double __attribute__((vector_size(LanesPerVector * sizeof(double))));

// sums[k] = sum over j of beat[j] x padded[j + k], j ascending as for a
// single lag, the LagsAtOnce lags side by side.
[[gnu::target_clones("avx2", "default")]] void correlateLags(const double* beat, const double* padded, int length,
                                                             double* sums)
{
    Lanes lanes[Vectors] = {};
    for (int j = 0; j < length; ++j) {
        for (int v = 0; v < Vectors; ++v) {
            Lanes reference;
            std::memcpy(&reference, padded + j + v * LanesPerVector, sizeof reference);
            lanes[v] += beat[j] * reference;
        }
    }
    std::memcpy(sums, lanes, sizeof lanes);
}

} // namespace

TBeatCorrelator::TBeatCorrelator(int segmentLength, int centre, int halfWidth)
    : m_segmentLength(segmentLength)
    , m_centre(centre)
    , m_halfWidth(std::max(0, halfWidth))
    , m_padded(std::size_t(3 * windowLength() + LagsAtOnce), 0.0)
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
    // Index m of the full correlation pairs beat sample j with reference
    // sample j + m - (length - 1). Against the zero-padded reference every
    // lag sums over every j: the products with padding add nothing, so
    // each sum is the one over the overlap alone.
    std::copy_n(referenceWindow, length, m_padded.begin() + length);
    Match best{0.0, 0};
    bool found = false;
    double sums[LagsAtOnce];
    for (int first = 0; first < 2 * length - 1; first += LagsAtOnce) {
        correlateLags(beatWindow, m_padded.data() + first + 1, length, sums);
        for (int k = 0; k < LagsAtOnce && first + k < 2 * length - 1; ++k) {
            if (!found || sums[k] > best.correlation) {
                best = Match{sums[k], first + k - (length - 1)};
                found = true;
            }
        }
    }
    return best;
}
