#include "report/engine/Chart.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Spacing around and between the chart's parts, template units.
constexpr float Margin = 8;
// Share of a bar's slot that the bar fills.
constexpr double BarShare = 0.6;
constexpr int GridLines = 5;

QFont textFont(bool bold)
{
    QFont font(QStringLiteral("Helvetica"), bold ? 10 : 8);
    font.setWeight(bold ? 75 : 50);
    return font;
}

} // namespace

Chart::Chart(QWidget* parent) : QWidget(parent), m_caption(QStringLiteral("Example 1"))
{
    addGraph(10, QColor(255, 255, 0, 255), QStringLiteral("Graph 1"));
    addGraph(20, QColor(0, 0, 255, 255), QStringLiteral("Graph 2"));
    addGraph(30, QColor(255, 0, 0, 255), QStringLiteral("Graph 3"));
    addGraph(40, QColor(0, 128, 128, 255), QStringLiteral("Graph 4"));
}

void Chart::clearGraphs()
{
    m_graphs.clear();
}

void Chart::addGraph(double value, const QColor& color, const QString& caption)
{
    m_graphs.append(Graph{value, color, caption});
}

void Chart::setScale(float scaleX, float scaleY)
{
    m_scaleX = scaleX;
    m_scaleY = scaleY;
}

void Chart::paintTo(QPainter& painter) const
{
    painter.save();
    painter.setClipRect(geometry());
    const int marginX = int(Margin * m_scaleX);
    const int marginY = int(Margin * m_scaleY);
    QRect area = geometry().adjusted(marginX, marginY, -marginX, -marginY);
    if (m_showCaption)
        area = drawCaption(painter, area);
    if (m_showLegend && !m_graphs.isEmpty())
        area = drawLegend(painter, area);
    // Room for the percentages above the bars and the captions below.
    const int line = QFontMetrics(textFont(false), painter.device()).height();
    const QRect plot = area.adjusted(0, m_showPercent ? line : 0, 0,
                                     m_showGraphCaption ? -line : 0);
    if (m_showGrid)
        drawGrid(painter, plot);
    drawBars(painter, plot);
    painter.restore();
}

double Chart::total() const
{
    double sum = 0;
    for (const Graph& graph : m_graphs)
        sum += std::fabs(graph.value);
    return sum;
}

QString Chart::graphLabel(const Graph& graph) const
{
    const double sum = total();
    const double percent = sum > 0 ? 100.0 * std::fabs(graph.value) / sum : 0;
    return QString::number(percent, 'f', 1) + QStringLiteral(" %");
}

QString Chart::legendText(const Graph& graph) const
{
    if (!m_showPercent)
        return graph.caption;
    return graph.caption + QStringLiteral(" (") + graphLabel(graph) + QLatin1Char(')');
}

// Returns the area left below the caption.
QRect Chart::drawCaption(QPainter& painter, QRect area) const
{
    painter.setFont(textFont(true));
    painter.setPen(Qt::black);
    const int height = QFontMetrics(painter.font(), painter.device()).height();
    painter.drawText(QRect(area.left(), area.top(), area.width(), height), Qt::AlignCenter,
                     m_caption);
    area.setTop(area.top() + height + int(Margin * m_scaleY));
    return area;
}

// Returns the area left of the legend.
QRect Chart::drawLegend(QPainter& painter, QRect area) const
{
    painter.setFont(textFont(false));
    const QFontMetrics metrics(painter.font(), painter.device());
    const int box = metrics.height();
    int textWidth = 0;
    for (const Graph& graph : m_graphs) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(legendText(graph)));
    }
    const int width = std::min(box * 2 + textWidth, area.width() * 2 / 5);
    const int left = area.right() - width;
    int top = area.top();
    for (const Graph& graph : m_graphs) {
        painter.fillRect(QRect(left, top + box / 6, box * 2 / 3, box * 2 / 3), graph.color);
        painter.setPen(Qt::black);
        painter.drawText(QRect(left + box, top, width - box, box),
                         Qt::AlignLeft | Qt::AlignTop, legendText(graph));
        top += box;
    }
    area.setRight(left - int(Margin * m_scaleX));
    return area;
}

void Chart::drawGrid(QPainter& painter, const QRect& plot) const
{
    painter.setPen(QPen(Qt::lightGray, 0));
    for (int i = 0; i <= GridLines; ++i) {
        const int y = plot.bottom() - plot.height() * i / GridLines;
        painter.drawLine(plot.left(), y, plot.right(), y);
    }
    painter.drawLine(plot.topLeft(), plot.bottomLeft());
}

void Chart::drawBars(QPainter& painter, const QRect& plot) const
{
    if (m_graphs.isEmpty())
        return;
    double low = 0;
    double high = 0;
    for (const Graph& graph : m_graphs) {
        low = std::min(low, graph.value);
        high = std::max(high, graph.value);
    }
    if (high <= low)
        high = low + 1;
    const auto yOf = [&](double value) {
        return plot.bottom() - int((value - low) / (high - low) * plot.height());
    };
    painter.setFont(textFont(false));
    const int line = QFontMetrics(painter.font(), painter.device()).height();
    const double slot = double(plot.width()) / m_graphs.size();
    for (int i = 0; i < m_graphs.size(); ++i) {
        const Graph& graph = m_graphs[i];
        const int slotLeft = plot.left() + int(i * slot);
        const QRect bar = QRect(QPoint(slotLeft + int(slot * (1 - BarShare) / 2), yOf(graph.value)),
                                QPoint(slotLeft + int(slot * (1 + BarShare) / 2), yOf(0)))
                              .normalized();
        painter.fillRect(bar, graph.color);
        painter.setPen(QPen(Qt::darkGray, 0));
        painter.drawRect(bar);
        painter.setPen(Qt::black);
        if (m_showPercent)
            painter.drawText(QRect(slotLeft, bar.top() - line, int(slot), line), Qt::AlignCenter,
                             graphLabel(graph));
        if (m_showGraphCaption)
            painter.drawText(QRect(slotLeft, plot.bottom(), int(slot), line), Qt::AlignCenter,
                             graph.caption);
    }
}
