#include "display/TColumnEnvelope.h"

#include "display/TSampleRunSource.h"
#include "display/TTracePainter.h"

#include <QLine>
#include <QPainter>
#include <QVector>

#include <algorithm>

void TColumnEnvelope::reset(int columns)
{
    const std::size_t size = std::size_t(std::max(columns, 0));
    m_minima.assign(size, 0);
    m_maxima.assign(size, 0);
    m_marked.assign(size, false);
}

void TColumnEnvelope::markRuns(const TSampleRunSource& source, int channel, int first, int last,
                               int origin, int count)
{
    const int columnCount = columns();
    if (count <= 0 || columnCount == 0)
        return;
    const auto columnOf = [&](int sample) {
        const qint64 position = qint64(sample) - origin;
        return int(std::clamp<qint64>(position * columnCount / count, 0, columnCount - 1));
    };
    source.forEachRun(channel, first, last, [&](int runFirst, int runLast) {
        const int end = columnOf(runLast);
        for (int column = columnOf(runFirst); column <= end; ++column)
            m_marked[std::size_t(column)] = true;
    });
}

int TColumnEnvelope::medianLevel() const
{
    if (m_minima.empty())
        return 0;
    std::vector<qint64> levels(m_minima.size());
    for (std::size_t i = 0; i < levels.size(); ++i)
        levels[i] = qint64(m_minima[i]) + m_maxima[i];
    const auto middle = levels.begin() + std::ptrdiff_t(levels.size() / 2);
    std::nth_element(levels.begin(), middle, levels.end());
    return int(*middle / 2);
}

void TColumnEnvelope::draw(QPainter& painter, const TTraceLane& lane, const QPen& pen,
                           const QPen& markedPen, int limit, int gapBegin, int gapEnd) const
{
    QVector<QLineF> plain, marked;
    const int end = std::min(limit, columns());
    for (int column = 0; column < end; ++column) {
        if (column >= gapBegin && column < gapEnd)
            continue;
        const std::size_t i = std::size_t(column);
        const double x = lane.x0 + column;
        (m_marked[i] ? marked : plain).append(QLineF(x, lane.y(m_minima[i]), x, lane.y(m_maxima[i])));
    }
    painter.setPen(pen);
    painter.drawLines(plain);
    painter.setPen(markedPen);
    painter.drawLines(marked);
}
