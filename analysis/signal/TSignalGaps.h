#pragma once

#include <vector>

class TWaveMarks;

// Where a recording was joined across a loss of the device's stream (a
// stall, a vanished device). The study signal holds no sample of the lost
// time, so each join is kept in the study's results as the trend
// "signalGaps": one point per join, its time in the study signal (seconds)
// and the seconds lost there. The displays and the report mark the joins;
// a study without gaps has no such result.
namespace TSignalGaps {

constexpr const char* ResultName = "signalGaps";

struct Gap
{
    double seconds;      // time of the join in the study signal
    double lostSeconds;  // about how long the stream was lost
};

// Records a join, creating the result on the first one.
void add(TWaveMarks& results, double seconds, double lostSeconds);
// The joins in the order they were recorded; none without the result.
std::vector<Gap> of(const TWaveMarks& results);
// Whether a join lies between two times of the study signal: the time
// between two beats across it is no RR interval.
bool joinBetween(const std::vector<Gap>& gaps, double from, double to);

} // namespace TSignalGaps
