#include "report/engine/TReportTextFit.h"

#include <QFontMetricsF>
#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr double PointStep = 0.5;
const QString Ellipsis = QStringLiteral("\u2026");

bool fits(const QFont& font, const QString& text, const QRect& rect, int flags, const QPaintDevice* device)
{
    const QRectF needed = QFontMetricsF(font, device).boundingRect(QRectF(rect), flags, text);
    return needed.height() <= rect.height() && needed.width() <= rect.width();
}

// The text up to `length` characters, back to the last word break when
// there is one, with the ellipsis.
QString cutAt(const QString& text, int length)
{
    QString kept = text.left(length);
    const int space = kept.lastIndexOf(QRegularExpression(QStringLiteral("\\s")));
    if (space > 0 && length < text.size())
        kept.truncate(space);
    return kept.trimmed() + Ellipsis;
}

} // namespace

TReportTextFit TReportTextFit::fit(const QFont& font, const QString& text, const QRect& rect, int flags,
                                   const QPaintDevice* device)
{
    TReportTextFit result{font, text, Fits};
    if (fits(font, text, rect, flags, device))
        return result;
    const double floor = std::min(font.pointSizeF(), MinimumPointSize);
    result.outcome = Shrunk;
    for (double size = font.pointSizeF() - PointStep; size >= floor; size -= PointStep) {
        result.font.setPointSizeF(size);
        if (fits(result.font, text, rect, flags, device))
            return result;
    }
    result.font.setPointSizeF(floor);
    result.outcome = Cut;
    // The longest cut that fits, found by halving.
    int low = 0, high = text.size();
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (fits(result.font, cutAt(text, middle), rect, flags, device))
            low = middle;
        else
            high = middle - 1;
    }
    result.text = cutAt(text, low);
    return result;
}
