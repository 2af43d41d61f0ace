#include "analysis/signal/TSignalChannel.h"

#include "analysis/signal/TSignal.h"

#include <algorithm>

TSignalChannel::TSignalChannel(TSignal* owner, int index)
    : m_owner(owner)
    , m_index(index)
{
}

int TSignalChannel::envelope(int first, int count, int columns, bool wrap, int* minima, int* maxima) const
{
    if (count <= 0 || columns <= 0 || count < columns)
        return count;

    const int width = count / columns;
    const int remainder = count % columns;
    const int stride = (width - 1) / 16 + 1;
    const int appended = m_owner->appendedCount();

    int start = first;
    int error = 0;
    int last = 0;
    for (int column = 0; column < columns; ++column) {
        int length = width;
        error += remainder;
        if (error >= columns) {
            error -= columns;
            ++length;
        }
        int begin = column == 0 ? start : start - 1;
        int end = start + length;
        if (wrap && end > appended) {
            begin -= count;
            end -= count;
        }
        if (column == 0)
            last = m_owner->sample(m_index, begin);
        minima[column] = last;
        maxima[column] = last;
        last = scanColumn(begin, end, stride, minima[column], maxima[column]);
        start += length;
    }
    return last;
}

int TSignalChannel::scanColumn(int begin, int end, int stride, int& low, int& high) const
{
    int value = low;
    for (int index = begin; index < end; index += stride) {
        value = m_owner->sample(m_index, index);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    return value;
}
