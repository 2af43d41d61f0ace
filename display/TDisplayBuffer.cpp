#include "display/TDisplayBuffer.h"

#include <QWidget>

bool TDisplayBuffer::fit(const QSize& size, qreal ratio)
{
    if (!m_pixmap.isNull() && m_size == size && qFuzzyCompare(m_pixmap.devicePixelRatioF(), ratio))
        return false;
    m_size = size.isEmpty() ? QSize() : size;
    if (m_size.isEmpty()) {
        m_pixmap = QPixmap();
        return true;
    }
    m_pixmap = QPixmap(m_size * ratio);
    m_pixmap.setDevicePixelRatio(ratio);
    return true;
}

bool TDisplayBuffer::fit(const QWidget* widget)
{
    return fit(widget->size(), widget->devicePixelRatioF());
}
