#pragma once

#include <QtGlobal>

#include <vector>

// The wavelet maxima marks of one lead around a moving base: for every
// absolute sample index in [base - span, base + span) a value 0, +1 or -1.
// Reads outside that range give 0 and writes there are ignored. Moving the
// base forward drops the marks that leave the range; the indices that come
// in read 0. Kept as a ring, so moving never shifts memory.
class TMarkBuffer
{
public:
    explicit TMarkBuffer(int span);

    int span() const { return m_span; }
    int firstCovered() const { return m_base - m_span; }
    int endCovered() const { return m_base + m_span; }
    bool covers(int index) const { return index >= firstCovered() && index < endCovered(); }

    int at(int index) const { return covers(index) ? m_slots[slot(index)] : 0; }
    void set(int index, int mark);
    void clear(int index) { set(index, 0); }
    // The first marked index in [from, end), or `end` when there is none.
    int next(int from, int end) const;

    // Moves the base forward; a base behind the current one empties the
    // buffer.
    void moveTo(int base);
    // Empties the buffer around a new base.
    void reset(int base);

private:
    std::size_t slot(int index) const;
    template <typename Visit>
    bool forRuns(int from, int to, Visit visit) const;

    int m_span;
    int m_base = 0;
    std::vector<qint8> m_slots;
};
