#pragma once

#include "analysis/detection/TLeadWaveRecord.h"

#include <array>

// A first-in first-out queue of one lead's wave records with a fixed
// capacity, so queuing never allocates. When full, a new record pushes out
// the oldest one.
class TWaveRecordQueue
{
public:
    static constexpr int Capacity = 64;

    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // The oldest record; only while the queue is not empty.
    const TLeadWaveRecord& front() const { return m_records[std::size_t(m_head)]; }
    // The record `index` places behind the front; only below size().
    const TLeadWaveRecord& at(int index) const { return m_records[std::size_t((m_head + index) % Capacity)]; }

    void push(const TLeadWaveRecord& record);
    void pop();
    // Drops the records at the front whose QRS position is below `position`
    // (a lead's records come in increasing order).
    void discardBefore(int position);

private:
    std::array<TLeadWaveRecord, Capacity> m_records;
    int m_head = 0;
    int m_size = 0;
};
