#include "analysis/detection/TWaveRecordQueue.h"

void TWaveRecordQueue::push(const TLeadWaveRecord& record)
{
    if (m_size == Capacity)
        pop();
    m_records[std::size_t((m_head + m_size) % Capacity)] = record;
    ++m_size;
}

void TWaveRecordQueue::pop()
{
    if (m_size == 0)
        return;
    m_head = (m_head + 1) % Capacity;
    --m_size;
}

void TWaveRecordQueue::discardBefore(int position)
{
    while (m_size > 0 && front().qrs < position)
        pop();
}
