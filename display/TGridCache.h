#pragma once

#include "display/TDisplayBuffer.h"

#include <QColor>

class QPainter;

// The millimetre paper of a sweep display, drawn once per size, pixel
// ratio and colour change and then copied under every rendering.
class TGridCache
{
public:
    // Copies the paper into `target` (a display buffer), drawing it first
    // when the cache was discarded or the target's size or ratio changed.
    void paint(QPainter& painter, const TDisplayBuffer& target, double pixelsPerMm,
               const QColor& background, const QColor& grid, int style);
    // The next paint draws the paper again (new colours or style).
    void discard() { m_paper.discard(); }

private:
    TDisplayBuffer m_paper;
};
