#include "display/QLeadRowBar.h"

#include "display/TEcgPaper.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWheelEvent>

#include <algorithm>

QLeadRowBar::QLeadRowBar(QWidget* display)
    : QScrollBar(Qt::Vertical, display)
{
    setFocusPolicy(Qt::ClickFocus);
    hide();
}

int QLeadRowBar::reservedWidth() const
{
    return isHidden() ? 0 : sizeHint().width();
}

void QLeadRowBar::fit(int leads, int height)
{
    const int rows = rowsThatFit(height);
    const int hidden = std::max(0, leads - rows);
    setRange(0, hidden);
    setPageStep(rows);
    setVisible(hidden > 0);
    const int barWidth = sizeHint().width();
    setGeometry(parentWidget()->width() - barWidth, 0, barWidth, height);
}

QVector<int> QLeadRowBar::shownLeads(const QVector<int>& leads, int height) const
{
    const int rows = std::min(int(leads.size()), rowsThatFit(height));
    return leads.mid(std::clamp(value(), 0, int(leads.size()) - rows), rows);
}

bool QLeadRowBar::moveByKey(const QKeyEvent* event)
{
    if (event->key() == Qt::Key_Down)
        triggerAction(QAbstractSlider::SliderSingleStepAdd);
    else if (event->key() == Qt::Key_Up)
        triggerAction(QAbstractSlider::SliderSingleStepSub);
    else
        return false;
    return true;
}

bool QLeadRowBar::moveByWheel(QWheelEvent* event)
{
    if (isHidden())
        return false;
    QCoreApplication::sendEvent(this, event);
    return true;
}

int QLeadRowBar::rowsThatFit(int height) const
{
    const double rowPixels = MinimumRowMm / TEcgPaper::millimetresPerPixel(parentWidget());
    return std::max(1, int(height / rowPixels));
}
