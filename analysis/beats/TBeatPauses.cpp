#include "analysis/beats/TBeatPauses.h"

#include <algorithm>

namespace TBeatPauses {

namespace {

// Calls `take(from, to)` for every pair of consecutive beats not split by a
// join.
template <typename Take>
void forEachRr(const std::vector<double>& beatTimes, const std::vector<TSignalGaps::Gap>& gaps, Take take)
{
    for (std::size_t beat = 1; beat < beatTimes.size(); ++beat) {
        const double from = beatTimes[beat - 1];
        const double to = beatTimes[beat];
        if (!TSignalGaps::joinBetween(gaps, from, to))
            take(from, to);
    }
}

} // namespace

std::vector<Pause> find(const std::vector<double>& beatTimes, const std::vector<TSignalGaps::Gap>& gaps)
{
    std::vector<Pause> pauses;
    forEachRr(beatTimes, gaps, [&pauses](double from, double to) {
        if (to - from >= MinimumSeconds)
            pauses.push_back(Pause{from, to - from});
    });
    return pauses;
}

double longestRr(const std::vector<double>& beatTimes, const std::vector<TSignalGaps::Gap>& gaps)
{
    double longest = 0.0;
    forEachRr(beatTimes, gaps, [&longest](double from, double to) { longest = std::max(longest, to - from); });
    return longest;
}

} // namespace TBeatPauses
