#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

class QPainter;

// A bar chart of a list of graphs (value, colour, caption), drawn through
// another painter at the widget's geometry. Sizes follow the scale factors
// of the report page it is drawn on (device pixels per template unit).
// A new chart holds example data.
class Chart : public QWidget
{
    Q_OBJECT
public:
    struct Graph
    {
        double value;
        QColor color;
        QString caption;
    };

    explicit Chart(QWidget* parent = nullptr);

    void clearGraphs();
    void addGraph(double value, const QColor& color, const QString& caption);

    void setCaption(const QString& caption) { m_caption = caption; }
    void setShowGrid(bool show) { m_showGrid = show; }
    void setShowLegend(bool show) { m_showLegend = show; }
    void setShowCaption(bool show) { m_showCaption = show; }
    void setShowGraphCaption(bool show) { m_showGraphCaption = show; }
    void setShowPercent(bool show) { m_showPercent = show; }
    void setScale(float scaleX, float scaleY);

    // Draws the chart into geometry() on the painter's device.
    void paintTo(QPainter& painter) const;

private:
    double total() const;
    QString graphLabel(const Graph& graph) const;
    QString legendText(const Graph& graph) const;
    QRect drawCaption(QPainter& painter, QRect area) const;
    QRect drawLegend(QPainter& painter, QRect area) const;
    void drawGrid(QPainter& painter, const QRect& plot) const;
    void drawBars(QPainter& painter, const QRect& plot) const;

    QList<Graph> m_graphs;
    QString m_caption;
    bool m_showGrid = true;
    bool m_showLegend = true;
    bool m_showCaption = true;
    bool m_showGraphCaption = true;
    bool m_showPercent = true;
    float m_scaleX = 1;
    float m_scaleY = 1;
};
