#include "analysis/beats/TIntervalMeasures.h"

#include "analysis/beats/TMultiLeadDelineator.h"
#include "analysis/signal/TRounding.h"
#include "analysis/signal/TSampleConversion.h"
#include "analysis/signal/TWaveMarks.h"

#include <QString>

#include <cmath>

namespace {

double markValue(const TWaveMarks& marks, const char* name)
{
    const TWaveMark* mark = marks.find(QString::fromLatin1(name));
    return mark != nullptr ? mark->value() : 0.0;
}

// The boundary found over all leads (0 when it was not found); the
// displayed lead's mark for results stored before those boundaries were.
double boundary(const TWaveMarks& marks, const char* name)
{
    if (const TWaveMark* found = marks.find(QString::fromLatin1(TMultiLeadBoundaries::resultBeside(name))))
        return found->value();
    return markValue(marks, name);
}

int wholeMilliseconds(double milliseconds)
{
    return toSampleInt(truncateNearWhole(milliseconds));
}

} // namespace

TIntervalMeasures TIntervalMeasures::fromWaveMarks(const TWaveMarks& marks)
{
    TIntervalMeasures measures;
    const double pOnset = boundary(marks, "POnset");
    const double qrsOnset = boundary(marks, "QRSOnset");
    const double qrsOffset = boundary(marks, "QRSOffset");
    const double tOffset = boundary(marks, "TOffset");
    const double meanRr = markValue(marks, "avgRRInterval");
    if (meanRr > 0.0)
        measures.rr = wholeMilliseconds(meanRr * 1000.0);
    if (qrsOnset == 0.0)
        return measures;
    // Each interval needs only its own boundaries: a beat without a P wave
    // (atrial fibrillation or flutter) still has its QRS and QT.
    if (pOnset != 0.0)
        measures.pr = wholeMilliseconds((qrsOnset - pOnset) * 1000.0);
    if (qrsOffset == 0.0)
        return measures;
    measures.qrs = wholeMilliseconds((qrsOffset - qrsOnset) * 1000.0);
    if (tOffset == 0.0)
        return measures;
    const double qt = (tOffset - qrsOnset) * 1000.0;
    measures.qt = wholeMilliseconds(qt);
    if (meanRr > 0.0)
        measures.qtc = wholeMilliseconds(qt / std::sqrt(meanRr));
    return measures;
}
