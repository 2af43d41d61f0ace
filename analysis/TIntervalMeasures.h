#pragma once

#include <optional>

class TWaveMarks;

// Interval measurements of an averaged beat from its wave marks, in whole
// milliseconds (truncated). Nothing is measured unless "POnset",
// "QRSOnset" and "QRSOffset" are set (non-zero); QT needs "TOffset" as
// well, and QTc (Bazett) and RR need a positive "avgRRInterval".
struct TIntervalMeasures
{
    std::optional<int> pr;
    std::optional<int> qrs;
    std::optional<int> qt;
    std::optional<int> qtc;
    std::optional<int> rr;

    static TIntervalMeasures fromWaveMarks(const TWaveMarks& marks);
};
