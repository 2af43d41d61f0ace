#include "analysis/detection/TMarkBuffer.h"

#include <algorithm>

namespace {

// The ring holds a power of two of slots, at least the 2 span indices
// covered, so that an index finds its slot with a mask. Slots of indices
// outside the covered range are always 0.
std::size_t ringSize(int span)
{
    std::size_t size = 1;
    while (size < std::size_t(2 * span))
        size *= 2;
    return size;
}

} // namespace

TMarkBuffer::TMarkBuffer(int span)
    : m_span(std::max(1, span))
    , m_slots(ringSize(m_span), 0)
{
}

std::size_t TMarkBuffer::slot(int index) const
{
    return std::size_t(index) & (m_slots.size() - 1);
}

void TMarkBuffer::set(int index, int mark)
{
    if (covers(index))
        m_slots[slot(index)] = qint8(mark > 0 ? 1 : mark < 0 ? -1 : 0);
}

// Indices [from, to) of the covered range lie in at most two runs of
// consecutive slots; `visit(first slot, length, first index)` sees each in
// order and stops the walk by returning true.
template <typename Visit>
bool TMarkBuffer::forRuns(int from, int to, Visit visit) const
{
    for (int index = from; index < to;) {
        const std::size_t first = slot(index);
        const int length = std::min(to - index, int(m_slots.size() - first));
        if (visit(first, length, index))
            return true;
        index += length;
    }
    return false;
}

int TMarkBuffer::next(int from, int end) const
{
    int found = end;
    forRuns(std::max(from, firstCovered()), std::min(end, endCovered()), [&](std::size_t first, int length, int index) {
        const auto begin = m_slots.begin() + std::ptrdiff_t(first);
        const auto marked = std::find_if(begin, begin + length, [](qint8 mark) { return mark != 0; });
        if (marked == begin + length)
            return false;
        found = index + int(marked - begin);
        return true;
    });
    return found;
}

void TMarkBuffer::moveTo(int base)
{
    if (base < m_base || base - m_base >= 2 * m_span) {
        reset(base);
        return;
    }
    // The indices that leave, [old first, new first), share their slots with
    // the ones that come in.
    forRuns(firstCovered(), base - m_span, [&](std::size_t first, int length, int) {
        std::fill_n(m_slots.begin() + std::ptrdiff_t(first), length, qint8(0));
        return false;
    });
    m_base = base;
}

void TMarkBuffer::reset(int base)
{
    std::fill(m_slots.begin(), m_slots.end(), qint8(0));
    m_base = base;
}
