#include "display/QBeatDisplayZoom.h"

#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/signal/TSignal.h"
#include "display/TDisplayFont.h"
#include "display/TEcgPaper.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr double MajorSquareSeconds = 0.2;
constexpr double HitPixels = 4.0;
constexpr double ActiveMarkerMargin = 10.0;
constexpr double SlopeSampleStep = 0.005;
constexpr double TangentHalfSpan = 0.01;
constexpr double TitleLeft = 10.0;
constexpr double TitleTop = 10.0;
constexpr double BoxPadding = 6.0;

// An interval between two markers, shown in a bracket row counted from the
// bottom of the display.
struct Interval
{
    const char* format;
    int from;
    int to;
    int row;
};

const Interval Intervals[] = {
    {QT_TRANSLATE_NOOP("QBeatDisplayZoom", "PR\n%1"), QBeatDisplayZoom::POnset, QBeatDisplayZoom::QrsOnset, 1},
    {QT_TRANSLATE_NOOP("QBeatDisplayZoom", "P %1"), QBeatDisplayZoom::POnset, QBeatDisplayZoom::POffset, 0},
    {QT_TRANSLATE_NOOP("QBeatDisplayZoom", "QRS\n%1"), QBeatDisplayZoom::QrsOnset, QBeatDisplayZoom::QrsOffset, 0},
    {QT_TRANSLATE_NOOP("QBeatDisplayZoom", "ST %1"), QBeatDisplayZoom::QrsOffset, QBeatDisplayZoom::TOffset, 1},
    {QT_TRANSLATE_NOOP("QBeatDisplayZoom", "QT %1"), QBeatDisplayZoom::QrsOnset, QBeatDisplayZoom::TOffset, 2},
    {QT_TRANSLATE_NOOP("QBeatDisplayZoom", "T %1"), QBeatDisplayZoom::TOnset, QBeatDisplayZoom::TOffset, 0},
};

const char* const BracketLabels[] = {"(P", "P)", "P^", "(QRS", "QRS)", "(T", "T)"};

// A text on a white box centred on `centre`, half transparent unless
// opaque is asked for.
void drawBoxedText(QPainter& painter, const QPointF& centre, const QString& text, const QColor& color,
                   int alpha = 200)
{
    const QFontMetricsF metrics(painter.font());
    QRectF box(QPointF(0, 0), metrics.size(0, text) + QSizeF(BoxPadding, 2));
    box.moveCenter(centre);
    painter.fillRect(box, QColor(255, 255, 255, alpha));
    painter.setPen(color);
    painter.drawText(box, Qt::AlignCenter, text);
}

} // namespace

QBeatDisplayZoom::QBeatDisplayZoom(QWidget* parent)
    : QWidget(parent)
{
    const QString labels[] = {tr("P on"), tr("P off"), tr("P peak"), tr("QRS on"),
                              tr("QRS off"), tr("T on"), tr("T off")};
    for (const QString& label : labels)
        m_markers.append(MarkerEntry{true, 0.0, QColor(Qt::blue), label});
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

QBeatDisplayZoom::~QBeatDisplayZoom() = default;

void QBeatDisplayZoom::setAverager(const TLiveBeatAverager* averager)
{
    m_averager = averager;
    redraw();
}

void QBeatDisplayZoom::setLeadMask(quint32 mask)
{
    m_leadMask = mask;
    redraw();
}

void QBeatDisplayZoom::showSingleLead(int lead)
{
    setLeadMask(lead >= 0 && lead < 32 ? 1u << lead : 0u);
}

void QBeatDisplayZoom::setGain(double gain)
{
    m_gain = gain;
    redraw();
}

void QBeatDisplayZoom::setZoom(int factor)
{
    if (factor < 1 || factor > MaxZoom)
        return;
    m_zoom = factor;
    m_panX = int(pixmapWidth() / 2 - pixmapWidth() / factor / 2);
    m_panY = int(pixmapHeight() / 2 - pixmapHeight() / factor / 2);
    m_activeMarker = -1;
    restoreCursor();
    redraw();
}

void QBeatDisplayZoom::setMarkerTime(int index, double seconds)
{
    if (!isValidMarker(index))
        return;
    m_markers[index].time = seconds;
    redraw();
}

double QBeatDisplayZoom::markerTime(int index) const
{
    return isValidMarker(index) ? m_markers[index].time : 0.0;
}

void QBeatDisplayZoom::setMarkerShown(int index, bool shown)
{
    if (!isValidMarker(index))
        return;
    m_markers[index].shown = shown;
    redraw();
}

bool QBeatDisplayZoom::isMarkerShown(int index) const
{
    return isValidMarker(index) && m_markers[index].shown;
}

void QBeatDisplayZoom::refresh()
{
    redraw();
}

void QBeatDisplayZoom::paintEvent(QPaintEvent*)
{
    if (m_pixmap.fit(this))
        m_redraw = true;
    if (m_redraw) {
        render();
        m_redraw = false;
    }
    if (m_pixmap.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_pixmap.pixmap());
}

void QBeatDisplayZoom::resizeEvent(QResizeEvent*)
{
    m_pixmap.fit(this);
    clampPan();
    redraw();
}

void QBeatDisplayZoom::mousePressEvent(QMouseEvent* event)
{
    const bool panButton = event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton;
    if (panButton && m_zoom > 1 && m_activeMarker < 0) {
        m_pressed = true;
        m_pressPosition = event->pos();
        setCursor(Qt::ClosedHandCursor);
    }
}

void QBeatDisplayZoom::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && m_activeMarker >= 0)
        dragMarker(event->pos());
    else if ((event->buttons() & (Qt::LeftButton | Qt::MiddleButton)) && m_zoom > 1 && m_pressed)
        pan(event->pos());
    else if (event->buttons() == Qt::NoButton)
        hover(event->pos());
}

void QBeatDisplayZoom::mouseReleaseEvent(QMouseEvent*)
{
    m_pressed = false;
    restoreCursor();
}

double QBeatDisplayZoom::beatSeconds() const
{
    if (!m_averager || m_averager->samplingRate() <= 0 || m_averager->length() <= 0)
        return 1.0;
    return double(m_averager->length()) / m_averager->samplingRate();
}

double QBeatDisplayZoom::xOfTime(double seconds) const
{
    return seconds * pixmapWidth() / beatSeconds();
}

double QBeatDisplayZoom::pixelsPerMillivolt() const
{
    const double majorSquare = pixmapWidth() / beatSeconds() * MajorSquareSeconds;
    return m_gain / 10.0 * 2.0 * majorSquare;
}

QVector<int> QBeatDisplayZoom::shownLeads() const
{
    QVector<int> leads;
    if (!m_averager)
        return leads;
    const int count = std::min(m_averager->signal().channelCount(), 32);
    for (int lead = 0; lead < count; ++lead) {
        if (m_leadMask & (1u << lead))
            leads.append(lead);
    }
    return leads;
}

QPointF QBeatDisplayZoom::toPixmap(const QPointF& point) const
{
    return QPointF(point.x() / m_zoom + m_panX, point.y() / m_zoom + m_panY);
}

QPointF QBeatDisplayZoom::toWidget(const QPointF& point) const
{
    return QPointF((point.x() - m_panX) * m_zoom, (point.y() - m_panY) * m_zoom);
}

QPointF QBeatDisplayZoom::pointAt(double seconds, double millivolts) const
{
    return toWidget(QPointF(xOfTime(seconds), pixmapHeight() / 2 - millivolts * pixelsPerMillivolt()));
}

double QBeatDisplayZoom::valueAt(const std::vector<double>& beat, double index)
{
    if (beat.empty())
        return 0.0;
    const double clamped = std::clamp(index, 0.0, double(beat.size() - 1));
    const std::size_t low = std::size_t(clamped);
    const std::size_t high = std::min(low + 1, beat.size() - 1);
    const double fraction = clamped - double(low);
    return beat[low] * (1.0 - fraction) + beat[high] * fraction;
}

void QBeatDisplayZoom::redraw()
{
    m_redraw = true;
    update();
}

void QBeatDisplayZoom::clampPan()
{
    const int width = int(pixmapWidth()), height = int(pixmapHeight());
    m_panX = std::clamp(m_panX, 0, std::max(0, width - width / m_zoom));
    m_panY = std::clamp(m_panY, 0, std::max(0, height - height / m_zoom));
}

void QBeatDisplayZoom::dragMarker(const QPoint& position)
{
    const double x = std::clamp(toPixmap(position).x(), 0.0, std::max(0.0, pixmapWidth() - 1));
    m_markers[m_activeMarker].time = pixmapWidth() > 0 ? x * beatSeconds() / pixmapWidth() : 0.0;
    redraw();
    emit cursorChanged();
}

void QBeatDisplayZoom::pan(const QPoint& position)
{
    // The press position moves only by the whole pixmap pixels taken, so
    // that the remainder of a slow drag adds up instead of being lost.
    const int dx = (position.x() - m_pressPosition.x()) / m_zoom;
    const int dy = (position.y() - m_pressPosition.y()) / m_zoom;
    m_panX -= dx;
    m_panY -= dy;
    clampPan();
    m_pressPosition += QPoint(dx, dy) * m_zoom;
    redraw();
}

void QBeatDisplayZoom::hover(const QPoint& position)
{
    const double x = toPixmap(position).x();
    int found = -1;
    for (int index = 0; index < m_markers.size() && found < 0; ++index) {
        if (m_markers[index].shown && std::abs(xOfTime(m_markers[index].time) - x) <= HitPixels / m_zoom)
            found = index;
    }
    if (found != m_activeMarker) {
        m_activeMarker = found;
        redraw();
    }
    restoreCursor();
}

void QBeatDisplayZoom::restoreCursor()
{
    if (m_activeMarker >= 0)
        setCursor(Qt::SplitHCursor);
    else
        setCursor(m_zoom > 1 ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

void QBeatDisplayZoom::render()
{
    m_pixmap.fit(this);
    if (m_pixmap.isNull())
        return;
    QPainter painter(&m_pixmap.pixmap());
    painter.fillRect(QRectF(0, 0, pixmapWidth(), pixmapHeight()), Qt::white);
    const QVector<int> leads = shownLeads();
    painter.save();
    if (m_averager) {
        painter.scale(m_zoom, m_zoom);
        painter.translate(-m_panX, -m_panY);
    }
    const double majorSquare = pixmapWidth() / beatSeconds() * MajorSquareSeconds;
    TEcgPaper::drawCentredGrid(painter, QRectF(0, 0, pixmapWidth(), pixmapHeight()), majorSquare, m_zoom);
    drawBeats(painter, leads);
    painter.restore();
    if (leads.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawMarkers(painter);
    drawIntervals(painter);
    if (leads.size() == 1)
        drawSingleLeadAids(painter, leads.front());
    drawTitle(painter, leads);
}

void QBeatDisplayZoom::drawBeats(QPainter& painter, const QVector<int>& leads) const
{
    if (leads.isEmpty())
        return;
    const double lsb = m_averager->signal().lsb();
    const double scale = pixelsPerMillivolt();
    const double middle = pixmapHeight() / 2;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(0, 0, 0, 155 / leads.size() + 100), 1.25 / m_zoom));
    for (int lead : leads) {
        const std::vector<double>& beat = m_averager->average(lead);
        const double step = beat.empty() ? 0.0 : pixmapWidth() / double(beat.size());
        QPolygonF points;
        points.reserve(int(beat.size()));
        for (std::size_t i = 0; i < beat.size(); ++i)
            points.append(QPointF(i * step, middle - beat[i] * lsb * scale));
        painter.drawPolyline(points);
    }
}

void QBeatDisplayZoom::drawMarkers(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);  // crisp one-pixel lines
    for (int index = 0; index < m_markers.size(); ++index) {
        const MarkerEntry& marker = m_markers[index];
        if (!marker.shown)
            continue;
        const double x = xOfTime(marker.time);
        const bool active = index == m_activeMarker;
        const double top = active ? ActiveMarkerMargin : pixmapHeight() / 4;
        const double bottom = active ? pixmapHeight() - ActiveMarkerMargin : pixmapHeight() * 3 / 4;
        QPointF from = toWidget(QPointF(x, top)), to = toWidget(QPointF(x, bottom));
        from.setX(std::floor(from.x()));
        to.setX(from.x());
        painter.setPen(QPen(active ? QColor(Qt::red) : marker.color, 1));
        painter.drawLine(from, to);
        if (active) {
            painter.setFont(displayFont(10, true));
            painter.drawText(from + QPointF(4, QFontMetricsF(painter.font()).ascent()), BracketLabels[index]);
        }
    }
    painter.restore();
}

void QBeatDisplayZoom::drawIntervals(QPainter& painter) const
{
    painter.setFont(displayFont(10));
    const QFontMetricsF metrics(painter.font());
    const double rowStep = 2 * metrics.height() + 8;
    const QPen bracketPen(QColor(Qt::darkBlue), 1, Qt::DashLine);
    for (const Interval& interval : Intervals) {
        if (!isMarkerShown(interval.from) || !isMarkerShown(interval.to))
            continue;
        // Truncated to whole milliseconds; the small allowance keeps 0.3 - 0.2 s at 100 ms.
        const int milliseconds = int((markerTime(interval.to) - markerTime(interval.from)) * 1000 + 1e-6);
        if (milliseconds <= 0)
            continue;
        const double y = pixmapHeight() - 10 - metrics.height() - interval.row * rowStep;
        const double x1 = toWidget(QPointF(xOfTime(markerTime(interval.from)), 0)).x();
        const double x2 = toWidget(QPointF(xOfTime(markerTime(interval.to)), 0)).x();
        painter.setPen(bracketPen);
        painter.drawLine(QLineF(x1, y, x2, y));
        painter.drawLine(QLineF(x1, y - 4, x1, y + 4));
        painter.drawLine(QLineF(x2, y - 4, x2, y + 4));
        drawBoxedText(painter, QPointF((x1 + x2) / 2, y), tr(interval.format).arg(milliseconds),
                      QColor(Qt::darkBlue));
    }
}

void QBeatDisplayZoom::drawSingleLeadAids(QPainter& painter, int lead) const
{
    const std::vector<double>& average = m_averager->average(lead);
    if (average.empty())
        return;
    const double mean = std::accumulate(average.begin(), average.end(), 0.0) / double(average.size());
    std::vector<double> beat(average.size());
    const double lsb = m_averager->signal().lsb();
    std::transform(average.begin(), average.end(), beat.begin(), [&](double v) { return (v - mean) * lsb; });

    const double rate = m_averager->samplingRate();
    // P wave: from the level at its onset to its peak. R wave: from the
    // level at the QRS onset to the highest value of the QRS.
    if (isMarkerShown(POnset) && isMarkerShown(POffset) && isMarkerShown(PPeak))
        drawAmplitudeLevel(painter, beat, POnset, POffset, valueAt(beat, markerTime(PPeak) * rate), 0);
    if (isMarkerShown(QrsOnset) && isMarkerShown(QrsOffset)) {
        const int from = int(std::lround(markerTime(QrsOnset) * rate));
        const int to = int(std::lround(markerTime(QrsOffset) * rate));
        const int first = std::clamp(from, 0, int(beat.size()) - 1);
        const int last = std::clamp(to, first, int(beat.size()) - 1);
        const double peak = *std::max_element(beat.begin() + first, beat.begin() + last + 1);
        drawAmplitudeLevel(painter, beat, QrsOnset, QrsOffset, peak, 1);
    }
    if (m_activeMarker == POnset || m_activeMarker == POffset)
        drawPSlope(painter, beat);
}

// The values stand one under the other below the title, where no marker
// line reaches: beside the levels they would cross the marker lines.
void QBeatDisplayZoom::drawAmplitudeLevel(QPainter& painter, const std::vector<double>& beat, int from,
                                          int to, double level, int row) const
{
    const double rate = m_averager->samplingRate();
    const double start = markerTime(from), end = markerTime(to);
    const double reference = valueAt(beat, start * rate);
    painter.setPen(QPen(QColor(Qt::blue), 1, Qt::DotLine));
    painter.drawLine(pointAt(start, reference), pointAt(end, reference));
    painter.drawLine(pointAt(start, level), pointAt(end, level));
    painter.setFont(displayFont(10));
    const QFontMetricsF metrics(painter.font());
    const QString text = QStringLiteral("%1 %2").arg(m_markers[from].label.section(QLatin1Char(' '), 0, 0),
                                                     QString::asprintf("%.2f mV", level - reference));
    const QSizeF box = metrics.size(0, text) + QSizeF(BoxPadding, BoxPadding);
    const double top = TitleTop + QFontMetricsF(displayFont(14, true)).height() + BoxPadding + row * box.height();
    // Opaque: magnified, the marker lines reach up here.
    drawBoxedText(painter, QPointF(TitleLeft + box.width() / 2, top + box.height() / 2), text, QColor(Qt::blue),
                  255);
}

void QBeatDisplayZoom::drawPSlope(QPainter& painter, const std::vector<double>& beat) const
{
    const double rate = m_averager->samplingRate();
    const double time = markerTime(m_activeMarker);
    const double before = valueAt(beat, (time - SlopeSampleStep) * rate);
    const double at = valueAt(beat, time * rate);
    const double after = valueAt(beat, (time + SlopeSampleStep) * rate);
    // Slope at the middle point of the parabola through the three samples.
    const double slope = (after - before) / (2 * SlopeSampleStep);
    const QPointF end = pointAt(time + TangentHalfSpan, at + slope * TangentHalfSpan);
    painter.setPen(QPen(QColor(Qt::green), 1.5));
    painter.drawLine(pointAt(time - TangentHalfSpan, at - slope * TangentHalfSpan), end);
    painter.setFont(displayFont(10));
    painter.setPen(QColor(Qt::darkGreen));
    painter.drawText(end + QPointF(4, -4), QString::asprintf("\u0394%+.2f mV/s", slope));
}

void QBeatDisplayZoom::drawTitle(QPainter& painter, const QVector<int>& leads) const
{
    QStringList names;
    for (int lead : leads)
        names.append(m_averager->signal().channelName(lead));
    const QFont font = displayFont(14, true);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(TitleLeft, QFontMetricsF(font).height() + TitleTop), names.join(QStringLiteral(", ")));
}
