#include "display/TEcgPaper.h"

#include "analysis/signal/TSignal.h"

#include <QPainter>
#include <QPen>
#include <QScreen>
#include <QVector>
#include <QWidget>

#include <cmath>

namespace {

constexpr double DefaultDpi = 96.0;
constexpr double MmPerInch = 25.4;
constexpr int MinorPerMajor = 5;

// Line positions k * step (k >= 0) below `extent`, with the index k.
template <typename Visit>
void forEachStep(double extent, double step, Visit visit)
{
    if (step <= 0.0)
        return;
    for (int k = 0; k * step < extent; ++k)
        visit(k, k * step);
}

// Line positions centre + k * step (any k) within [low, high], with k.
template <typename Visit>
void forEachStepFromCentre(double low, double high, double centre, double step, Visit visit)
{
    if (step <= 0.0)
        return;
    const int first = int(std::ceil((low - centre) / step));
    const int last = int(std::floor((high - centre) / step));
    for (int k = first; k <= last; ++k)
        visit(k, centre + k * step);
}

void drawDotGrid(QPainter& painter, const QSize& size, double mm, const QColor& grid)
{
    QVector<QPointF> dots;
    forEachStep(size.width(), mm, [&](int column, double x) {
        if (column % MinorPerMajor == 0)
            return;
        forEachStep(size.height(), mm, [&](int row, double y) {
            if (row % MinorPerMajor != 0)
                dots.append(QPointF(std::round(x), std::round(y)));
        });
    });
    painter.setPen(QPen(grid, 1));
    painter.drawPoints(dots.constData(), dots.size());

    QVector<QLineF> lines;
    forEachStep(size.width(), mm * MinorPerMajor, [&](int, double x) {
        lines.append(QLineF(std::round(x), 0, std::round(x), size.height()));
    });
    forEachStep(size.height(), mm * MinorPerMajor, [&](int, double y) {
        lines.append(QLineF(0, std::round(y), size.width(), std::round(y)));
    });
    painter.drawLines(lines);
}

void drawLineGrid(QPainter& painter, const QSize& size, double mm, const QColor& grid)
{
    QVector<QLineF> minor, major;
    forEachStep(size.width(), mm, [&](int column, double x) {
        (column % MinorPerMajor == 0 ? major : minor).append(QLineF(x, 0, x, size.height()));
    });
    forEachStep(size.height(), mm, [&](int row, double y) {
        (row % MinorPerMajor == 0 ? major : minor).append(QLineF(0, y, size.width(), y));
    });
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(grid.lighter(110), 0.75));
    painter.drawLines(minor);
    painter.setPen(QPen(grid, 1.25));
    painter.drawLines(major);
    painter.restore();
}

} // namespace

TPaperScale TPaperScale::of(const QWidget* widget, const QSize& size)
{
    TPaperScale scale;
    scale.width = size.width();
    scale.height = size.height();
    scale.widthMm = size.width() * TEcgPaper::millimetresPerPixel(widget);
    return scale;
}

double TPaperScale::countScale(const TSignal& signal, double gain) const
{
    return signal.lsb() * pixelsPerCm() * gain / 10.0;
}

double TEcgPaper::millimetresPerPixel(const QWidget* widget)
{
    if (const QScreen* screen = widget->screen()) {
        const double pixels = screen->geometry().width();
        const double millimetres = screen->physicalSize().width();
        if (pixels > 0.0 && millimetres > 0.0)
            return millimetres / pixels;
    }
    return MmPerInch / DefaultDpi;
}

void TEcgPaper::drawMillimetreGrid(QPainter& painter, const QSize& size, double pixelsPerMm,
                                   const QColor& background, const QColor& grid, int style)
{
    painter.fillRect(QRect(QPoint(0, 0), size), background);
    if (pixelsPerMm <= 0.0)
        return;
    if (style == LineGrid)
        drawLineGrid(painter, size, pixelsPerMm, grid);
    else
        drawDotGrid(painter, size, pixelsPerMm, grid);
}

void TEcgPaper::drawCentredGrid(QPainter& painter, const QRectF& area, double majorStep, double zoom)
{
    const double minorStep = majorStep / MinorPerMajor;
    const QPointF centre = area.center();
    QVector<QLineF> minor, major;
    forEachStepFromCentre(area.left(), area.right(), centre.x(), minorStep, [&](int k, double x) {
        (k % MinorPerMajor == 0 ? major : minor).append(QLineF(x, area.top(), x, area.bottom()));
    });
    forEachStepFromCentre(area.top(), area.bottom(), centre.y(), minorStep, [&](int k, double y) {
        (k % MinorPerMajor == 0 ? major : minor).append(QLineF(area.left(), y, area.right(), y));
    });
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(Qt::lightGray), 0.75 / zoom));
    painter.drawLines(minor);
    painter.setPen(QPen(QColor(Qt::gray), 1.25 / zoom));
    painter.drawLines(major);
    painter.restore();
}
