#include "analysis/TIntervalMeasures.h"

#include "analysis/TRounding.h"
#include "analysis/TSampleConversion.h"
#include "analysis/TWaveMarks.h"

#include <QString>

#include <cmath>

namespace {

double markValue(const TWaveMarks& marks, const char* name)
{
    const TWaveMark* mark = marks.find(QString::fromLatin1(name));
    return mark != nullptr ? mark->value() : 0.0;
}

int wholeMilliseconds(double milliseconds)
{
    return toSampleInt(truncateNearWhole(milliseconds));
}

} // namespace

TIntervalMeasures TIntervalMeasures::fromWaveMarks(const TWaveMarks& marks)
{
    TIntervalMeasures measures;
    const double pOnset = markValue(marks, "POnset");
    const double qrsOnset = markValue(marks, "QRSOnset");
    const double qrsOffset = markValue(marks, "QRSOffset");
    const double tOffset = markValue(marks, "TOffset");
    const double meanRr = markValue(marks, "avgRRInterval");
    if (pOnset == 0.0 || qrsOnset == 0.0 || qrsOffset == 0.0)
        return measures;
    measures.pr = wholeMilliseconds((qrsOnset - pOnset) * 1000.0);
    measures.qrs = wholeMilliseconds((qrsOffset - qrsOnset) * 1000.0);
    if (meanRr > 0.0)
        measures.rr = wholeMilliseconds(meanRr * 1000.0);
    if (tOffset == 0.0)
        return measures;
    const double qt = (tOffset - qrsOnset) * 1000.0;
    measures.qt = wholeMilliseconds(qt);
    if (meanRr > 0.0)
        measures.qtc = wholeMilliseconds(qt / std::sqrt(meanRr));
    return measures;
}
