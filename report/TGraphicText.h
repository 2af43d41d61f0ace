#pragma once

#include <QPointF>
#include <QString>

class QPainter;

// Texts of the report graphics, in the painter's current font and pen,
// measured on the painter's device.
namespace TGraphicText {

double fontHeight(const QPainter& painter);
double width(const QPainter& painter, const QString& text);
void drawCentred(QPainter& painter, double centreX, double baseline, const QString& text);
// Draws the text over a translucent white plate: a label that lies on a
// trace stays legible, and the trace stays visible beneath it.
void drawOnPlate(QPainter& painter, const QPointF& baseline, const QString& text);

} // namespace TGraphicText
