#pragma once

#include <QPixmap>
#include <QSize>

class QWidget;

// An off-screen pixmap covering a display's area at the device pixel ratio
// of the screen the display is on, so that drawing happens in the display's
// own (logical) coordinates and stays sharp on high-density screens.
class TDisplayBuffer
{
public:
    // Makes the pixmap cover `size` logical pixels at `ratio` device pixels
    // each; the pixmap is made anew only when the size or the ratio differ.
    // An empty size leaves a null pixmap. Answers whether it was made anew.
    bool fit(const QSize& size, qreal ratio);
    // The same, at the widget's size and device pixel ratio.
    bool fit(const QWidget* widget);
    // Forgets the pixmap, so that the next fit makes it anew.
    void discard() { m_pixmap = QPixmap(); }

    bool isNull() const { return m_pixmap.isNull(); }
    QPixmap& pixmap() { return m_pixmap; }
    const QPixmap& pixmap() const { return m_pixmap; }
    // Width and height in logical pixels.
    QSize size() const { return m_size; }

private:
    QPixmap m_pixmap;
    QSize m_size;
};
