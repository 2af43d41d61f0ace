#include "display/TTracePainter.h"

#include <QLineF>
#include <QPainter>
#include <QVector>

#include <algorithm>

QPolygonF TTracePainter::polyline(const double* values, int count, const TTraceLane& lane, double step)
{
    QPolygonF points;
    points.reserve(count);
    for (int i = 0; i < count; ++i)
        points.append(QPointF(lane.x0 + i * step, lane.y(values[i])));
    return points;
}

void TTracePainter::drawSeries(QPainter& painter, const double* values, int count,
                               const TTraceLane& lane, double width)
{
    if (count <= 0 || width <= 0.0)
        return;
    const int columns = int(width);
    if (columns >= count || columns < 1) {
        const double step = count > 1 ? width / (count - 1) : 0.0;
        painter.drawPolyline(polyline(values, count, lane, step));
        return;
    }
    QVector<QLineF> lines;
    lines.reserve(columns);
    double last = values[0];
    for (int column = 0; column < columns; ++column) {
        const int begin = int(qint64(column) * count / columns);
        const int end = int(qint64(column + 1) * count / columns);
        double low = last, high = last;
        for (int i = begin; i < end; ++i) {
            low = std::min(low, values[i]);
            high = std::max(high, values[i]);
        }
        last = values[end - 1];
        const double x = lane.x0 + column;
        lines.append(QLineF(x, lane.y(low), x, lane.y(high)));
    }
    // Column lines stay crisp: one pixel column each.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawLines(lines);
    painter.restore();
}
