#pragma once

#include <QPolygonF>

class QPainter;

// Where a lead is drawn: values (counts) map to y = centre - (value -
// offset) * scale, and the lead's first point stands at x0.
struct TTraceLane
{
    double x0 = 0.0;
    double centre = 0.0;
    double scale = 0.0;   // pixels per count
    double offset = 0.0;  // counts subtracted before scaling (baseline)

    double y(double value) const { return centre - (value - offset) * scale; }
};

// Drawing of sample series shared by the displays.
class TTracePainter
{
public:
    TTracePainter() = delete;

    // The series as points `step` pixels apart from the lane's x0.
    static QPolygonF polyline(const double* values, int count, const TTraceLane& lane, double step);

    // The series spread over `width` pixels from the lane's x0: a polyline
    // when the width holds every value, otherwise one line per pixel column
    // from the column's minimum to its maximum (not antialiased), each
    // column starting at the last value of the one before so that the trace
    // stays connected.
    static void drawSeries(QPainter& painter, const double* values, int count,
                           const TTraceLane& lane, double width);
};
