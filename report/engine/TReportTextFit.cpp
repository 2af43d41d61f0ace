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

double floorSize(const QFont& font)
{
    return std::min(font.pointSizeF(), TReportTextFit::MinimumPointSize);
}

// Where a head of `length` characters ends: at the last word break within
// it when the text goes on.
int wordEnd(const QString& text, int length)
{
    if (length >= text.size())
        return text.size();
    const int space = text.left(length).lastIndexOf(QRegularExpression(QStringLiteral("\\s")));
    return space > 0 ? space : length;
}

// The longest length whose head with the suffix fits, found by halving.
int longestFitting(const QFont& font, const QString& text, const QString& suffix, const QRect& rect, int flags,
                   const QPaintDevice* device)
{
    int low = 0, high = text.size();
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (fits(font, TReportTextFit::head(text, middle) + suffix, rect, flags, device))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

} // namespace

QString TReportTextFit::head(const QString& text, int length)
{
    return text.left(wordEnd(text, length)).trimmed();
}

int TReportTextFit::fittingLength(const QFont& font, const QString& text, const QString& suffix, const QRect& rect,
                                  int flags, const QPaintDevice* device)
{
    QFont smallest = font;
    smallest.setPointSizeF(floorSize(font));
    if (fits(smallest, text, rect, flags, device))
        return text.size();
    return wordEnd(text, longestFitting(smallest, text, suffix, rect, flags, device));
}

TReportTextFit TReportTextFit::fit(const QFont& font, const QString& text, const QRect& rect, int flags,
                                   const QPaintDevice* device)
{
    TReportTextFit result{font, text, Fits};
    if (fits(font, text, rect, flags, device))
        return result;
    const double floor = floorSize(font);
    result.outcome = Shrunk;
    for (double size = font.pointSizeF() - PointStep; size >= floor; size -= PointStep) {
        result.font.setPointSizeF(size);
        if (fits(result.font, text, rect, flags, device))
            return result;
    }
    result.font.setPointSizeF(floor);
    result.outcome = Cut;
    result.text = head(text, longestFitting(result.font, text, Ellipsis, rect, flags, device)) + Ellipsis;
    return result;
}
