#pragma once

#include <QColor>
#include <QLineF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPen>
#include <QPointF>
#include <QPolygonF>
#include <QString>
#include <QVector>

// A paint device that records what is drawn on it, with the pen of each
// drawing: texts with their positions, polylines, polygons and lines. It
// has the size and resolution of a printed page, so the report graphics
// compute their millimetres as on paper.
class RecordingPaintEngine : public QPaintEngine
{
public:
    struct Text
    {
        QString text;
        QPointF position;
        QColor color;
    };
    struct Shape
    {
        QPolygonF points;
        QPen pen;
        bool closed;
    };
    struct Line
    {
        QLineF line;
        QPen pen;
    };

    RecordingPaintEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& state) override;
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override;
    void drawLines(const QLineF* lines, int count) override;
    void drawTextItem(const QPointF& position, const QTextItem& item) override;
    Type type() const override { return QPaintEngine::User; }

    QVector<Text> texts;
    QVector<Shape> shapes;
    QVector<Line> lines;

    QStringList textList() const;
    // The polylines (open shapes) drawn with a pen of this colour.
    QVector<QPolygonF> polylines(const QColor& color) const;
    QVector<Line> linesIn(const QColor& color, Qt::PenStyle style) const;

private:
    QPen m_pen;
};

class RecordingPaintDevice : public QPaintDevice
{
public:
    RecordingPaintDevice(int widthPixels, int heightPixels, int dpi)
        : m_width(widthPixels), m_height(heightPixels), m_dpi(dpi)
    {
    }

    QPaintEngine* paintEngine() const override { return &m_engine; }
    RecordingPaintEngine& recorded() { return m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    int m_width;
    int m_height;
    int m_dpi;
    mutable RecordingPaintEngine m_engine;
};
