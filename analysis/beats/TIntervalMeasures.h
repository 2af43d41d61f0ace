#pragma once

#include <optional>

class TWaveMarks;

// Interval measurements of an averaged beat from its wave marks, in whole
// milliseconds (truncated), each from the marks it needs (set, non-zero):
// PR from "POnset" and "QRSOnset"; QRS from "QRSOnset" and "QRSOffset"; QT
// from those and "TOffset", and QTc (Bazett) from QT and a positive
// "avgRRInterval"; RR from a positive "avgRRInterval" alone. Where the
// boundaries found over all leads are stored ("MultiLeadPOnset" ...,
// TMultiLeadBoundaries) they stand for the marks of the same waves;
// results stored without them are measured from the marks.
struct TIntervalMeasures
{
    std::optional<int> pr;
    std::optional<int> qrs;
    std::optional<int> qt;
    std::optional<int> qtc;
    std::optional<int> rr;

    static TIntervalMeasures fromWaveMarks(const TWaveMarks& marks);
};
