#include "display/TAveragedBeatPainter.h"

#include "analysis/beats/TBeatAverager.h"
#include "analysis/signal/TSignal.h"
#include "display/TDisplayColors.h"
#include "display/TTracePainter.h"

#include <QPainter>

#include <algorithm>

namespace {

void drawBeat(QPainter& painter, const std::vector<double>& beat, const TTraceLane& lane, double width,
              const QColor& color)
{
    painter.setPen(QPen(color, 1));
    TTracePainter::drawSeries(painter, beat.data(), int(beat.size()), lane, width);
}

} // namespace

void TAveragedBeatPainter::draw(QPainter& painter, TBeatAverager& averager, int lead,
                                const TTraceLane& lane, double width, const TDisplayColors& colors)
{
    painter.save();
    if (averager.count() <= 0 || lead >= averager.signal().channelCount()) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(colors.at(TDisplayColors::Average), 1, Qt::DotLine));
        painter.drawLine(QLineF(lane.x0, lane.centre, lane.x0 + width, lane.centre));
        painter.restore();
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    // The second averaged beat exists once it holds anything but zeros.
    const std::vector<double>& second = averager.secondAverage(lead);
    if (std::any_of(second.begin(), second.end(), [](double v) { return v != 0.0; }))
        drawBeat(painter, second, lane, width, colors.at(TDisplayColors::SecondAverage));
    drawBeat(painter, averager.average(lead), lane, width, colors.at(TDisplayColors::Average));
    painter.restore();
}
