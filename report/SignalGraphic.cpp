#include "report/SignalGraphic.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/signal/TRounding.h"
#include "analysis/signal/TSignal.h"
#include "report/TBeatListSearch.h"
#include "report/TGraphicText.h"
#include "report/TPaperUnits.h"
#include "storage/TBeatsFile.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// Width kept free at the end of each trace for the calibration pulse (mm).
constexpr double CalibrationWidth = 7.0;
// Space kept above a calibration pulse at the top of the graphic (mm).
constexpr double CalibrationClearance = 1.0;
// Margin of the averaged beats on each side of their column (mm).
constexpr double AverageMargin = 2.5;
// RR intervals counted in the heart rate lie in (0, MaximumRr) seconds.
constexpr double MaximumRr = 2.0;
constexpr int HeartRatePoints = 12;
// Space below the heart rate in the band of the beat marks (mm).
constexpr double MarkBandMargin = 1.0;
// Paper a trace keeps one lowest and one highest sample of (mm): finer than
// the 0.2 mm pen draws.
constexpr double TraceBinMm = 0.2;
// The dash of a dotted grid line, in pen widths: next to nothing.
constexpr double DotDash = 0.01;

// The points of a trace: every sample where a bin of paper holds two or
// fewer, otherwise the lowest and the highest of each bin in their order,
// which draws the same line with a fraction of the points. The first and
// the last sample are always kept.
QPolygonF tracePoints(const std::vector<double>& samples, int count, double left, double xStep, double binWidth,
                      const std::function<double(double)>& y)
{
    const int bin = std::max(1, int(binWidth / xStep));
    QPolygonF points;
    points.reserve(bin > 2 ? 2 * (count / bin + 2) : count);
    const auto add = [&](int i) { points.append(QPointF(left + i * xStep, y(samples[std::size_t(i)]))); };
    if (bin <= 2) {
        for (int i = 0; i < count; ++i)
            add(i);
        return points;
    }
    add(0);
    for (int start = 0; start < count; start += bin) {
        const auto begin = samples.begin() + start;
        const auto [low, high] = std::minmax_element(begin, begin + std::min(bin, count - start));
        const int first = int(std::min(low, high) - samples.begin());
        const int second = int(std::max(low, high) - samples.begin());
        add(first);
        if (second != first)
            add(second);
    }
    add(count - 1);
    return points;
}

} // namespace

SignalGraphic::SignalGraphic(QObject* parent) : QObject(parent)
{
    m_leadVisible.set();
}

void SignalGraphic::setLeadMask(int mask)
{
    m_leadVisible = std::bitset<16>(unsigned(mask) & 0xffffu);
}

void SignalGraphic::draw(QPainter& painter, const QRect& rect)
{
    const TPaperUnits units(*painter.device());
    QRect traceRect = rect;
    QRect averageRect = rect;
    if (m_averager != nullptr && m_showAverage) {
        const double beatSeconds = double(m_averager->length()) / m_averager->samplingRate();
        const int averageWidth = int(units.x(2 * AverageMargin + beatSeconds * PaperSpeed));
        traceRect.setLeft(rect.left() + averageWidth);
        averageRect.setRight(rect.left() + averageWidth - 1);
    }
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    drawGrid(painter, rect, units);
    // The beat marks and the heart rate have a band of their own above the
    // rows, so that no trace runs through them.
    const int band = markBandHeight(painter, units);
    const QRect rowsRect = rect.adjusted(0, band, 0, 0);
    // The lead names come before the traces, which they must not hide.
    drawLeadNames(painter, rowsRect, units);
    drawTraces(painter, traceRect.adjusted(0, band, 0, 0), units);
    drawAverages(painter, averageRect.adjusted(0, band, 0, 0), units);
    drawBeatMarks(painter, traceRect, units);
    drawHeartRate(painter, traceRect, units);
    drawGaps(painter, traceRect, units);
    painter.restore();
}

int SignalGraphic::markBandHeight(QPainter& painter, const TPaperUnits& units) const
{
    if (!m_showBeatMarks || m_beats == nullptr)
        return 0;
    painter.setFont(TPaperUnits::font(HeartRatePoints, true));
    return int(TGraphicText::fontHeight(painter) + units.y(MarkBandMargin));
}

QVector<SignalGraphic::Row> SignalGraphic::rows(const QRect& rect) const
{
    QVector<Row> rows;
    if (m_signal == nullptr)
        return rows;
    for (int lead = 0; lead < std::min(m_signal->channelCount(), int(m_leadVisible.size())); ++lead) {
        if (m_leadVisible[std::size_t(lead)])
            rows.append(Row{lead, 0.0, 0.0});
    }
    const double height = double(rect.height()) / std::max(1, int(rows.size()));
    for (int k = 0; k < rows.size(); ++k) {
        rows[k].top = rect.top() + k * height;
        rows[k].centre = rows[k].top + height / 2.0;
    }
    return rows;
}

double SignalGraphic::traceWidth(const QRect& rect, const TPaperUnits& units) const
{
    return rect.width() - (m_showCalibration ? units.x(CalibrationWidth) : 0.0);
}

double SignalGraphic::verticalScale(const TPaperUnits& units) const
{
    return units.y(10.0) * m_signal->lsb() * Gain / 10.0;
}

// Millimetre paper: a dot every millimetre, a line every five. Each row of
// dots is one dotted line (a dash of no length every millimetre, which the
// square cap draws as a dot), a few hundred lines instead of tens of
// thousands of points.
void SignalGraphic::drawGrid(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    painter.fillRect(rect, Qt::white);
    QPen dotted = units.pen(Qt::gray, 0.2);
    const double period = units.x(1.0) / dotted.widthF();
    dotted.setDashPattern({DotDash, period - DotDash});
    painter.setPen(dotted);
    int columns = 0;
    while (rect.left() + units.x(columns) < rect.right())
        ++columns;
    const double right = rect.left() + units.x(columns - 1) + units.x(DotDash * 0.2);
    for (int j = 0; rect.top() + units.y(j) < rect.bottom(); ++j)
        painter.drawLine(QPointF(rect.left(), rect.top() + units.y(j)), QPointF(right, rect.top() + units.y(j)));
    painter.setPen(units.pen(Qt::gray, 0.2));
    QVector<QLineF> lines;
    for (int i = 0; rect.left() + units.x(5.0 * i) < rect.right(); ++i) {
        const double x = rect.left() + units.x(5.0 * i);
        lines.append(QLineF(x, rect.top(), x, rect.bottom()));
    }
    for (int j = 0; rect.top() + units.y(5.0 * j) < rect.bottom(); ++j) {
        const double y = rect.top() + units.y(5.0 * j);
        lines.append(QLineF(rect.left(), y, rect.right(), y));
    }
    painter.drawLines(lines);
}

// Each trace is drawn around the mean of what it shows, so that baseline
// offsets do not move it out of its row.
void SignalGraphic::drawTraces(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    const QVector<Row> leads = rows(rect);
    if (leads.isEmpty())
        return;
    const double usableWidth = traceWidth(rect, units);
    const int rate = m_signal->samplingRate();
    const double seconds = units.mmX(usableWidth) / PaperSpeed;
    const int first = sampleIndex(m_startTime, rate);
    const int count = sampleIndex(seconds, rate);
    const int last = sampleIndex(m_startTime + seconds, rate);
    if (count <= 0 || last < first)
        return;
    const double xStep = usableWidth / count;
    const double scale = verticalScale(units);
    painter.setPen(units.pen(Qt::black, 0.2));
    if (m_showAverage)
        painter.drawLine(QPointF(rect.left(), rect.top()), QPointF(rect.left(), rect.top() + rect.height()));
    std::vector<double> samples(std::size_t(std::max(count, last - first + 1)));
    for (const Row& row : leads) {
        m_signal->readRange(row.lead, first, int(samples.size()), samples.data());
        qint64 sum = 0;
        for (int i = 0; i < count; ++i)
            sum += qint64(samples[std::size_t(i)]);
        const double reference = double(sum / count);
        painter.drawPolyline(tracePoints(samples, last - first + 1, rect.left(), xStep, units.x(TraceBinMm),
                                         [&](double sample) { return row.centre - (sample - reference) * scale; }));
        if (m_showCalibration)
            drawCalibration(painter, rect.left() + (last - first) * xStep, row.centre, rect, units);
    }
}

// A 1 mV step, 3 mm wide, between 2 mm of baseline on each side, standing
// on the row's centre line. A step that would reach above the graphic
// (the first row of a 12-lead strip is lower than the step) stands lower,
// a millimetre below the graphic's top.
void SignalGraphic::drawCalibration(QPainter& painter, double x, double centre, const QRect& rect,
                                    const TPaperUnits& units) const
{
    const double y = std::min<double>(rect.bottom(), std::max(centre, rect.top() + units.y(Gain + CalibrationClearance)));
    const double top = y - units.y(Gain);
    const QPointF pulse[] = {{x, y},
                             {x + units.x(2.0), y},
                             {x + units.x(2.0), top},
                             {x + units.x(5.0), top},
                             {x + units.x(5.0), y},
                             {x + units.x(CalibrationWidth), y}};
    painter.drawPolyline(pulse, 6);
}

void SignalGraphic::drawAverages(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    if (!m_showAverage || m_averager == nullptr)
        return;
    const QVector<Row> leads = rows(rect);
    if (leads.isEmpty())
        return;
    const double left = rect.left() + units.x(AverageMargin);
    const double width = rect.width() - units.x(2 * AverageMargin);
    if (m_averager->count() < 1) {
        painter.setPen(units.pen(Qt::darkBlue, 0.2, Qt::DotLine));
        for (const Row& row : leads)
            painter.drawLine(QPointF(left, row.centre), QPointF(left + width, row.centre));
        return;
    }
    painter.setPen(units.pen(Qt::darkBlue, 0.2));
    const double scale = verticalScale(units);
    for (const Row& row : leads) {
        const std::vector<double>& beat = m_averager->average(row.lead);
        const double step = width / double(std::max<std::size_t>(1, beat.size()));
        QPolygonF trace;
        trace.reserve(int(beat.size()));
        for (std::size_t l = 0; l < beat.size(); ++l)
            trace.append(QPointF(left + double(l) * step, row.centre - beat[l] * scale));
        painter.drawPolyline(trace);
    }
}

// Names stand on plates beneath the traces, which may run through them.
void SignalGraphic::drawLeadNames(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    painter.setFont(TPaperUnits::font(10, true));
    painter.setPen(units.pen(Qt::gray, 0.2));
    const double height = TGraphicText::fontHeight(painter);
    for (const Row& row : rows(rect)) {
        const QString name = m_signal->channelName(row.lead);
        if (!name.isEmpty())
            TGraphicText::drawOnPlate(painter, QPointF(rect.left() + units.x(2.0), row.top + height), name);
    }
}

// The beats along the traces: none is marked over the calibration pulses.
std::vector<TBeat> SignalGraphic::beatsInView(const QRect& rect, const TPaperUnits& units) const
{
    std::vector<TBeat> beats;
    if (!m_showBeatMarks || m_beats == nullptr || rows(rect).isEmpty())
        return beats;
    const double end = m_startTime + units.mmX(traceWidth(rect, units)) / PaperSpeed;
    TBeat beat;
    for (int index = firstBeatFrom(*m_beats, m_startTime);
         m_beats->read(index, beat) && beat.value(TBeat::QrsTime) < end; ++index)
        beats.push_back(beat);
    return beats;
}

// The heart rate text from the RR intervals in view below two seconds;
// empty when there is none or no format.
QString SignalGraphic::heartRateText(const QRect& rect, const TPaperUnits& units) const
{
    double rrSum = 0.0;
    int rrCount = 0;
    for (const TBeat& beat : beatsInView(rect, units)) {
        const double rr = beat.value(TBeat::RrInterval);
        if (beat.isValid() && rr > 0.0 && rr < MaximumRr) {
            rrSum += rr;
            ++rrCount;
        }
    }
    if (rrCount == 0 || m_hrFormat.isEmpty())
        return QString();
    return m_hrFormat.arg(int(60.0 / (rrSum / rrCount)));
}

// Where the heart rate stands in the band of the beat marks: its left
// and right ends, clear of the calibration pulses; empty without one.
QRectF SignalGraphic::heartRateBox(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    const QString text = heartRateText(rect, units);
    if (text.isEmpty())
        return QRectF();
    painter.setFont(TPaperUnits::font(HeartRatePoints, true));
    const double right = rect.right() - units.x(3.0 + (m_showCalibration ? CalibrationWidth : 0.0));
    const double width = TGraphicText::width(painter, text);
    return QRectF(right - width, rect.top(), width, markBandHeight(painter, units));
}

void SignalGraphic::drawHeartRate(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    const QRectF box = heartRateBox(painter, rect, units);
    if (box.isNull())
        return;
    painter.setFont(TPaperUnits::font(HeartRatePoints, true));
    painter.setPen(units.pen(Qt::blue, 0.5));
    const double baseline = box.bottom() - units.y(MarkBandMargin) - painter.fontMetrics().descent();
    TGraphicText::drawOnPlate(painter, QPointF(box.left(), baseline), heartRateText(rect, units));
}

// A tick at every beat and the RR interval in milliseconds between two
// ticks; a rejected beat is crossed out instead, and the RR intervals,
// which skip it, join the valid beats around it.
void SignalGraphic::drawBeatMarks(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    // RR labels give way to the heart rate that shares their band.
    const QRectF heartRate = heartRateBox(painter, rect, units);
    painter.setFont(TPaperUnits::font(8));
    painter.setPen(units.pen(Qt::blue, 0.5));
    const double height = TGraphicText::fontHeight(painter);
    double previousX = 0.0;
    double previousTime = 0.0;
    for (const TBeat& beat : beatsInView(rect, units)) {
        const double time = beat.value(TBeat::QrsTime);
        const double x = units.x((time - m_startTime) * PaperSpeed);
        if (x > 0.0 && !beat.isValid()) {
            const double half = height / 4.0;
            const QPointF centre(rect.left() + x, rect.top() + half);
            painter.drawLine(centre + QPointF(-half, -half), centre + QPointF(half, half));
            painter.drawLine(centre + QPointF(-half, half), centre + QPointF(half, -half));
            continue;
        }
        if (x > 0.0) {
            painter.drawLine(QPointF(rect.left() + x, rect.top()), QPointF(rect.left() + x, rect.top() + height / 2.0));
            const QString rr = QString::number(int(truncateNearWhole(beat.value(TBeat::RrInterval) * 1000.0)));
            const double middle = rect.left() + (previousX + x) / 2.0;
            const double half = TGraphicText::width(painter, rr) / 2.0;
            const bool underHeartRate = middle + half > heartRate.left() && middle - half < heartRate.right();
            const bool acrossJoin = TSignalGaps::joinBetween(m_gaps, previousTime, time);
            if (previousX != 0.0 && !acrossJoin && (heartRate.isNull() || !underHeartRate))
                TGraphicText::drawCentred(painter, middle, rect.top() + height, rr);
        }
        previousX = x;
        previousTime = time;
    }
}

// The traces on either side of a join are contiguous on paper but not in
// time: the join is drawn across every lead, with the time lost.
void SignalGraphic::drawGaps(QPainter& painter, const QRect& rect, const TPaperUnits& units) const
{
    painter.save();
    painter.setClipRect(rect);
    painter.setFont(TPaperUnits::font(8));
    QPen pen = units.pen(Qt::red, 0.5);
    pen.setStyle(Qt::DashLine);
    painter.setPen(pen);
    const double height = TGraphicText::fontHeight(painter);
    for (const TSignalGaps::Gap& gap : m_gaps) {
        const double x = rect.left() + units.x((gap.seconds - m_startTime) * PaperSpeed);
        if (x < rect.left() || x > rect.right())
            continue;
        painter.drawLine(QPointF(x, rect.top()), QPointF(x, rect.bottom()));
        const QString text = tr("Signal lost %1 s").arg(gap.lostSeconds, 0, 'f', 1);
        const double width = painter.fontMetrics().horizontalAdvance(text) + units.x(1.0);
        const QRectF box(x + units.x(0.5), rect.top() + 1.5 * height, width, height);
        painter.fillRect(box, Qt::white);
        painter.drawText(box, Qt::AlignCenter, text);
    }
    painter.restore();
}
