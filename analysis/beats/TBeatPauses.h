#pragma once

#include "analysis/signal/TSignalGaps.h"

#include <vector>

// Pauses of the rhythm: stretches of the recording without a beat, from one
// detected beat to the next. A sinus arrest or a block shows as a pause;
// the time across a join of the recording (TSignalGaps) is no pause, since
// the beats lost with the stream are unknown.
namespace TBeatPauses {

constexpr double MinimumSeconds = 2.0;

struct Pause
{
    double seconds;       // the beat before the pause
    double lengthSeconds; // to the beat after it
};

// The pauses of MinimumSeconds or more between consecutive beat times
// (seconds, ascending).
std::vector<Pause> find(const std::vector<double>& beatTimes, const std::vector<TSignalGaps::Gap>& gaps);
// The longest interval between consecutive beats not across a join; 0 with
// fewer than two beats.
double longestRr(const std::vector<double>& beatTimes, const std::vector<TSignalGaps::Gap>& gaps);

} // namespace TBeatPauses
