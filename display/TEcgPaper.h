#pragma once

#include <QColor>
#include <QRectF>
#include <QSize>

class QPainter;
class QWidget;
class TSignal;

// The physical scale of an ECG display: how many of its logical pixels make
// a millimetre on the screen it is shown on. Positions follow the screen's
// real millimetres, so 25 mm/s and 10 mm/mV measure true with a ruler on
// any screen, whatever its device pixel ratio.
struct TPaperScale
{
    double width = 0.0;    // logical pixels
    double height = 0.0;
    double widthMm = 0.0;  // millimetres the width spans on the screen

    // The scale of an area of `size` logical pixels on the widget's screen.
    static TPaperScale of(const QWidget* widget, const QSize& size);

    double pixelsPerCm() const { return widthMm > 0.0 ? width / (widthMm / 10.0) : 0.0; }
    double pixelsPerMm() const { return pixelsPerCm() / 10.0; }
    // Seconds the width spans at a paper speed in mm/s; 0 for no speed.
    double screenTime(double speed) const { return speed > 0.0 ? widthMm / speed : 0.0; }
    // Pixels per count of the signal at a gain in mm/mV: millivolts per
    // count times pixels per millivolt.
    double countScale(const TSignal& signal, double gain) const;
};

// ECG paper: the grids the displays draw behind their traces.
class TEcgPaper
{
public:
    enum GridStyle {
        // A dot at every 1 mm crossing off the 5 mm lines, solid 1-pixel
        // lines every 5 mm.
        DotGrid = 0,
        // Antialiased lines: 1.25 pixels every 5 mm, 0.75 pixels in a
        // 110 % lighter colour for the 1 mm lines between.
        LineGrid = 1,
    };

    TEcgPaper() = delete;

    // Millimetres of the widget's screen per logical pixel.
    static double millimetresPerPixel(const QWidget* widget);

    // Fills `size` with the background and draws the millimetre grid from
    // the top-left corner.
    static void drawMillimetreGrid(QPainter& painter, const QSize& size, double pixelsPerMm,
                                   const QColor& background, const QColor& grid, int style);

    // Paper with major squares of `majorStep` pixels and four minor lines
    // between majors, laid out symmetrically from the centre of `area`.
    // Line widths are divided by `zoom`, so that they keep their width when
    // the painter magnifies.
    static void drawCentredGrid(QPainter& painter, const QRectF& area, double majorStep, double zoom);
};
