#pragma once

#include "analysis/beats/TBeat.h"

#include <memory>

// Ring of the most recent beats, each kept as a fixed little-endian binary
// slot of 56 + 80 * channel count bytes. The beats file stores the same
// records, so the slot coding is public.
//
// Slot header: 0 window start (double), 8 window length (double), 16..47
// beat-level values 0..3 (doubles), 48 beat class (int32), 52 zero. Then an
// 80-byte record per lead: +0 mark 0 (int32), +4 zero, +8..+40 marks 1..5
// (doubles), +48 mark 7, +50 mark 6, +52 mark 8 (int16 each), +54 zero,
// +56, +64, +72 marks 9..11 (doubles). Integer fields are truncated toward
// zero (and saturate); the double marks are written as 0 when unset.
class TBeatStore
{
public:
    static constexpr int DefaultCapacity = 10000;
    static constexpr int HeaderSize = 56;
    static constexpr int LeadRecordSize = 80;

    // Throws std::invalid_argument for a channel count outside 1..16 or a
    // capacity below 1. Beats read back are linked to `signal`.
    explicit TBeatStore(int channelCount, int capacity = DefaultCapacity, const TSignal* signal = nullptr);

    static int slotSize(int channelCount) { return HeaderSize + LeadRecordSize * channelCount; }

    // Writes slotSize(channelCount) bytes, reserved bytes included.
    static void encodeSlot(const TBeat& beat, int channelCount, char* slot);
    // The beat of a slot. The four beat-level values come back set; marks
    // 0, 6, 7 and 8 are always set, the double marks only when the stored
    // value is above 0. The beat number is not part of a slot and reads 0.
    static TBeat decodeSlot(const char* slot, int channelCount, const TSignal* signal = nullptr);

    int channelCount() const { return m_channelCount; }
    int capacity() const { return m_capacity; }
    int slotSize() const { return slotSize(m_channelCount); }
    int count() const { return m_count; }

    // Stores the beat after the newest and returns its position (positions
    // count from the oldest beat kept). When full, the oldest beat is
    // overwritten and the new one is at count() - 1.
    int add(const TBeat& beat);
    // Positions outside 0 .. count() - 1 throw std::out_of_range.
    TBeat read(int position) const;
    const char* slotData(int position) const;

private:
    char* slotAt(int ringIndex) const;

    int m_channelCount;
    int m_capacity;
    const TSignal* m_signal;
    std::unique_ptr<char[]> m_slots;
    int m_oldest = 0;
    int m_count = 0;
};
