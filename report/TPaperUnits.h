#pragma once

#include <QColor>
#include <QFont>
#include <QPen>

class QPaintDevice;

// Millimetres on the paint device the report graphics draw on (printer,
// PDF or image): device pixels per millimetre from the device's own
// resolution, pens whose widths are given in millimetres, and the fonts of
// the graphics.
class TPaperUnits
{
public:
    explicit TPaperUnits(const QPaintDevice& device);

    double pixelsPerMmX() const { return m_perMmX; }
    double pixelsPerMmY() const { return m_perMmY; }
    double x(double mm) const { return mm * m_perMmX; }
    double y(double mm) const { return mm * m_perMmY; }
    double mmX(double pixels) const { return pixels / m_perMmX; }

    // A pen with square caps and bevel joins; its width in millimetres is
    // converted with the horizontal factor.
    QPen pen(const QColor& color, double widthMm, Qt::PenStyle style = Qt::SolidLine) const;

    // Helvetica at the given size; bold is the weight 75.
    static QFont font(int points, bool bold = false);

private:
    double m_perMmX;
    double m_perMmY;
};

// Seconds to samples as the graphics convert them: int(rate x t + 0.5).
inline int sampleIndex(double seconds, int samplingRate)
{
    return int(samplingRate * seconds + 0.5);
}
