#include "report/VARORGraphic.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "report/TGraphicText.h"
#include "report/TPaperUnits.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>

namespace {

constexpr int GridLines = 10;
constexpr double MicrovoltsPerLine = 10.0;
constexpr double MicrovoltsFullScale = 100.0;

} // namespace

VARORGraphic::VARORGraphic(QObject* parent) : QObject(parent) {}

void VARORGraphic::setAnalysis(const TLatePotentials* analysis)
{
    m_analysis = analysis;
    m_windowStart = 0.0;
    m_windowLength = 0.0;
    if (analysis == nullptr)
        return;
    const int rate = analysis->averager().samplingRate();
    m_windowStart = time(analysis->centre() - sampleIndex(WindowBeforeCentre, rate));
    m_windowLength = WindowLength;
}

double VARORGraphic::time(int index) const
{
    return double(index) / m_analysis->averager().samplingRate();
}

double VARORGraphic::x(const QRect& rect, double seconds) const
{
    return rect.left() + int((seconds - m_windowStart) * rect.width() / m_windowLength);
}

double VARORGraphic::y(const QRect& rect, double millivolts) const
{
    return rect.bottom() - millivolts * rect.height() / FullScale;
}

int VARORGraphic::insideCurve(int index) const
{
    return std::clamp(index, 0, int(m_analysis->vectorMagnitude().size()) - 1);
}

void VARORGraphic::draw(QPainter& painter, const QRect& rect)
{
    const TPaperUnits units(*painter.device());
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    drawGrid(painter, rect, units);
    if (m_windowLength != 0.0 && !m_analysis->vectorMagnitude().empty()) {
        drawCurve(painter, rect, units);
        drawLabels(painter, rect, units);
    }
    drawScale(painter, rect, units);
    painter.restore();
}

double VARORGraphic::gridLineY(const QRect& rect, int line) const
{
    return rect.bottom() - line * rect.height() / double(GridLines);
}

// Dotted lines every 10 uV from the bottom.
void VARORGraphic::drawGrid(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    painter.setPen(units.pen(Qt::lightGray, 0.3, Qt::DotLine));
    for (int k = 0; k < GridLines && gridLineY(rect, k) > rect.top(); ++k)
        painter.drawLine(QPointF(rect.left(), gridLineY(rect, k)), QPointF(rect.right(), gridLineY(rect, k)));
}

// The grid lines' values, written over the curve on opaque plates: the
// noise before the QRS runs through the lowest ones.
void VARORGraphic::drawScale(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    painter.setFont(TPaperUnits::font(12));
    painter.setPen(units.pen(Qt::darkGray, 0.2));
    for (int k = 0; k < GridLines && gridLineY(rect, k) > rect.top(); ++k)
        TGraphicText::drawOnPlate(painter, QPointF(rect.left(), gridLineY(rect, k) - units.y(1.0)),
                                  QStringLiteral("%1 uV").arg(int(k * MicrovoltsPerLine)), true);
}

// The area under the last RMS-duration samples before the QRS offset
// (the part the RMS voltage is computed on), then the curve over the window.
void VARORGraphic::drawCurve(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    const std::vector<double>& magnitude = m_analysis->vectorMagnitude();
    const int offset = m_analysis->offset();
    const int areaStart = offset - m_analysis->rmsDuration();
    QPolygonF area;
    area.append(QPointF(x(rect, time(areaStart)), rect.bottom()));
    for (int i = insideCurve(areaStart); i <= insideCurve(offset); ++i)
        area.append(QPointF(x(rect, time(i)), y(rect, magnitude[std::size_t(i)])));
    area.append(QPointF(x(rect, time(offset)), rect.bottom()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::gray);
    painter.drawPolygon(area);
    painter.setBrush(Qt::NoBrush);

    const int rate = m_analysis->averager().samplingRate();
    const int first = sampleIndex(m_windowStart, rate);
    const int count = sampleIndex(m_windowLength, rate);
    const double step = double(rect.width()) / count;
    QPolygonF curve;
    for (int j = 0; j < count; ++j) {
        const int i = first + j;
        if (i >= 0 && i < int(magnitude.size()))
            curve.append(QPointF(rect.left() + j * step, y(rect, magnitude[std::size_t(i)])));
    }
    painter.setPen(units.pen(Qt::black, 0.5));
    painter.drawPolyline(curve);
}

void VARORGraphic::drawLabels(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    if (m_analysis->QRSD() == 0)
        return;
    const double onsetX = x(rect, time(m_analysis->onset()));
    const double offsetTime = time(m_analysis->offset());
    const double offsetX = x(rect, offsetTime);
    const double markerTop = rect.bottom() - rect.height() / 3.0;
    painter.setPen(units.pen(Qt::blue, 0.2));
    painter.drawLine(QPointF(onsetX, markerTop), QPointF(onsetX, rect.bottom()));
    painter.drawLine(QPointF(offsetX, markerTop), QPointF(offsetX, rect.bottom()));

    painter.setFont(TPaperUnits::font(12));
    painter.setPen(units.pen(Qt::darkBlue, 0.2));
    const double lineHeight = TGraphicText::fontHeight(painter);
    const QString results[] = {QStringLiteral("QRSD = %1 ms").arg(m_analysis->QRSD()),
                               QStringLiteral("RMS = %1 uV").arg(m_analysis->RMS()),
                               QStringLiteral("LAS = %1 ms").arg(m_analysis->LAS())};
    for (int line = 0; line < 3; ++line)
        painter.drawText(QPointF(offsetX + units.x(1.0), markerTop + (line + 1) * lineHeight), results[line]);
    if (!m_settingsLabel.isEmpty())
        painter.drawText(QPointF(offsetX + units.x(1.0), markerTop + 4 * lineHeight), m_settingsLabel);

    // The low-amplitude terminal signal: its duration at the threshold level.
    const double levelY = rect.bottom() - rect.height() * m_analysis->lasThreshold() / MicrovoltsFullScale;
    const double lasX = x(rect, offsetTime - time(m_analysis->LAS()));
    painter.setPen(units.pen(Qt::darkBlue, 0.2, Qt::DotLine));
    painter.drawLine(QPointF(lasX, levelY), QPointF(offsetX, levelY));
    painter.setPen(units.pen(Qt::darkBlue, 0.2));
    for (const double tickX : {lasX, offsetX})
        painter.drawLine(QPointF(tickX, levelY - units.y(1.0)), QPointF(tickX, levelY + units.y(1.0)));
}
