#pragma once

#include <QColor>
#include <QString>

// Colours in report templates are written "rgba(r,g,b,a)" with four decimal
// components 0-255.
namespace TReportColor {

// The parsed colour; a text that is not of that form (including an absent
// attribute) reads as all four components 0.
QColor parse(const QString& text);

// White with alpha 0: the colour that switches a border line or a fill off.
bool isNone(const QColor& color);

} // namespace TReportColor
