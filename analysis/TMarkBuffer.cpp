#include "analysis/TMarkBuffer.h"

#include <algorithm>

TMarkBuffer::TMarkBuffer(int span)
    : m_span(std::max(1, span))
    , m_slots(std::size_t(2 * m_span), 0)
{
}

std::size_t TMarkBuffer::slot(int index) const
{
    const int size = 2 * m_span;
    return std::size_t(((index % size) + size) % size);
}

void TMarkBuffer::set(int index, int mark)
{
    if (covers(index))
        m_slots[slot(index)] = qint8(mark > 0 ? 1 : mark < 0 ? -1 : 0);
}

int TMarkBuffer::next(int from, int end) const
{
    const int last = std::min(end, endCovered());
    for (int index = std::max(from, firstCovered()); index < last; ++index) {
        if (m_slots[slot(index)] != 0)
            return index;
    }
    return end;
}

void TMarkBuffer::moveTo(int base)
{
    if (base < m_base || base - m_base >= 2 * m_span) {
        reset(base);
        return;
    }
    // The indices that leave, [old first, new first), share their slots with
    // the ones that come in.
    for (int index = firstCovered(); index < base - m_span; ++index)
        m_slots[slot(index)] = 0;
    m_base = base;
}

void TMarkBuffer::reset(int base)
{
    std::fill(m_slots.begin(), m_slots.end(), qint8(0));
    m_base = base;
}
