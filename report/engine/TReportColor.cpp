#include "report/engine/TReportColor.h"

#include <QStringList>

namespace TReportColor {

QColor parse(const QString& text)
{
    const int open = text.indexOf(QLatin1Char('('));
    const int close = text.indexOf(QLatin1Char(')'), open + 1);
    if (open < 0 || close < 0)
        return QColor(0, 0, 0, 0);
    const QStringList parts = text.mid(open + 1, close - open - 1).split(QLatin1Char(','));
    if (parts.size() != 4)
        return QColor(0, 0, 0, 0);
    int components[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        components[i] = qBound(0, parts[i].trimmed().toInt(&ok), 255);
        if (!ok)
            return QColor(0, 0, 0, 0);
    }
    return QColor(components[0], components[1], components[2], components[3]);
}

bool isNone(const QColor& color)
{
    return color.red() == 255 && color.green() == 255 && color.blue() == 255 && color.alpha() == 0;
}

} // namespace TReportColor
