#include "display/QSignalBrowseDisplay.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/signal/TSignal.h"
#include "display/TAveragedBeatPainter.h"
#include "display/TBeatTimeline.h"
#include "display/TDisplayFont.h"
#include "display/TLeadNames.h"
#include "display/TSampleRunSource.h"
#include "display/TTracePainter.h"
#include "storage/TBeatsFile.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double GapMm = 5.0;
constexpr int TickHeight = 10;
constexpr double CaliperMarkHeight = 17.0;
constexpr double CaliperPointRadius = 2.0;
constexpr double MinimumRrLabelSpeed = 25.0;
constexpr int RulerInset = 2;
// Stretches with an electrode off: light enough that paper and traces read
// through two of them.
constexpr int ElectrodeOffAlpha = 28;

// Seconds between time-ruler labels: the smallest of 1, 5, 10 and 30 s
// that leaves room for one label, else 60 s.
int labelStep(double labelSeconds)
{
    for (int step : {1, 5, 10, 30}) {
        if (labelSeconds <= step)
            return step;
    }
    return 60;
}

int medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return int(*middle);
}

void drawLabel(QPainter& painter, const QRectF& box, const QString& text)
{
    painter.fillRect(box, QColor(255, 255, 255, 192));
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, text);
}

} // namespace

QSignalBrowseDisplay::QSignalBrowseDisplay(QWidget* parent)
    : QWidget(parent)
    , m_colors({{TDisplayColors::Trace, QColor(Qt::black)},
                {TDisplayColors::Background, QColor(Qt::white)},
                {TDisplayColors::Grid, QColor(220, 200, 180)},
                {TDisplayColors::Text, QColor(Qt::gray)},
                {TDisplayColors::Average, QColor(Qt::darkBlue)},
                {TDisplayColors::SecondAverage, QColor(Qt::darkGreen)},
                {TDisplayColors::Highlight, QColor(255, 128, 0, 128)},
                {TDisplayColors::BeatTicks, QColor(Qt::blue)},
                {TDisplayColors::AverageMarks, QColor(Qt::darkRed)}})
    , m_scrollBar(new QScrollBar(Qt::Horizontal, this))
    , m_rowBar(new QLeadRowBar(this))
{
    m_leadVisible.fill(true);
    m_baseline.fill(0);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_scrollBar->setFocusPolicy(Qt::ClickFocus);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &QSignalBrowseDisplay::scrollTo);
    connect(m_rowBar, &QScrollBar::valueChanged, this, [this] {
        m_caliper.active = false;
        changed();
    });
    updateScrollBar();
}

QSignalBrowseDisplay::~QSignalBrowseDisplay() = default;

void QSignalBrowseDisplay::setSignal(TSignal* signal)
{
    m_signal = signal;
    updateRowBar();
    updateScrollBar();
    changed();
}

void QSignalBrowseDisplay::setAverager(TBeatAverager* averager)
{
    m_averager = averager;
    updateScrollBar();
    changed();
}

void QSignalBrowseDisplay::setBeatList(const TBeatsFile* beats)
{
    m_beats = beats;
    changed();
}

void QSignalBrowseDisplay::setMarkedIntervals(const TSampleRunSource* intervals)
{
    m_markedIntervals = intervals;
    changed();
}

void QSignalBrowseDisplay::setGaps(const std::vector<TSignalGaps::Gap>& gaps)
{
    m_gaps = gaps;
    changed();
}

void QSignalBrowseDisplay::setPauses(const std::vector<TBeatPauses::Pause>& pauses)
{
    m_pauses = pauses;
    changed();
}

void QSignalBrowseDisplay::setElectrodesOff(const std::vector<TElectrodeOff::Interval>& intervals)
{
    m_electrodesOff = intervals;
    changed();
}

void QSignalBrowseDisplay::setLeadsNotRecorded(const QVector<int>& leads)
{
    m_notRecorded = leads;
    changed();
}

void QSignalBrowseDisplay::setSpeed(double speed)
{
    m_speed = speed;
    updateScrollBar();
    changed();
}

void QSignalBrowseDisplay::setAmplitude(double amplitude)
{
    m_amplitude = amplitude;
    changed();
}

void QSignalBrowseDisplay::setShowAverage(bool show)
{
    m_showAverage = show;
    updateScrollBar();
    changed();
}

void QSignalBrowseDisplay::setLeadVisible(int lead, bool visible)
{
    if (lead < 0 || lead >= MaxLeads || m_leadVisible[std::size_t(lead)] == visible)
        return;
    m_leadVisible[std::size_t(lead)] = visible;
    updateRowBar();
    updateScrollBar();
    changed();
}

bool QSignalBrowseDisplay::isLeadVisible(int lead) const
{
    return lead >= 0 && lead < MaxLeads && m_leadVisible[std::size_t(lead)];
}

void QSignalBrowseDisplay::setGridStyle(int style)
{
    m_gridStyle = style;
    m_gridCache.discard();
    changed();
}

void QSignalBrowseDisplay::setColor(int role, const QColor& color)
{
    if (m_colors.set(role, color))
        m_gridCache.discard();
    changed();
}

void QSignalBrowseDisplay::refresh()
{
    changed();
}

double QSignalBrowseDisplay::visibleSpan() const
{
    return currentLayout().span;
}

double QSignalBrowseDisplay::duration() const
{
    if (!m_signal || m_signal->samplingRate() <= 0)
        return 0.0;
    return double(m_signal->appendedCount()) / m_signal->samplingRate();
}

bool QSignalBrowseDisplay::caliperReading(double& seconds, double& millivolts)
{
    const Layout layout = currentLayout();
    if (!hasAverages() || !m_caliper.active || m_caliper.row < 0 || m_caliper.row >= layout.leads.size())
        return false;
    const std::vector<double>& beat = m_averager->average(layout.leads[m_caliper.row]);
    const int last = int(beat.size()) - 1;
    const int start = std::clamp(m_caliper.start, 0, last);
    const int end = std::clamp(m_caliper.end, 0, last);
    if (last < 0 || m_averager->samplingRate() <= 0)
        return false;
    seconds = std::abs(end - start) / double(m_averager->samplingRate());
    millivolts = std::abs(beat[std::size_t(end)] - beat[std::size_t(start)]) * m_averager->signal().lsb();
    return true;
}

void QSignalBrowseDisplay::paintEvent(QPaintEvent*)
{
    if (m_pixmap.fit(drawingSize(), devicePixelRatioF()))
        m_repaint = true;
    if (m_repaint) {
        render();
        m_repaint = false;
    }
    if (m_pixmap.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_pixmap.pixmap());
}

void QSignalBrowseDisplay::resizeEvent(QResizeEvent*)
{
    const int barHeight = m_scrollBar->sizeHint().height();
    m_scrollBar->setGeometry(0, height() - barHeight, width(), barHeight);
    updateRowBar();
    m_pixmap.fit(drawingSize(), devicePixelRatioF());
    updateScrollBar();
    changed();
}

void QSignalBrowseDisplay::mousePressEvent(QMouseEvent* event)
{
    const bool dragButton = event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton;
    const Layout layout = currentLayout();
    if (dragButton && event->pos().x() >= layout.stripEnd) {
        m_dragging = true;
        m_dragAnchor = layout.timeAt(event->pos().x(), m_startTime);
    }
    setFocus();
    setMouseTracking(true);
}

void QSignalBrowseDisplay::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_signal)
        return;
    if (m_dragging && (event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) {
        drag(event->pos().x());
        return;
    }
    if (hasAverages())
        moveCaliper(event);
}

void QSignalBrowseDisplay::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
}

void QSignalBrowseDisplay::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_PageDown:
        m_scrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_PageUp:
        m_scrollBar->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_Right:
        m_scrollBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_Left:
        m_scrollBar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Home:
        m_scrollBar->triggerAction(QAbstractSlider::SliderToMinimum);
        break;
    case Qt::Key_End:
        m_scrollBar->triggerAction(QAbstractSlider::SliderToMaximum);
        break;
    default:
        if (!m_rowBar->moveByKey(event))
            QWidget::keyPressEvent(event);
    }
}

void QSignalBrowseDisplay::wheelEvent(QWheelEvent* event)
{
    if (!m_rowBar->moveByWheel(event))
        QWidget::wheelEvent(event);
}

int QSignalBrowseDisplay::Layout::rowAt(double y) const
{
    if (leads.isEmpty() || rowHeight <= 0.0 || y < 0.0 || y >= paper.height)
        return -1;
    return std::min(int(y / rowHeight), leads.size() - 1);
}

double QSignalBrowseDisplay::Layout::timeAt(double x, double startTime) const
{
    const double area = areaWidth();
    return area > 0.0 ? (x - signalX()) * span / area + startTime : startTime;
}

double QSignalBrowseDisplay::Layout::beatTimeAt(double x) const
{
    if (beatWidth == 0 || x >= stripEnd)
        return 0.0;
    return (x - beatX) * beatTime / beatWidth;
}

void QSignalBrowseDisplay::changed()
{
    m_repaint = true;
    update();
}

QSize QSignalBrowseDisplay::drawingSize() const
{
    return QSize(std::max(0, width() - m_rowBar->reservedWidth()),
                 std::max(0, height() - m_scrollBar->sizeHint().height()));
}

void QSignalBrowseDisplay::updateRowBar()
{
    m_rowBar->fit(visibleLeads(m_signal, m_leadVisible).size(), drawingSize().height());
}

QSignalBrowseDisplay::Layout QSignalBrowseDisplay::currentLayout() const
{
    Layout layout;
    layout.paper = TPaperScale::of(this, drawingSize());
    const double screenTime = layout.paper.screenTime(m_speed);
    const double pixelsPerCm = layout.paper.pixelsPerCm();
    layout.beatTime = averageDuration();
    layout.span = screenTime;
    if (layout.beatTime > 0.0)
        layout.span -= layout.beatTime + GapMm / m_speed;
    layout.span = std::max(layout.span, 0.0);
    if (screenTime > 0.0)
        layout.beatWidth = int(layout.paper.width * layout.beatTime / screenTime);
    if (layout.beatWidth != 0)
        layout.stripEnd = layout.beatWidth + int(0.5 * pixelsPerCm);
    layout.beatX = int(0.25 * pixelsPerCm);
    if (!m_signal)
        return layout;
    layout.countScale = layout.paper.countScale(*m_signal, m_amplitude);
    layout.leads = m_rowBar->shownLeads(visibleLeads(m_signal, m_leadVisible), drawingSize().height());
    if (!layout.leads.isEmpty())
        layout.rowHeight = layout.paper.height / layout.leads.size();
    return layout;
}

double QSignalBrowseDisplay::averageDuration() const
{
    if (!m_showAverage || !m_averager || m_averager->samplingRate() <= 0)
        return 0.0;
    return double(m_averager->length()) / m_averager->samplingRate();
}

bool QSignalBrowseDisplay::hasAverages() const
{
    return m_showAverage && m_averager;
}

void QSignalBrowseDisplay::updateScrollBar()
{
    const double span = visibleSpan();
    const double total = duration();
    const int maximum = span < total ? int((total - span) * 100) : 0;
    m_scrollBar->setRange(0, maximum);
    m_scrollBar->setSingleStep(int(span * 10));
    m_scrollBar->setPageStep(int(span * 100));
    m_scrollBar->setEnabled(maximum > 0);
    const double latest = std::max(0.0, total - span);
    if (m_startTime > latest)
        setStartTime(latest);
}

void QSignalBrowseDisplay::scrollTo(int value)
{
    m_startTime = value * 0.01;
    changed();
    emit startTimeChanged();
}

void QSignalBrowseDisplay::setStartTime(double seconds)
{
    if (seconds == m_startTime)
        return;
    m_startTime = seconds;
    {
        const QSignalBlocker blocker(m_scrollBar);
        m_scrollBar->setValue(int(std::lround(seconds * 100)));
    }
    changed();
    emit startTimeChanged();
}

void QSignalBrowseDisplay::drag(double x)
{
    const Layout layout = currentLayout();
    const double latest = std::max(0.0, duration() - layout.span);
    const double moved = layout.timeAt(x, m_startTime) - m_dragAnchor;
    setStartTime(std::clamp(m_startTime - moved, 0.0, latest));
    m_dragAnchor = layout.timeAt(x, m_startTime);
}

void QSignalBrowseDisplay::moveCaliper(const QMouseEvent* event)
{
    const Layout layout = currentLayout();
    const int row = layout.rowAt(event->pos().y());
    const int index = int(layout.beatTimeAt(event->pos().x()) * m_averager->samplingRate());
    const bool held = event->buttons() & Qt::LeftButton;
    if (index <= 0 || index >= m_averager->length())
        m_caliper.active = false;
    else if (m_caliper.active && m_caliper.held && held && row == m_caliper.row)
        m_caliper.end = index;
    else
        m_caliper = Caliper{true, row, index, index, held};
    changed();
}

void QSignalBrowseDisplay::render()
{
    m_pixmap.fit(drawingSize(), devicePixelRatioF());
    if (m_pixmap.isNull())
        return;
    QPainter painter(&m_pixmap.pixmap());
    const Layout layout = currentLayout();
    m_gridCache.paint(painter, m_pixmap, layout.paper.pixelsPerMm(), m_colors.at(TDisplayColors::Background),
                      m_colors.at(TDisplayColors::Grid), m_gridStyle);
    if (layout.span <= 0.0)
        return;
    drawTraces(painter, layout);
    drawAverages(painter, layout);
    if (m_signal)
        drawLeadNames(painter, *m_signal, layout.leads, layout.rowHeight, m_colors);
    drawTimeRuler(painter, layout);
    drawBeatTicks(painter, layout);
    drawLeadsNotRecorded(painter, layout);
    drawElectrodesOff(painter, layout);
    drawGaps(painter, layout);
    drawCaliper(painter, layout);
}

// The signal on either side of a join is contiguous on screen but not in
// time: the join is drawn across every lead, with the time lost. A pause of
// the rhythm is marked the same way in its middle, with its length.
void QSignalBrowseDisplay::drawGaps(QPainter& painter, const Layout& layout) const
{
    for (const TSignalGaps::Gap& gap : m_gaps)
        drawEventMark(painter, layout, gap.seconds, tr("Signal lost %1 s").arg(gap.lostSeconds, 0, 'f', 1));
    for (const TBeatPauses::Pause& pause : m_pauses)
        drawEventMark(painter, layout, pause.seconds + pause.lengthSeconds / 2.0,
                      tr("Pause %1 s").arg(pause.lengthSeconds, 0, 'f', 1));
}

void QSignalBrowseDisplay::drawEventMark(QPainter& painter, const Layout& layout, double seconds,
                                         const QString& text) const
{
    const double offset = (seconds - m_startTime) * (layout.areaWidth() / layout.span);
    if (offset < 0.0 || offset > layout.areaWidth())
        return;
    const QFont font = displayFont(8, true);
    painter.save();
    painter.setClipRect(QRectF(layout.signalX(), 0, layout.areaWidth(), layout.paper.height));
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double x = layout.signalX() + offset;
    painter.setPen(QPen(m_colors.at(TDisplayColors::Cursor), 2, Qt::DashLine));
    painter.drawLine(QLineF(x, 0, x, layout.paper.height));
    drawPlate(painter, layout, x + 3, 1.5 * metrics.height(), text);
    painter.restore();
}

// Stretches with an electrode off are shaded across every lead and named,
// one label line per interval, below the labels of the joins.
void QSignalBrowseDisplay::drawElectrodesOff(QPainter& painter, const Layout& layout) const
{
    const QFont font = displayFont(8, true);
    painter.save();
    painter.setClipRect(QRectF(layout.signalX(), 0, layout.areaWidth(), layout.paper.height));
    painter.setFont(font);
    const double lineHeight = QFontMetricsF(font).height() + 4;
    const double scale = layout.areaWidth() / layout.span;
    int line = 0;
    for (const TElectrodeOff::Interval& interval : m_electrodesOff) {
        const double left = std::max((interval.start - m_startTime) * scale, 0.0);
        const double right = std::min((interval.start + interval.seconds - m_startTime) * scale, layout.areaWidth());
        if (right <= left)
            continue;
        const double x = layout.signalX() + left;
        QColor shade = m_colors.at(TDisplayColors::Highlight);
        shade.setAlpha(ElectrodeOffAlpha);
        painter.fillRect(QRectF(x, 0, right - left, layout.paper.height), shade);
        drawPlate(painter, layout, x + 3, (3 + line++) * lineHeight, tr("Electrode %1 off").arg(interval.electrode));
    }
    painter.restore();
}

// A flat line reads as a lead without activity: the leads the recording
// lacks say so in the middle of their row.
void QSignalBrowseDisplay::drawLeadsNotRecorded(QPainter& painter, const Layout& layout) const
{
    painter.save();
    painter.setFont(displayFont(10, true));
    const QFontMetricsF metrics(painter.font());
    const QString text = tr("not recorded");
    for (int row = 0; row < layout.leads.size(); ++row) {
        if (!m_notRecorded.contains(layout.leads[row]))
            continue;
        const double x = layout.signalX() + (layout.areaWidth() - metrics.horizontalAdvance(text)) / 2.0;
        drawPlate(painter, layout, x, layout.rowCentre(row) - metrics.height() / 2.0 - 1.0, text);
    }
    painter.restore();
}

void QSignalBrowseDisplay::drawPlate(QPainter& painter, const Layout& layout, double x, double y,
                                     const QString& text) const
{
    const QFontMetricsF metrics(painter.font());
    const double width = metrics.horizontalAdvance(text) + 6;
    const double right = layout.signalX() + layout.areaWidth();
    const QRectF box(x + width <= right ? x : x - width - 6, y, width, metrics.height() + 2);
    painter.fillRect(box, m_colors.at(TDisplayColors::Background));
    painter.setPen(m_colors.at(TDisplayColors::Trace));
    painter.drawText(box, Qt::AlignCenter, text);
}

void QSignalBrowseDisplay::drawTraces(QPainter& painter, const Layout& layout)
{
    if (layout.stripEnd > 0) {
        painter.setPen(QPen(m_colors.at(TDisplayColors::Trace), 1));
        painter.drawLine(QLineF(layout.stripEnd, 0, layout.stripEnd, layout.paper.height));
    }
    if (!m_signal || layout.leads.isEmpty())
        return;
    const int first = m_signal->timeToSamples(m_startTime);
    const int nominal = m_signal->timeToSamples(layout.span);
    const int available = std::clamp(m_signal->appendedCount() - first, 0, std::max(nominal, 0));
    const int columns = int(layout.areaWidth());
    if (nominal <= 0 || columns <= 0 || available <= 0)
        return;
    for (int row = 0; row < layout.leads.size(); ++row) {
        if (nominal < columns)
            drawLeadPolyline(painter, layout, row, first, available, nominal);
        else
            drawLeadColumns(painter, layout, row, first, available, nominal);
    }
}

void QSignalBrowseDisplay::drawLeadColumns(QPainter& painter, const Layout& layout, int row, int first,
                                           int available, int nominal)
{
    const int lead = layout.leads[row];
    const int columns = int(qint64(layout.areaWidth()) * available / nominal);
    if (columns <= 0)
        return;
    m_envelope.reset(columns);
    m_signal->channel(lead).envelope(first, available, columns, false, m_envelope.minima(), m_envelope.maxima());
    m_baseline[std::size_t(lead)] = m_envelope.medianLevel();
    if (m_markedIntervals)
        m_envelope.markRuns(*m_markedIntervals, lead, first, first + available - 1, first, available);
    TTraceLane lane;
    lane.x0 = layout.signalX();
    lane.centre = layout.rowCentre(row);
    lane.scale = layout.countScale;
    lane.offset = m_baseline[std::size_t(lead)];
    painter.setRenderHint(QPainter::Antialiasing, false);
    m_envelope.draw(painter, lane, QPen(m_colors.at(TDisplayColors::Trace), 1),
                    QPen(m_colors.at(TDisplayColors::Highlight), 2), columns);
}

void QSignalBrowseDisplay::drawLeadPolyline(QPainter& painter, const Layout& layout, int row, int first,
                                            int available, int nominal)
{
    const int lead = layout.leads[row];
    m_samples.resize(std::size_t(available));
    m_signal->readRange(lead, first, available, m_samples.data());
    m_baseline[std::size_t(lead)] = medianOf(m_samples);
    TTraceLane lane;
    lane.x0 = layout.signalX();
    lane.centre = layout.rowCentre(row);
    lane.scale = layout.countScale;
    lane.offset = m_baseline[std::size_t(lead)];
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(m_colors.at(TDisplayColors::Trace), 1));
    const double step = layout.areaWidth() / nominal;
    painter.drawPolyline(TTracePainter::polyline(m_samples.data(), available, lane, step));
    painter.restore();
}

void QSignalBrowseDisplay::drawAverages(QPainter& painter, const Layout& layout)
{
    if (!hasAverages() || layout.beatWidth <= 0)
        return;
    for (int row = 0; row < layout.leads.size(); ++row) {
        TTraceLane lane;
        lane.x0 = layout.beatX;
        lane.centre = layout.rowCentre(row);
        lane.scale = layout.countScale;
        TAveragedBeatPainter::draw(painter, *m_averager, layout.leads[row], lane, layout.beatWidth, m_colors);
    }
}

void QSignalBrowseDisplay::drawTimeRuler(QPainter& painter, const Layout& layout) const
{
    const QFont font = displayFont(10, true);
    const QFontMetricsF metrics(font);
    const double area = layout.areaWidth();
    if (area <= 0.0)
        return;
    const int step = labelStep(metrics.horizontalAdvance(QStringLiteral("00:00")) * layout.span / area);
    const qint64 from = qint64(std::floor(m_startTime));
    const qint64 last = qint64(std::floor(m_startTime + layout.span));
    painter.save();
    painter.setClipRect(QRectF(layout.signalX(), 0, area, layout.paper.height));
    painter.setFont(font);
    painter.setPen(m_colors.readable(TDisplayColors::Text));
    for (qint64 second = (from + step - 1) / step * step; second <= last; second += step) {
        const QString text = QString::asprintf("%2.2i:%2.2i", int(second / 60 % 60), int(second % 60));
        const double width = metrics.horizontalAdvance(text);
        const double x = layout.signalX() + (second - m_startTime) * area / layout.span;
        // A label at either edge of the signal area is moved inside it
        // rather than cut by the clip or hidden under the beat strip.
        const double left = std::clamp(x - width / 2, double(layout.signalX() + RulerInset),
                                       std::max(double(layout.signalX() + RulerInset),
                                                layout.signalX() + area - width - RulerInset));
        painter.drawText(QPointF(left, layout.paper.height - 4), text);
    }
    painter.restore();
}

namespace {

// An x across the place of a tick.
void drawRejectedMark(QPainter& painter, const QPointF& centre, double half)
{
    painter.drawLine(QLineF(centre.x() - half, centre.y() - half, centre.x() + half, centre.y() + half));
    painter.drawLine(QLineF(centre.x() - half, centre.y() + half, centre.x() + half, centre.y() - half));
}

} // namespace

void QSignalBrowseDisplay::drawBeatTicks(QPainter& painter, const Layout& layout) const
{
    if (!m_beats || !m_signal)
        return;
    int index = TBeatTimeline::firstAtOrAfter(*m_beats, m_startTime);
    if (index < 0)
        index = TBeatTimeline::lastBefore(*m_beats, m_startTime);
    if (index < 0)
        return;
    const QFont font = displayFont(8, false);
    const QFontMetricsF metrics(font);
    const double area = layout.areaWidth();
    const double end = m_startTime + layout.span;
    painter.save();
    painter.setClipRect(QRectF(layout.signalX(), 0, area, layout.paper.height));
    painter.setFont(font);
    painter.setPen(QPen(m_colors.at(TDisplayColors::BeatTicks), 2));
    bool ticked = false;
    double previousX = 0.0;
    double previousTime = 0.0;
    TBeat beat;
    for (; index < m_beats->count() && m_beats->read(index, beat); ++index) {
        if (beat.windowStart() >= end)
            break;
        const double offset = (beat.value(TBeat::QrsTime) - m_startTime) * (area / layout.span);
        if (offset <= 0.0)
            continue;
        const double x = layout.signalX() + offset;
        // A rejected beat is crossed out; RR labels join the valid beats,
        // whose intervals skip it.
        if (!beat.isValid()) {
            drawRejectedMark(painter, QPointF(x, TickHeight / 2.0), TickHeight / 2.0);
            continue;
        }
        painter.drawLine(QLineF(x, 0, x, TickHeight));
        const double time = beat.value(TBeat::QrsTime);
        if (ticked && m_speed >= MinimumRrLabelSpeed && !TSignalGaps::joinBetween(m_gaps, previousTime, time)) {
            const QString text = QString::asprintf("%d", int(beat.value(TBeat::RrInterval) * 1000));
            const double middle = (previousX + x) / 2;
            painter.drawText(QPointF(middle - metrics.horizontalAdvance(text) / 2, metrics.height()), text);
        }
        ticked = true;
        previousX = x;
        previousTime = time;
    }
    painter.restore();
}

QPointF QSignalBrowseDisplay::caliperPoint(const Layout& layout, const std::vector<double>& beat,
                                           int index) const
{
    const double time = double(index) / m_averager->samplingRate();
    return QPointF(layout.beatX + time * layout.beatWidth / layout.beatTime,
                   layout.rowCentre(m_caliper.row) - beat[std::size_t(index)] * layout.countScale);
}

void QSignalBrowseDisplay::drawCaliper(QPainter& painter, const Layout& layout)
{
    double seconds = 0.0, millivolts = 0.0;
    if (layout.beatWidth <= 0 || !caliperReading(seconds, millivolts))
        return;
    const std::vector<double>& beat = m_averager->average(layout.leads[m_caliper.row]);
    const int last = int(beat.size()) - 1;
    const QPointF a = caliperPoint(layout, beat, std::clamp(m_caliper.start, 0, last));
    const QPointF b = caliperPoint(layout, beat, std::clamp(m_caliper.end, 0, last));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::red, 1));
    if (!m_caliper.held) {
        painter.drawLine(QLineF(a.x(), a.y() - CaliperMarkHeight / 2, a.x(), a.y() + CaliperMarkHeight / 2));
        painter.restore();
        return;
    }
    painter.setBrush(QColor(255, 0, 0, 128));
    painter.drawPolygon(QPolygonF({a, b, QPointF(b.x(), a.y())}));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(a, CaliperPointRadius, CaliperPointRadius);
    painter.drawEllipse(b, CaliperPointRadius, CaliperPointRadius);

    const QFont font = displayFont(10, true);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    const QString time = QString::asprintf("%.0f %s", seconds * 1000, qUtf8Printable(tr("ms")));
    const QString amplitude = QString::asprintf("%.1f %s (%.0f %s)", millivolts, qUtf8Printable(tr("mV")),
                                                millivolts * 10, qUtf8Printable(tr("mm")));
    const QPointF higher = a.y() <= b.y() ? a : b;
    const QPointF rightmost = a.x() >= b.x() ? a : b;
    QRectF timeBox(QPointF(0, 0), metrics.size(0, time) + QSizeF(4, 0));
    timeBox.moveCenter(QPointF(higher.x(), higher.y() - 4 - timeBox.height() / 2));
    QRectF amplitudeBox(QPointF(0, 0), metrics.size(0, amplitude) + QSizeF(4, 0));
    amplitudeBox.moveCenter(QPointF(rightmost.x() + 4 + amplitudeBox.width() / 2, rightmost.y()));
    drawLabel(painter, timeBox, time);
    drawLabel(painter, amplitudeBox, amplitude);
    painter.restore();
}
