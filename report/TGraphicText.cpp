#include "report/TGraphicText.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPainter>

namespace TGraphicText {

namespace {

// White at 80 % opacity.
const QColor plateColor(255, 255, 255, 204);

QFontMetricsF metrics(const QPainter& painter)
{
    return QFontMetricsF(painter.font(), painter.device());
}

} // namespace

double fontHeight(const QPainter& painter)
{
    return metrics(painter).height();
}

double width(const QPainter& painter, const QString& text)
{
    return metrics(painter).horizontalAdvance(text);
}

void drawCentred(QPainter& painter, double centreX, double baseline, const QString& text)
{
    painter.drawText(QPointF(centreX - width(painter, text) / 2.0, baseline), text);
}

void drawOnPlate(QPainter& painter, const QPointF& baseline, const QString& text, bool opaque)
{
    const QFontMetricsF fontMetrics = metrics(painter);
    const QRectF plate(baseline.x(), baseline.y() - fontMetrics.ascent(), fontMetrics.horizontalAdvance(text),
                       fontMetrics.height());
    painter.fillRect(plate, opaque ? QColor(Qt::white) : plateColor);
    painter.drawText(baseline, text);
}

} // namespace TGraphicText
