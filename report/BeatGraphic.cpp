#include "report/BeatGraphic.h"

#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/signal/TRounding.h"
#include "analysis/signal/TSignal.h"
#include "report/TGraphicText.h"
#include "report/TPaperUnits.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Boxes per second of the grid, small boxes per box.
constexpr int BoxesPerSecond = 5;
constexpr int MinorPerMajor = 5;
// Boxes per millivolt.
constexpr double BoxesPerMillivolt = 2.0;
// The leads are aligned on the sample this long before the QRS onset (s).
constexpr double AlignmentLead = 0.01;
// Where the P amplitude lines and text start (mm from the left).
constexpr double AmplitudeIndent = 10.0;
constexpr double ArrowSize = 1.0; // mm

struct IntervalLabel
{
    const char* format;
    int from;
    int to;
    int textRow; // text between rows textRow and textRow + 1 (ninths of the height)
    int lineRow;
};

const IntervalLabel intervalLabels[] = {
    {"PR\n%1", BeatGraphic::POnset, BeatGraphic::QRSOnset, 7, 7},
    {"P %1", BeatGraphic::POnset, BeatGraphic::POffset, 1, 2},
    {"QRS\n%1", BeatGraphic::QRSOnset, BeatGraphic::QRSOffset, 7, 7},
    {"ST %1", BeatGraphic::QRSOffset, BeatGraphic::TOffset, 7, 7},
    {"QT %1", BeatGraphic::QRSOnset, BeatGraphic::TOffset, 8, 8},
    {"T %1", BeatGraphic::TOnset, BeatGraphic::TOffset, 1, 2},
};

int milliseconds(double seconds)
{
    return int(truncateNearWhole(seconds * 1000.0));
}

} // namespace

BeatGraphic::BeatGraphic(QObject* parent) : QObject(parent) {}

int BeatGraphic::Frame::x(double seconds) const
{
    return rect.left() + int(rect.width() * seconds / duration);
}

void BeatGraphic::draw(QPainter& painter, const QRect& rect)
{
    painter.fillRect(rect, Qt::white);
    if (m_beatSet == nullptr || m_beatSet->length() <= 0)
        return;
    const TPaperUnits units(*painter.device());
    Frame frame;
    frame.rect = rect;
    frame.duration = double(m_beatSet->length()) / m_beatSet->samplingRate();
    frame.major = rect.width() / frame.duration / BoxesPerSecond;
    frame.scale = BoxesPerMillivolt * frame.major * m_beatSet->signal().lsb();
    frame.centreY = rect.top() + rect.height() / 2.0;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    drawGrid(painter, frame, units);
    drawTitle(painter, frame, units);
    drawBeats(painter, frame, units);
    drawMarks(painter, frame, units);
    drawIntervals(painter, frame, units);
    drawPAmplitude(painter, frame, units);
    painter.restore();
}

double BeatGraphic::mark(int index) const
{
    const auto found = m_marks.find(index);
    return found != m_marks.end() ? found->second : 0.0;
}

double BeatGraphic::interval(int from, int to) const
{
    return mark(from) > 0.0 && mark(to) > 0.0 ? mark(to) - mark(from) : 0.0;
}

QVector<int> BeatGraphic::leads() const
{
    QVector<int> leads;
    for (int lead = 0; lead < std::min(m_beatSet->signal().channelCount(), TSignal::MaxChannels); ++lead) {
        if (m_leadMask & (1 << lead))
            leads.append(lead);
    }
    return leads;
}

std::vector<double> BeatGraphic::centredBeat(int lead) const
{
    std::vector<double> beat = m_beatSet->average(lead);
    if (beat.empty())
        return beat;
    const double mean = std::accumulate(beat.begin(), beat.end(), 0.0) / double(beat.size());
    for (double& value : beat)
        value -= mean;
    return beat;
}

// Sample positions computed from marks are kept inside the beat: a QRS
// onset under 10 ms (or none) would otherwise align on a sample before the
// first one, and a mark beyond the beat would read past its end.
std::size_t BeatGraphic::insideBeat(double position) const
{
    return std::size_t(std::clamp(boundedPosition(truncateNearWhole(position)), 0, m_beatSet->length() - 1));
}

// 0.2 s boxes (gray) divided into 0.04 s boxes (light gray), laid out from
// the centre so that the centre lines are box lines.
void BeatGraphic::drawGrid(QPainter& painter, const Frame& frame, const TPaperUnits& units) const
{
    const QRect& rect = frame.rect;
    const double minor = frame.major / MinorPerMajor;
    QVector<QLineF> majorLines;
    QVector<QLineF> minorLines;
    const double startX = rect.center().x() - std::ceil(rect.width() / (2.0 * frame.major)) * frame.major;
    for (int k = 0; startX + k * minor < rect.right(); ++k) {
        const double x = startX + k * minor;
        (k % MinorPerMajor == 0 ? majorLines : minorLines).append(QLineF(x, rect.top(), x, rect.bottom()));
    }
    const double startY = rect.center().y() - std::ceil(rect.height() / (2.0 * frame.major)) * frame.major;
    for (int k = 0; startY + k * minor < rect.bottom(); ++k) {
        const double y = startY + k * minor;
        (k % MinorPerMajor == 0 ? majorLines : minorLines).append(QLineF(rect.left(), y, rect.right(), y));
    }
    painter.setPen(units.pen(Qt::lightGray, 0.15));
    painter.drawLines(minorLines);
    painter.setPen(units.pen(Qt::gray, 0.2));
    painter.drawLines(majorLines);
}

void BeatGraphic::drawTitle(QPainter& painter, const Frame& frame, const TPaperUnits& units) const
{
    QStringList names;
    for (const int lead : leads())
        names.append(m_beatSet->signal().channelName(lead));
    painter.setFont(TPaperUnits::font(14, true));
    painter.setPen(units.pen(Qt::gray, 0.2));
    painter.drawText(QPointF(frame.rect.left() + units.x(5.0),
                             frame.rect.top() + units.y(5.0) + TGraphicText::fontHeight(painter)),
                     names.join(QStringLiteral(", ")));
}

// Superimposed leads share the level of the sample just before the QRS
// onset, so that their complexes start together on the centre line.
void BeatGraphic::drawBeats(QPainter& painter, const Frame& frame, const TPaperUnits& units) const
{
    const QVector<int> shown = leads();
    painter.setPen(units.pen(Qt::black, 0.5));
    for (const int lead : shown) {
        const std::vector<double> beat = centredBeat(lead);
        if (beat.empty())
            continue;
        double baseline = frame.centreY;
        if (shown.size() >= 2)
            baseline = frame.centreY + beat[insideBeat(m_beatSet->samplingRate() * (mark(QRSOnset) - AlignmentLead) + 0.5)] * frame.scale;
        const double step = double(frame.rect.width()) / double(beat.size());
        QPolygonF trace;
        trace.reserve(int(beat.size()));
        for (std::size_t l = 0; l < beat.size(); ++l)
            trace.append(QPointF(frame.rect.left() + double(l) * step, baseline - beat[l] * frame.scale));
        painter.drawPolyline(trace);
    }
}

void BeatGraphic::drawMarks(QPainter& painter, const Frame& frame, const TPaperUnits& units) const
{
    painter.setPen(units.pen(Qt::blue, 0.2));
    for (const auto& entry : m_marks) {
        const int x = frame.x(entry.second);
        painter.drawLine(QPointF(x, frame.rowY(3)), QPointF(x, frame.rowY(6)));
    }
}

void BeatGraphic::drawIntervals(QPainter& painter, const Frame& frame, const TPaperUnits& units) const
{
    painter.setFont(TPaperUnits::font(12));
    for (const IntervalLabel& label : intervalLabels) {
        const double seconds = interval(label.from, label.to);
        if (seconds <= 0.0)
            continue;
        const double left = frame.x(mark(label.from));
        const double right = frame.x(mark(label.to));
        const QRectF textRect(QPointF(left, frame.rowY(label.textRow)),
                              QPointF(right - 1, frame.rowY(label.textRow + 1) - 1));
        drawDimension(painter, textRect, frame.rowY(label.lineRow),
                      QString::fromLatin1(label.format).arg(milliseconds(seconds)), units);
    }
}

// The text centred in its rectangle and a dimension line across the
// rectangle's width with an arrowhead at each end.
void BeatGraphic::drawDimension(QPainter& painter, const QRectF& textRect, double lineY, const QString& text,
                                const TPaperUnits& units) const
{
    const double left = textRect.left();
    const double right = textRect.right() + 1;
    painter.setPen(units.pen(Qt::darkBlue, 0.2, Qt::DashLine));
    painter.drawText(textRect, Qt::AlignCenter, text);
    painter.drawLine(QPointF(left, lineY), QPointF(right, lineY));
    const double length = units.x(ArrowSize);
    const double half = units.y(ArrowSize);
    const QPointF leftHead[] = {{left, lineY}, {left + length, lineY - half}, {left + length, lineY + half}};
    const QPointF rightHead[] = {{right, lineY}, {right - length, lineY - half}, {right - length, lineY + half}};
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::blue);
    painter.drawPolygon(leftHead, 3);
    painter.drawPolygon(rightHead, 3);
    painter.restore();
}

// The height of the P peak over the level at P onset, for a single lead.
void BeatGraphic::drawPAmplitude(QPainter& painter, const Frame& frame, const TPaperUnits& units) const
{
    const QVector<int> shown = leads();
    if (shown.size() != 1 || mark(POnset) <= 0.0 || mark(PPeak) <= 0.0)
        return;
    const std::vector<double> beat = centredBeat(shown.front());
    if (beat.empty())
        return;
    const double base = beat[insideBeat(mark(POnset) * m_beatSet->samplingRate())];
    const double peak = beat[insideBeat(mark(PPeak) * m_beatSet->samplingRate())];
    const double baseY = frame.centreY - base * frame.scale;
    const double peakY = frame.centreY - peak * frame.scale;
    const double left = frame.rect.left() + units.x(AmplitudeIndent);
    const double right = frame.x(mark(PPeak));
    painter.setFont(TPaperUnits::font(12));
    painter.setPen(units.pen(Qt::blue, 0.2, Qt::DotLine));
    painter.drawLine(QPointF(left, baseY), QPointF(right, baseY));
    painter.drawLine(QPointF(left, peakY), QPointF(right, peakY));
    const double baseline = baseY < peakY ? peakY + TGraphicText::fontHeight(painter) : peakY - units.y(1.0);
    const double millivolts = (peak - base) * m_beatSet->signal().lsb();
    painter.drawText(QPointF(left, baseline), QString::asprintf("%.2f mV", millivolts));
}
