#include "display/TGridCache.h"

#include "display/TEcgPaper.h"

#include <QPainter>

void TGridCache::paint(QPainter& painter, const TDisplayBuffer& target, double pixelsPerMm,
                       const QColor& background, const QColor& grid, int style)
{
    if (m_paper.fit(target.size(), target.pixmap().devicePixelRatioF()) && !m_paper.isNull()) {
        QPainter paper(&m_paper.pixmap());
        TEcgPaper::drawMillimetreGrid(paper, m_paper.size(), pixelsPerMm, background, grid, style);
    }
    if (!m_paper.isNull())
        painter.drawPixmap(0, 0, m_paper.pixmap());
}
