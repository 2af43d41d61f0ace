#include "display/QSignalMonitorDisplay.h"

#include "analysis/beats/TBeatAverager.h"
#include "analysis/signal/TSignal.h"
#include "display/TAveragedBeatPainter.h"
#include "display/TLeadNames.h"
#include "display/TSampleRunSource.h"
#include "display/TTracePainter.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int SpinnerIntervalMs = 200;
constexpr int GapPixels = 5;
constexpr double MarginMm = 5.0;
constexpr double SpinnerOuter = 60.0;
constexpr double SpinnerInner = 30.0;
constexpr double SegmentStep = 36.0;
constexpr double SegmentSpan = 30.0;

} // namespace

QSignalMonitorDisplay::QSignalMonitorDisplay(QWidget* parent)
    : QWidget(parent)
    , m_colors({{TDisplayColors::Trace, QColor(Qt::black)},
                {TDisplayColors::Background, QColor(Qt::white)},
                {TDisplayColors::Grid, QColor(220, 200, 180)},
                {TDisplayColors::Text, QColor(Qt::lightGray)},
                {TDisplayColors::Average, QColor(Qt::darkBlue)},
                {TDisplayColors::SecondAverage, QColor(0, 128, 0, 128)},
                {TDisplayColors::Highlight, QColor(255, 128, 0)},
                {TDisplayColors::Cursor, QColor(Qt::gray)},
                {TDisplayColors::AverageMarks, QColor(Qt::darkRed)}})
    , m_spinnerTimer(new QTimer(this))
    , m_rowBar(new QLeadRowBar(this))
{
    m_leadVisible.fill(true);
    m_leadOffset.fill(0);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_spinnerTimer->setInterval(SpinnerIntervalMs);
    connect(m_spinnerTimer, &QTimer::timeout, this, &QSignalMonitorDisplay::turnSpinner);
    m_spinnerTimer->start();
    // Rows that come into sight are centred anew before they are drawn.
    connect(m_rowBar, &QScrollBar::valueChanged, this, [this] {
        resetSweeps();
        refresh();
    });
}

QSignalMonitorDisplay::~QSignalMonitorDisplay() = default;

void QSignalMonitorDisplay::setSignal(TSignal* signal)
{
    m_signal = signal;
    resetSweeps();
    updateRowBar();
    refresh();
}

void QSignalMonitorDisplay::setLeadIn(TSignal* leadIn)
{
    m_leadIn = leadIn;
}

void QSignalMonitorDisplay::setAverager(TBeatAverager* averager)
{
    m_averager = averager;
    refresh();
}

void QSignalMonitorDisplay::setHighlighter(const TSampleRunSource* highlighter)
{
    m_highlighter = highlighter;
    refresh();
}

void QSignalMonitorDisplay::setShowAverage(bool show)
{
    m_showAverage = show;
    refresh();
}

void QSignalMonitorDisplay::setSpeed(double speed)
{
    m_speed = speed;
    refresh();
}

void QSignalMonitorDisplay::setAmplitude(double amplitude)
{
    m_amplitude = amplitude;
    refresh();
}

void QSignalMonitorDisplay::setBaselineCentering(bool centering)
{
    m_baselineCentering = centering;
    resetSweeps();
    refresh();
}

void QSignalMonitorDisplay::setLeadVisible(int lead, bool visible)
{
    if (lead < 0 || lead >= MaxLeads || m_leadVisible[std::size_t(lead)] == visible)
        return;
    m_leadVisible[std::size_t(lead)] = visible;
    updateRowBar();
    refresh();
}

bool QSignalMonitorDisplay::isLeadVisible(int lead) const
{
    return lead >= 0 && lead < MaxLeads && m_leadVisible[std::size_t(lead)];
}

void QSignalMonitorDisplay::setColor(int role, const QColor& color)
{
    if (m_colors.set(role, color))
        m_gridCache.discard();
}

void QSignalMonitorDisplay::refresh()
{
    render();
    update();
}

void QSignalMonitorDisplay::paintEvent(QPaintEvent*)
{
    if (fitBackBuffer())
        render();
    if (m_backBuffer.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_backBuffer.pixmap());
}

void QSignalMonitorDisplay::resizeEvent(QResizeEvent*)
{
    updateRowBar();
    refresh();
}

void QSignalMonitorDisplay::wheelEvent(QWheelEvent* event)
{
    if (!m_rowBar->moveByWheel(event))
        QWidget::wheelEvent(event);
}

void QSignalMonitorDisplay::resetSweeps()
{
    m_leadOffset.fill(0);
    m_lastSweep = -1;
}

QSize QSignalMonitorDisplay::drawingSize() const
{
    return QSize(std::max(0, width() - m_rowBar->reservedWidth()), height());
}

bool QSignalMonitorDisplay::fitBackBuffer()
{
    return m_backBuffer.fit(drawingSize(), devicePixelRatioF());
}

void QSignalMonitorDisplay::updateRowBar()
{
    m_rowBar->fit(visibleLeads(m_signal, m_leadVisible).size(), height());
}

void QSignalMonitorDisplay::render()
{
    fitBackBuffer();
    if (m_backBuffer.isNull())
        return;
    QPainter painter(&m_backBuffer.pixmap());
    const Frame frame = makeFrame();
    m_gridCache.paint(painter, m_backBuffer, frame.paper.pixelsPerMm(), m_colors.at(TDisplayColors::Background),
                      m_colors.at(TDisplayColors::Grid), TEcgPaper::DotGrid);
    if (!frame.leads.isEmpty()) {
        drawTrace(painter, frame);
        drawAveragePanel(painter, frame);
        drawLeadNames(painter, *m_signal, frame.leads, frame.laneHeight, m_colors);
    }
    drawSpinner(painter, frame);
}

QSignalMonitorDisplay::Frame QSignalMonitorDisplay::makeFrame() const
{
    Frame frame;
    frame.paper = TPaperScale::of(this, m_backBuffer.size());
    frame.screenTime = frame.paper.screenTime(m_speed);
    if (!m_signal)
        return frame;
    frame.countScale = frame.paper.countScale(*m_signal, m_amplitude);
    frame.leads = m_rowBar->shownLeads(visibleLeads(m_signal, m_leadVisible), m_backBuffer.size().height());
    if (!frame.leads.isEmpty())
        frame.laneHeight = frame.paper.height / frame.leads.size();
    return frame;
}

double QSignalMonitorDisplay::averageDuration() const
{
    if (!m_showAverage || !m_averager || m_averager->samplingRate() <= 0)
        return 0.0;
    return double(m_averager->length()) / m_averager->samplingRate();
}

bool QSignalMonitorDisplay::planSweep(const Frame& frame, Sweep& sweep) const
{
    const double width = frame.paper.width;
    const double averageTime = averageDuration();
    double traceTime = frame.screenTime;
    const int panelPixels = int(width * averageTime / frame.screenTime);
    if (panelPixels > 0) {
        sweep.panel = panelPixels + int(frame.paper.pixelsPerCm() * 0.5);
        traceTime -= averageTime + MarginMm / m_speed;
    }
    sweep.width = int(width) - sweep.panel;
    const int rate = m_signal->samplingRate();
    if (sweep.width <= 0 || traceTime <= 0.0 || rate <= 0)
        return false;
    sweep.appended = m_signal->appendedCount();
    const double duration = double(sweep.appended) / rate;
    sweep.number = int(std::floor(duration / traceTime));
    sweep.samples = m_signal->timeToSamples(traceTime);
    sweep.start = m_signal->timeToSamples(sweep.number * traceTime);
    sweep.first = sweep.number == 0;
    if (sweep.samples <= 0)
        return false;
    const qint64 written = qint64(sweep.appended) - sweep.start - 1;
    sweep.cursor = int(std::clamp<qint64>(written * sweep.width / sweep.samples, 0, sweep.width - 1));
    return true;
}

void QSignalMonitorDisplay::drawTrace(QPainter& painter, const Frame& frame)
{
    Sweep sweep;
    if (frame.screenTime <= 0.0 || !planSweep(frame, sweep))
        return;
    if (sweep.panel > 0) {
        painter.setPen(QPen(m_colors.at(TDisplayColors::Trace), 1));
        painter.drawLine(QLineF(sweep.panel, 0, sweep.panel, frame.paper.height));
    }
    int cursor = sweep.cursor;
    if (sweep.samples >= sweep.width) {
        drawColumns(painter, frame, sweep);
        cursor = std::max(cursor, drawLeadIn(painter, frame, sweep));
    } else {
        drawPolylines(painter, frame, sweep);
    }

    const double x = sweep.panel + cursor;
    painter.setPen(QPen(m_colors.at(TDisplayColors::Cursor), 1, Qt::DotLine));
    painter.drawLine(QLineF(x, 0, x, frame.paper.height));
}

void QSignalMonitorDisplay::centreLeads(const Frame& frame, const Sweep& sweep)
{
    const int count = std::min(sweep.samples, sweep.appended);
    m_samples.resize(std::size_t(std::max(count, 0)));
    for (int lead : frame.leads) {
        if (count <= 0) {
            m_leadOffset[std::size_t(lead)] = 0;
            continue;
        }
        m_signal->readRange(lead, sweep.appended - count, count, m_samples.data());
        double sum = 0.0;
        for (double value : m_samples)
            sum += value;
        m_leadOffset[std::size_t(lead)] = int(sum / count);
    }
}

void QSignalMonitorDisplay::drawColumns(QPainter& painter, const Frame& frame, const Sweep& sweep)
{
    if (m_baselineCentering && (sweep.appended < m_signal->blockSize() || sweep.number != m_lastSweep)) {
        centreLeads(frame, sweep);
        m_lastSweep = sweep.number;
    }
    const int limit = sweep.first ? sweep.cursor : sweep.width;
    const QPen pen(m_colors.at(TDisplayColors::Trace), 1);
    const QPen markedPen(m_colors.at(TDisplayColors::Highlight), 2);
    for (int lane = 0; lane < frame.leads.size(); ++lane) {
        const int lead = frame.leads[lane];
        m_envelope.reset(sweep.width);
        m_signal->channel(lead).envelope(sweep.start, sweep.samples, sweep.width, true,
                                         m_envelope.minima(), m_envelope.maxima());
        markHighlights(lead, sweep);
        TTraceLane trace;
        trace.x0 = sweep.panel;
        trace.centre = frame.laneCentre(lane);
        trace.scale = frame.countScale;
        trace.offset = m_leadOffset[std::size_t(lead)];
        m_envelope.draw(painter, trace, pen, markedPen, limit, sweep.cursor, sweep.cursor + GapPixels);
    }
}

// The lead-in is centred on its own median level: the baseline filter has
// not yet taken its offset away.
int QSignalMonitorDisplay::drawLeadIn(QPainter& painter, const Frame& frame, const Sweep& sweep)
{
    if (!m_leadIn || !sweep.first)
        return -1;
    const int count = std::min(m_leadIn->appendedCount(), sweep.start + sweep.samples) - sweep.start;
    const int columns = int(qint64(sweep.width) * std::max(count, 0) / sweep.samples);
    if (columns <= sweep.cursor)
        return -1;
    const QPen pen(m_colors.at(TDisplayColors::Trace), 1);
    for (int lane = 0; lane < frame.leads.size(); ++lane) {
        const int lead = frame.leads[lane];
        m_envelope.reset(columns);
        m_leadIn->channel(lead).envelope(sweep.start, count, columns, false, m_envelope.minima(),
                                         m_envelope.maxima());
        TTraceLane trace;
        trace.x0 = sweep.panel;
        trace.centre = frame.laneCentre(lane);
        trace.scale = frame.countScale;
        trace.offset = m_envelope.medianLevel();
        m_envelope.draw(painter, trace, pen, pen, columns, 0, sweep.cursor);
    }
    return columns - 1;
}

void QSignalMonitorDisplay::markHighlights(int lead, const Sweep& sweep)
{
    if (!m_highlighter)
        return;
    const int newest = sweep.appended - 1;
    m_envelope.markRuns(*m_highlighter, lead, sweep.start, newest, sweep.start, sweep.samples);
    if (!sweep.first) {
        const int previous = sweep.start - sweep.samples;
        m_envelope.markRuns(*m_highlighter, lead, sweep.appended - sweep.samples, sweep.start - 1,
                            previous, sweep.samples);
    }
}

void QSignalMonitorDisplay::drawPolylines(QPainter& painter, const Frame& frame, const Sweep& sweep)
{
    const double step = double(sweep.width) / sweep.samples;
    const int currentCount = std::clamp(sweep.appended - sweep.start, 0, sweep.samples + 1);
    const int previousFirst = sweep.appended - 1 - sweep.samples;
    const int previousCount = sweep.first ? 0 : std::max(sweep.start - previousFirst + 1, 0);
    m_samples.resize(std::size_t(std::max(currentCount, previousCount)));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(m_colors.at(TDisplayColors::Trace), 1));
    for (int lane = 0; lane < frame.leads.size(); ++lane) {
        const int lead = frame.leads[lane];
        TTraceLane trace;
        trace.centre = frame.laneCentre(lane);
        trace.scale = frame.countScale;
        trace.x0 = sweep.panel;
        m_signal->readRange(lead, sweep.start, currentCount, m_samples.data());
        painter.drawPolyline(TTracePainter::polyline(m_samples.data(), currentCount, trace, step));
        if (previousCount > 0) {
            trace.x0 = sweep.panel + (previousFirst - sweep.start + sweep.samples) * step;
            m_signal->readRange(lead, previousFirst, previousCount, m_samples.data());
            painter.drawPolyline(TTracePainter::polyline(m_samples.data(), previousCount, trace, step));
        }
    }
    painter.restore();
}

void QSignalMonitorDisplay::drawAveragePanel(QPainter& painter, const Frame& frame)
{
    const double averageTime = averageDuration();
    if (averageTime <= 0.0 || frame.screenTime <= 0.0)
        return;
    const double width = frame.paper.width * averageTime / frame.screenTime;
    for (int lane = 0; lane < frame.leads.size(); ++lane) {
        TTraceLane trace;
        trace.x0 = int(frame.paper.pixelsPerCm() / 4);
        trace.centre = frame.laneCentre(lane);
        trace.scale = frame.countScale;
        TAveragedBeatPainter::draw(painter, *m_averager, frame.leads[lane], trace, width, m_colors);
    }
}

bool QSignalMonitorDisplay::isWaiting() const
{
    return m_signal && m_signal->appendedCount() == 0 && !(m_leadIn && m_leadIn->appendedCount() > 0);
}

void QSignalMonitorDisplay::drawSpinner(QPainter& painter, const Frame& frame) const
{
    if (!isWaiting())
        return;
    const QPointF centre(frame.paper.width / 2, frame.paper.height / 2);
    const QRectF outer(centre.x() - SpinnerOuter / 2, centre.y() - SpinnerOuter / 2, SpinnerOuter, SpinnerOuter);
    const QRectF inner(centre.x() - SpinnerInner / 2, centre.y() - SpinnerInner / 2, SpinnerInner, SpinnerInner);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    for (int segment = 0; segment < SpinnerSteps; ++segment) {
        const double start = segment * SegmentStep;
        QPainterPath path;
        path.arcMoveTo(outer, start);
        path.arcTo(outer, start, SegmentSpan);
        path.arcTo(inner, start + SegmentSpan, -SegmentSpan);
        path.closeSubpath();
        const int level = segment == m_spinnerStep ? 128 : 192;
        painter.fillPath(path, QColor(level, level, level, 128));
    }
    painter.restore();
}

void QSignalMonitorDisplay::turnSpinner()
{
    if (!isWaiting())
        return;
    m_spinnerStep = (m_spinnerStep + SpinnerSteps - 1) % SpinnerSteps;
    refresh();
}
