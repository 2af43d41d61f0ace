#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class TWaveMarks;

// Where electrodes lost contact while a study was recorded, kept in the
// study's results as the value array "electrodesOff": three values per
// interval, the electrode's position among "LA", "LL", "RA", "V1" ... "V6",
// the interval's start in the study signal and its length (seconds). A
// study recorded with every electrode on has no such result.
namespace TElectrodeOff {

constexpr const char* ResultName = "electrodesOff";
// Share of the averaged beats above which an electrode off makes the leads
// it feeds count as missing.
constexpr double MissingShare = 0.1;

struct Interval
{
    QString electrode;
    double start;   // seconds in the study signal
    double seconds; // how long it lasted
};

// Records an interval, creating the result on the first one. Positions
// outside the nine electrodes are ignored.
void add(TWaveMarks& results, int electrode, double start, double seconds);
// The intervals in the order they were recorded; none without the result.
std::vector<Interval> of(const TWaveMarks& results);
// The electrodes, in the order of their names, that were off at more than
// `share` of the given times (seconds in the study signal).
QStringList offDuring(const std::vector<Interval>& intervals, const std::vector<double>& times,
                      double share = MissingShare);

} // namespace TElectrodeOff
