#include "RecordingPaintDevice.h"

#include <QStringList>

void RecordingPaintEngine::updateState(const QPaintEngineState& state)
{
    if (state.state() & QPaintEngine::DirtyPen)
        m_pen = state.pen();
}

void RecordingPaintEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode)
{
    shapes.append(Shape{QPolygonF(QVector<QPointF>(points, points + count)), m_pen, mode != PolylineMode});
}

void RecordingPaintEngine::drawLines(const QLineF* drawn, int count)
{
    for (int i = 0; i < count; ++i)
        lines.append(Line{drawn[i], m_pen});
}

void RecordingPaintEngine::drawTextItem(const QPointF& position, const QTextItem& item)
{
    texts.append(Text{item.text(), position, m_pen.color()});
}

QStringList RecordingPaintEngine::textList() const
{
    QStringList list;
    for (const Text& text : texts)
        list.append(text.text);
    return list;
}

QVector<QPolygonF> RecordingPaintEngine::polylines(const QColor& color) const
{
    QVector<QPolygonF> found;
    for (const Shape& shape : shapes) {
        if (!shape.closed && shape.pen.color() == color)
            found.append(shape.points);
    }
    return found;
}

QVector<RecordingPaintEngine::Line> RecordingPaintEngine::linesIn(const QColor& color, Qt::PenStyle style) const
{
    QVector<Line> found;
    for (const Line& line : lines) {
        if (line.pen.color() == color && line.pen.style() == style)
            found.append(line);
    }
    return found;
}

int RecordingPaintDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_width;
    case PdmHeight:
        return m_height;
    case PdmWidthMM:
        return int(m_width * 25.4 / m_dpi);
    case PdmHeightMM:
        return int(m_height * 25.4 / m_dpi);
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return m_dpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}
