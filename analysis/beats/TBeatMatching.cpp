#include "analysis/beats/TBeatMatching.h"

#include <algorithm>
#include <cmath>

namespace {

double percent(long part, long whole)
{
    return whole > 0 ? 100.0 * double(part) / double(whole) : 0.0;
}

} // namespace

TBeatMatching TBeatMatching::match(const std::vector<double>& reference, const std::vector<double>& detected,
                                   double window)
{
    std::vector<bool> used(detected.size(), false);
    TBeatMatching result;
    for (const double beat : reference) {
        std::ptrdiff_t best = -1;
        for (auto at = std::lower_bound(detected.begin(), detected.end(), beat - window);
             at != detected.end() && *at <= beat + window; ++at) {
            const std::ptrdiff_t index = at - detected.begin();
            if (!used[std::size_t(index)]
                && (best < 0 || std::fabs(*at - beat) < std::fabs(detected[std::size_t(best)] - beat)))
                best = index;
        }
        if (best >= 0) {
            used[std::size_t(best)] = true;
            ++result.truePositives;
        }
    }
    result.falseNegatives = long(reference.size()) - result.truePositives;
    result.falsePositives = long(detected.size()) - result.truePositives;
    return result;
}

void TBeatMatching::add(const TBeatMatching& other)
{
    truePositives += other.truePositives;
    falseNegatives += other.falseNegatives;
    falsePositives += other.falsePositives;
}

double TBeatMatching::sensitivity() const
{
    return percent(truePositives, truePositives + falseNegatives);
}

double TBeatMatching::positivePredictivity() const
{
    return percent(truePositives, truePositives + falsePositives);
}
