#include "report/TPaperUnits.h"

#include <QPaintDevice>

namespace {

constexpr double MmPerInch = 25.4;

} // namespace

// The physical resolution is the device's width in pixels over its width
// in millimetres, without the rounding of the whole-millimetre size the
// device reports.
TPaperUnits::TPaperUnits(const QPaintDevice& device)
    : m_perMmX(device.physicalDpiX() / MmPerInch),
      m_perMmY(device.physicalDpiY() / MmPerInch)
{
}

QPen TPaperUnits::pen(const QColor& color, double widthMm, Qt::PenStyle style) const
{
    QPen pen(color, x(widthMm), style, Qt::SquareCap, Qt::BevelJoin);
    return pen;
}

QFont TPaperUnits::font(int points, bool bold)
{
    QFont font(QStringLiteral("Helvetica"), points);
    font.setWeight(bold ? 75 : 50);
    return font;
}
