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
// Draws the text over a translucent white plate, which keeps it legible on
// the grid and on whatever was drawn before it while leaving that visible;
// an opaque plate hides what lies beneath, for texts a curve runs through.
void drawOnPlate(QPainter& painter, const QPointF& baseline, const QString& text, bool opaque = false);

} // namespace TGraphicText
