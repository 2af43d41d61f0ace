#include "display/QHRECGDisplay.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "display/TDisplayFont.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double HitPixels = 4.0;
constexpr int ScaleLines = 10;
constexpr double MicrovoltsPerLine = 10.0;
constexpr double TickHalfHeight = 5.0;
constexpr double TextGap = 5.0;
// Seconds shown after the noise window when the span widens to hold it.
constexpr double NoiseMargin = 0.01;
// Where the noise band's name stands, as a share of the height from the top.
constexpr double NoiseLabelHeight = 0.6;

} // namespace

QHRECGDisplay::QHRECGDisplay(QWidget* parent)
    : QWidget(parent)
{
    m_markers.append(MarkerEntry{0.0, QColor(Qt::blue), tr("QRS on")});
    m_markers.append(MarkerEntry{0.0, QColor(Qt::blue), tr("QRS off")});
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

QHRECGDisplay::~QHRECGDisplay() = default;

void QHRECGDisplay::setData(const TLatePotentials* data)
{
    m_data = data;
    m_start = 0.0;
    m_span = 0.0;
    if (m_data && m_data->averager().samplingRate() > 0) {
        const int rate = m_data->averager().samplingRate();
        m_start = (m_data->averager().centre() - std::lround(0.2 * rate)) / double(rate);
    }
    fitSpan();
    refresh();
}

void QHRECGDisplay::fitSpan()
{
    m_span = 0.0;
    if (!m_data || m_data->averager().samplingRate() <= 0)
        return;
    const double noiseEnd = double(m_noiseStart + m_noiseLength) / m_data->averager().samplingRate();
    m_span = std::max(ShownSpan, noiseEnd + NoiseMargin - m_start);
}

void QHRECGDisplay::setSettingsLabel(const QString& label)
{
    m_settingsLabel = label;
    refresh();
}

void QHRECGDisplay::setMarkerTime(int index, double seconds)
{
    if (!isValidMarker(index))
        return;
    m_markers[index].time = seconds;
    refresh();
}

double QHRECGDisplay::markerTime(int index) const
{
    return isValidMarker(index) ? m_markers[index].time : 0.0;
}

void QHRECGDisplay::refresh()
{
    render();
    update();
}

void QHRECGDisplay::paintEvent(QPaintEvent*)
{
    if (m_pixmap.fit(this))
        render();
    if (m_pixmap.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_pixmap.pixmap());
}

void QHRECGDisplay::resizeEvent(QResizeEvent*)
{
    refresh();
}

void QHRECGDisplay::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_data || m_span <= 0.0)
        return;
    if ((event->buttons() & Qt::LeftButton) && m_activeMarker >= 0) {
        const double x = std::clamp(double(event->pos().x()), 0.0, std::max(0.0, pixmapWidth() - 1));
        m_markers[m_activeMarker].time = pixmapWidth() > 0 ? x * m_span / pixmapWidth() + m_start : m_start;
        refresh();
        emit cursorChanged();
        return;
    }
    hover(event->pos().x());
}

double QHRECGDisplay::xOfTime(double seconds) const
{
    return m_span > 0.0 ? (seconds - m_start) * pixmapWidth() / m_span : 0.0;
}

double QHRECGDisplay::yOfValue(double millivolts) const
{
    return pixmapHeight() - millivolts * pixmapHeight() / FullScale;
}

void QHRECGDisplay::sampleRange(double from, double to, int& first, int& end) const
{
    const int rate = m_data->averager().samplingRate();
    const int size = int(m_data->vectorMagnitude().size());
    first = std::clamp(int(std::lround(from * rate)), 0, size);
    end = std::clamp(int(std::lround(to * rate)), first, size);
}

void QHRECGDisplay::hover(double x)
{
    int found = -1;
    for (int index = 0; index < m_markers.size() && found < 0; ++index) {
        if (std::abs(xOfTime(m_markers[index].time) - x) <= HitPixels)
            found = index;
    }
    setCursor(found >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
    if (found != m_activeMarker) {
        m_activeMarker = found;
        refresh();
    }
}

void QHRECGDisplay::render()
{
    m_pixmap.fit(this);
    if (m_pixmap.isNull())
        return;
    QPainter painter(&m_pixmap.pixmap());
    painter.fillRect(QRectF(0, 0, pixmapWidth(), pixmapHeight()), Qt::white);
    if (!m_data || m_span <= 0.0)
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawScale(painter);
    drawNoiseWindow(painter);
    drawRmsArea(painter);
    drawMagnitude(painter);
    drawScaleLabels(painter);
    if (m_data->QRSD() == 0)
        return;
    drawMarkers(painter);
    drawResults(painter);
    drawLasThreshold(painter);
}

void QHRECGDisplay::drawScale(QPainter& painter) const
{
    painter.setPen(QPen(QColor(Qt::lightGray), 1, Qt::DotLine));
    for (int line = 0; line < ScaleLines; ++line) {
        const double y = pixmapHeight() - line * pixmapHeight() / ScaleLines;
        painter.drawLine(QLineF(0, y, pixmapWidth(), y));
    }
}

// Over the curve on a white plate: the noise runs through the lowest ones.
void QHRECGDisplay::drawScaleLabels(QPainter& painter) const
{
    const QFont font = displayFont(8);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(QColor(Qt::darkGray));
    for (int line = 0; line < ScaleLines; ++line) {
        const double y = pixmapHeight() - line * pixmapHeight() / ScaleLines;
        const QString text = tr("%1 uV").arg(line * MicrovoltsPerLine);
        const QPointF baseline(3, y - 3);
        painter.fillRect(metrics.tightBoundingRect(text).translated(baseline).adjusted(-1, -1, 1, 1),
                         QColor(255, 255, 255, 220));
        painter.drawText(baseline, text);
    }
}

void QHRECGDisplay::setNoiseWindow(int start, int length)
{
    m_noiseStart = start;
    m_noiseLength = length;
    fitSpan();
    refresh();
}

// A pale band over the noise window, so the operator sees where the noise
// figure comes from.
void QHRECGDisplay::drawNoiseWindow(QPainter& painter) const
{
    const double rate = m_data->averager().samplingRate();
    if (m_noiseLength <= 0 || rate <= 0.0)
        return;
    const double left = xOfTime(m_noiseStart / rate);
    const double right = xOfTime((m_noiseStart + m_noiseLength) / rate);
    painter.fillRect(QRectF(left, 0.0, right - left, pixmapHeight()), QColor(255, 220, 120, 110));
    const QFont font = displayFont(8);
    painter.setFont(font);
    painter.setPen(QColor(150, 100, 0));
    const QString label = tr("noise");
    const double width = QFontMetricsF(font).horizontalAdvance(label);
    const double x = std::min((left + right - width) / 2.0, pixmapWidth() - width - TextGap);
    // Well above the noise itself, below the results at the top.
    painter.drawText(QPointF(x, pixmapHeight() * NoiseLabelHeight), label);
}

void QHRECGDisplay::drawRmsArea(QPainter& painter) const
{
    const double offset = markerTime(QrsOffset);
    const double duration = m_data->rmsDuration() * 0.001;
    if (offset <= duration)
        return;
    int first = 0, end = 0;
    sampleRange(offset - duration, offset, first, end);
    if (first >= end)
        return;
    const double rate = m_data->averager().samplingRate();
    const std::vector<double>& magnitude = m_data->vectorMagnitude();
    QPolygonF area;
    area.append(QPointF(xOfTime(first / rate), pixmapHeight()));
    for (int i = first; i < end; ++i)
        area.append(QPointF(xOfTime(i / rate), yOfValue(magnitude[std::size_t(i)])));
    area.append(QPointF(xOfTime((end - 1) / rate), pixmapHeight()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(Qt::gray));
    painter.drawPolygon(area);
    painter.setBrush(Qt::NoBrush);
}

void QHRECGDisplay::drawMagnitude(QPainter& painter) const
{
    const int rate = m_data->averager().samplingRate();
    const int shown = int(std::lround(m_span * rate));
    const int origin = int(std::lround(m_start * rate));
    int first = 0, end = 0;
    sampleRange(m_start, m_start + m_span, first, end);
    if (shown <= 0 || first >= end)
        return;
    const std::vector<double>& magnitude = m_data->vectorMagnitude();
    const double step = pixmapWidth() / shown;
    QPolygonF curve;
    curve.reserve(end - first);
    for (int i = first; i < end; ++i)
        curve.append(QPointF((i - origin) * step, yOfValue(magnitude[std::size_t(i)])));
    painter.setPen(QPen(Qt::black, 1.5));
    painter.drawPolyline(curve);
}

void QHRECGDisplay::drawMarkers(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);  // crisp one-pixel lines
    for (int index = 0; index < m_markers.size(); ++index) {
        const double x = std::floor(xOfTime(m_markers[index].time));
        painter.setPen(QPen(index == m_activeMarker ? QColor(Qt::red) : m_markers[index].color, 1));
        painter.drawLine(QLineF(x, 0, x, pixmapHeight()));
    }
    painter.restore();
}

// The results stand right of the QRS offset, or left of it where the
// plot's right edge would cut them; the settings they are computed at
// follow when those are not the standard ones.
void QHRECGDisplay::drawResults(QPainter& painter) const
{
    const QFont font = displayFont(10);
    const QFontMetricsF metrics(font);
    QStringList lines = {tr("QRSD = %1 ms").arg(m_data->QRSD()), tr("RMS = %1 uV").arg(m_data->RMS()),
                         tr("LAS = %1 ms").arg(m_data->LAS())};
    if (!m_settingsLabel.isEmpty())
        lines << m_settingsLabel;
    double width = 0.0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const double offset = xOfTime(markerTime(QrsOffset));
    const double x = offset + TextGap + width <= pixmapWidth() ? offset + TextGap : offset - TextGap - width;
    painter.setFont(font);
    painter.setPen(QColor(Qt::darkBlue));
    for (int line = 0; line < lines.size(); ++line)
        painter.drawText(QPointF(std::max(x, TextGap), TextGap + metrics.height() * (line + 1)), lines[line]);
}

void QHRECGDisplay::drawLasThreshold(QPainter& painter) const
{
    const double offset = markerTime(QrsOffset);
    const double y = yOfValue(m_data->lasThreshold() * 0.001);
    const double x1 = xOfTime(offset - m_data->LAS() * 0.001);
    const double x2 = xOfTime(offset);
    painter.setPen(QPen(QColor(Qt::darkBlue), 1, Qt::DotLine));
    painter.drawLine(QLineF(x1, y, x2, y));
    painter.setPen(QPen(QColor(Qt::darkBlue), 1));
    painter.drawLine(QLineF(x1, y - TickHalfHeight, x1, y + TickHalfHeight));
    painter.drawLine(QLineF(x2, y - TickHalfHeight, x2, y + TickHalfHeight));
}
