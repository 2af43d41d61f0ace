#pragma once

class QPainter;
class TBeatAverager;
class TDisplayColors;
struct TTraceLane;

// Draws a lead's averaged beat beside a live or recorded trace.
class TAveragedBeatPainter
{
public:
    TAveragedBeatPainter() = delete;

    // Spreads the lead's averaged beat over `width` pixels of the lane: the
    // second averaged beat first (when the averager holds one for the lead)
    // in the second-average colour, then the averaged beat in the average
    // colour. While the averager has no averaged beat, or none for the lead,
    // a dotted line in the average colour stands in across the width.
    static void draw(QPainter& painter, TBeatAverager& averager, int lead, const TTraceLane& lane,
                     double width, const TDisplayColors& colors);
};
