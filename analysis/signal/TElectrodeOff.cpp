#include "analysis/signal/TElectrodeOff.h"

#include "analysis/signal/TLeadSet.h"
#include "analysis/signal/TWaveMarks.h"

#include <algorithm>

namespace TElectrodeOff {

namespace {

constexpr int ValuesPerInterval = 3;

bool covers(const Interval& interval, double time)
{
    return interval.start <= time && time <= interval.start + interval.seconds;
}

} // namespace

void add(TWaveMarks& results, int electrode, double start, double seconds)
{
    if (electrode < 0 || electrode >= TLeadSet::electrodeNames().size())
        return;
    TWaveMark* mark = results.find(QLatin1String(ResultName));
    if (mark == nullptr)
        mark = &results.insert(QLatin1String(ResultName), TWaveMark::ValueArray);
    QVector<double> values = mark->values();
    values << electrode << start << seconds;
    mark->setValues(values);
}

std::vector<Interval> of(const TWaveMarks& results)
{
    std::vector<Interval> intervals;
    const TWaveMark* mark = results.find(QLatin1String(ResultName));
    if (mark == nullptr || mark->kind() != TWaveMark::ValueArray)
        return intervals;
    const QVector<double>& values = mark->values();
    const QStringList& names = TLeadSet::electrodeNames();
    for (int at = 0; at + ValuesPerInterval <= values.size(); at += ValuesPerInterval) {
        const int electrode = int(values[at]);
        if (electrode >= 0 && electrode < names.size() && values[at + 2] > 0.0)
            intervals.push_back(Interval{names[electrode], values[at + 1], values[at + 2]});
    }
    return intervals;
}

QStringList offDuring(const std::vector<Interval>& intervals, const std::vector<double>& times, double share)
{
    QStringList off;
    if (times.empty())
        return off;
    for (const QString& electrode : TLeadSet::electrodeNames()) {
        const auto count = std::count_if(times.begin(), times.end(), [&](double time) {
            return std::any_of(intervals.begin(), intervals.end(), [&](const Interval& interval) {
                return interval.electrode == electrode && covers(interval, time);
            });
        });
        if (double(count) > share * double(times.size()))
            off << electrode;
    }
    return off;
}

} // namespace TElectrodeOff
