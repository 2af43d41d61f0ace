#pragma once

#include <QScrollBar>
#include <QVector>

class QKeyEvent;
class QWheelEvent;

// The vertical scroll bar of an ECG display that draws its leads one above
// the other. Rows are never lower than a least height, so that a QRS stays
// inside its own row rather than overprinting its neighbours; the leads
// that do not fit (fourteen on a small screen) are reached through this
// bar, the wheel or the Up and Down keys. It stands along the display's
// right edge and takes its room from the paper only while rows are out of
// sight. One step is a row, one page the rows shown.
class QLeadRowBar : public QScrollBar
{
    Q_OBJECT

public:
    // The least height of a row: 1.6 mV at the standard 10 mm/mV, the QRS
    // of most leads. Fourteen leads get it on a full-HD screen.
    static constexpr double MinimumRowMm = 16.0;

    // A child of the display, hidden until rows are out of sight.
    explicit QLeadRowBar(QWidget* display);

    // Pixels the bar takes from the right of the display: 0 while hidden.
    int reservedWidth() const;
    // Fits the range and the page to `leads` rows in a drawing area
    // `height` logical pixels high, shows the bar only while some rows are
    // out of sight and lays it along the display's right edge.
    void fit(int leads, int height);
    // The leads of the rows shown: as many of `leads` as a drawing area
    // `height` pixels high holds, from the bar's position on.
    QVector<int> shownLeads(const QVector<int>& leads, int height) const;
    // Down and Up move one row; answers whether the key was one of them.
    bool moveByKey(const QKeyEvent* event);
    // The wheel moves through the rows while some are out of sight;
    // answers whether it did.
    bool moveByWheel(QWheelEvent* event);

private:
    // Rows of the least height that `height` pixels hold (at least one).
    int rowsThatFit(int height) const;
};
