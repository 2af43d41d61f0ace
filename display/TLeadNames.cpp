#include "display/TLeadNames.h"

#include "analysis/signal/TSignal.h"
#include "display/TDisplayColors.h"
#include "display/TDisplayFont.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace {

constexpr double NameX = 4.0;
constexpr double PlateMargin = 2.0;

} // namespace

QVector<int> visibleLeads(const TSignal* signal, const TLeadVisibility& visible)
{
    QVector<int> leads;
    const int count = signal ? std::min(signal->channelCount(), int(visible.size())) : 0;
    for (int lead = 0; lead < count; ++lead) {
        if (visible[std::size_t(lead)])
            leads.append(lead);
    }
    return leads;
}

void drawLeadNames(QPainter& painter, const TSignal& signal, const QVector<int>& leads, double rowHeight,
                   const TDisplayColors& colors)
{
    const QFont font = displayFont(12, true);
    const QFontMetricsF metrics(font);
    painter.save();
    painter.setFont(font);
    painter.setPen(colors.readable(TDisplayColors::Text));
    for (int row = 0; row < leads.size(); ++row) {
        const QString name = signal.channelName(leads[row]);
        if (name.isEmpty())
            continue;
        const QPointF baseline(NameX, row * rowHeight + metrics.height());
        QRectF plate = metrics.tightBoundingRect(name).translated(baseline);
        plate.adjust(-PlateMargin, -PlateMargin, PlateMargin, PlateMargin);
        painter.fillRect(plate, colors.at(TDisplayColors::Background));
        painter.drawText(baseline, name);
    }
    painter.restore();
}
