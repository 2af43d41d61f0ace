#include "analysis/signal/TSignalGaps.h"

#include "analysis/signal/TWaveMarks.h"

#include <algorithm>

namespace TSignalGaps {

void add(TWaveMarks& results, double seconds, double lostSeconds)
{
    TWaveMark* gaps = results.find(QLatin1String(ResultName));
    if (gaps == nullptr)
        gaps = &results.insert(QLatin1String(ResultName), TWaveMark::Trend);
    gaps->appendPoint(seconds, lostSeconds);
}

std::vector<Gap> of(const TWaveMarks& results)
{
    std::vector<Gap> gaps;
    const TWaveMark* mark = results.find(QLatin1String(ResultName));
    if (mark == nullptr || mark->kind() != TWaveMark::Trend)
        return gaps;
    for (int point = 0; point < mark->pointCount(); ++point)
        gaps.push_back(Gap{mark->timestamp(point), mark->pointValue(point)});
    return gaps;
}

bool joinBetween(const std::vector<Gap>& gaps, double from, double to)
{
    return std::any_of(gaps.begin(), gaps.end(), [from, to](const Gap& gap) { return from < gap.seconds && gap.seconds < to; });
}

} // namespace TSignalGaps
