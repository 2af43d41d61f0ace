// Beats: the fresh state, shifting, and the binary slots of the beat store
// checked byte for byte against records assembled here.
#include "analysis/beats/TBeatStore.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

// Little-endian writers that spell out the byte order, independent of the
// store's own coding.
void putBytes(std::vector<std::uint8_t>& bytes, int offset, std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[offset + i] = std::uint8_t(value >> (8 * i));
}

void putDouble(std::vector<std::uint8_t>& bytes, int offset, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    putBytes(bytes, offset, bits, 8);
}

void putInt(std::vector<std::uint8_t>& bytes, int offset, std::int64_t value, int size)
{
    putBytes(bytes, offset, std::uint64_t(value), size);
}

std::vector<std::uint8_t> encoded(const TBeat& beat, int channelCount)
{
    std::vector<std::uint8_t> slot(TBeatStore::slotSize(channelCount), 0xAA);
    TBeatStore::encodeSlot(beat, channelCount, reinterpret_cast<char*>(slot.data()));
    return slot;
}

// Lead 0 carries every mark, lead 1 only its usable flag, with awkward
// values for the integer fields.
TBeat sampleBeat()
{
    TBeat beat;
    beat.setWindowStart(12.25);
    beat.setWindowLength(0.75);
    beat.setValue(TBeat::QrsTime, 12.5);
    beat.setValue(TBeat::RrInterval, 0.81);
    beat.setValue(TBeat::MeanRrInterval, 0.8);
    beat.setValue(TBeat::LeadAgreement, 0.9);
    beat.setBeatClass(TBeat::Rejected);
    const double leadZero[] = {1.9, 12.3, 12.45, 12.5, 12.55, 12.8, 1.0, -1.0, -1.7, 0.12, 0.2, 0.45};
    for (int kind = 0; kind < TBeat::MarkKindCount; ++kind)
        beat.setMark(0, TBeat::MarkKind(kind), leadZero[kind]);
    beat.setMark(1, TBeat::LeadUsable, 0.0);
    beat.setMark(1, TBeat::MainQrsWave, -0.25); // set but not positive
    return beat;
}

TEST(BeatTest, FreshBeatIsValidWithEverythingUnset)
{
    TSignalBuffer16 signal(14, 1000, 4096, 4096);
    const TBeat beat(&signal);
    EXPECT_EQ(beat.channelCount(), 14);
    EXPECT_TRUE(beat.isValid());
    EXPECT_EQ(beat.value(TBeat::LeadAgreement), -1.0);
    EXPECT_FALSE(beat.isValueSet(TBeat::QrsTime));
    for (int kind = 0; kind < TBeat::MarkKindCount; ++kind) {
        EXPECT_EQ(beat.mark(15, TBeat::MarkKind(kind)), -1.0);
        EXPECT_FALSE(beat.isMarkSet(0, TBeat::MarkKind(kind)));
    }
    EXPECT_THROW(beat.mark(16, TBeat::PWave), std::out_of_range);
    EXPECT_THROW(beat.isMarkSet(-1, TBeat::PWave), std::out_of_range);
}

TEST(BeatTest, ShiftMovesTimesButNotLengthsOrUnsetMarks)
{
    TBeat beat = sampleBeat();
    beat.setMark(15, TBeat::TWave, 3.0);
    beat.shift(0.5);
    EXPECT_DOUBLE_EQ(beat.windowStart(), 12.75);
    EXPECT_DOUBLE_EQ(beat.windowLength(), 0.75);
    EXPECT_DOUBLE_EQ(beat.value(TBeat::QrsTime), 13.0);
    EXPECT_DOUBLE_EQ(beat.value(TBeat::RrInterval), 0.81);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::PWave), 12.8);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::TWave), 13.3);
    EXPECT_DOUBLE_EQ(beat.mark(1, TBeat::MainQrsWave), 0.25);
    EXPECT_DOUBLE_EQ(beat.mark(15, TBeat::TWave), 3.5);
    EXPECT_EQ(beat.mark(1, TBeat::PWave), -1.0);
    EXPECT_FALSE(beat.isMarkSet(1, TBeat::PWave));
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::LeadUsable), 1.9);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::QrsPolarity), 1.0);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::QrsWindow), 0.12);

    TBeat fresh;
    fresh.shift(2.0);
    EXPECT_TRUE(fresh.isValueSet(TBeat::QrsTime));
    EXPECT_DOUBLE_EQ(fresh.value(TBeat::QrsTime), 1.0);
}

TEST(BeatStoreTest, SlotLayoutMatchesTheRecordByteForByte)
{
    std::vector<std::uint8_t> expected(56 + 80 * 2, 0);
    putDouble(expected, 0, 12.25);
    putDouble(expected, 8, 0.75);
    putDouble(expected, 16, 12.5);
    putDouble(expected, 24, 0.81);
    putDouble(expected, 32, 0.8);
    putDouble(expected, 40, 0.9);
    putInt(expected, 48, -1, 4);
    // Lead 0 at 56.
    putInt(expected, 56 + 0, 1, 4);
    const double waves[] = {12.3, 12.45, 12.5, 12.55, 12.8};
    for (int i = 0; i < 5; ++i)
        putDouble(expected, 56 + 8 + 8 * i, waves[i]);
    putInt(expected, 56 + 48, -1, 2); // P polarity
    putInt(expected, 56 + 50, 1, 2);  // QRS polarity
    putInt(expected, 56 + 52, -1, 2); // T polarity, -1.7 truncated
    putDouble(expected, 56 + 56, 0.12);
    putDouble(expected, 56 + 64, 0.2);
    putDouble(expected, 56 + 72, 0.45);
    // Lead 1 at 136: usable 0, unset polarities keep their -1, a set but
    // negative wave time is written as is, unset double marks as 0.
    putInt(expected, 136 + 0, 0, 4);
    putDouble(expected, 136 + 8 + 8 * 2, -0.25);
    putInt(expected, 136 + 48, -1, 2);
    putInt(expected, 136 + 50, -1, 2);
    putInt(expected, 136 + 52, -1, 2);

    EXPECT_EQ(encoded(sampleBeat(), 2), expected);
}

TEST(BeatStoreTest, ReadBackSetsMarksByTheStoredValues)
{
    TSignalBuffer16 signal(2, 1000, 4096, 4096);
    TBeatStore store(2, 4, &signal);
    ASSERT_EQ(store.add(sampleBeat()), 0);
    const TBeat beat = store.read(0);

    EXPECT_EQ(beat.signal(), &signal);
    EXPECT_DOUBLE_EQ(beat.windowLength(), 0.75);
    EXPECT_DOUBLE_EQ(beat.value(TBeat::LeadAgreement), 0.9);
    EXPECT_TRUE(beat.isValueSet(TBeat::LeadAgreement));
    EXPECT_EQ(beat.beatClass(), -1);
    EXPECT_FALSE(beat.isValid());

    EXPECT_EQ(beat.mark(0, TBeat::LeadUsable), 1.0);
    EXPECT_EQ(beat.mark(0, TBeat::TPolarity), -1.0);
    EXPECT_DOUBLE_EQ(beat.mark(0, TBeat::QrsToTWindow), 0.45);
    for (int kind = 0; kind < TBeat::MarkKindCount; ++kind)
        EXPECT_TRUE(beat.isMarkSet(0, TBeat::MarkKind(kind))) << "kind " << kind;

    for (TBeat::MarkKind kind : {TBeat::LeadUsable, TBeat::QrsPolarity, TBeat::PPolarity, TBeat::TPolarity})
        EXPECT_TRUE(beat.isMarkSet(1, kind)) << "kind " << kind;
    for (int kind : {1, 2, 3, 4, 5, 9, 10, 11})
        EXPECT_FALSE(beat.isMarkSet(1, TBeat::MarkKind(kind))) << "kind " << kind;
    EXPECT_EQ(beat.mark(1, TBeat::MainQrsWave), -1.0);

    TBeat normal;
    normal.setBeatClass(TBeat::Normal);
    store.add(normal);
    EXPECT_TRUE(store.read(1).isValid());
}

TEST(BeatStoreTest, FullRingOverwritesTheOldest)
{
    TBeatStore store(3, 3);
    std::vector<int> positions;
    for (int i = 1; i <= 5; ++i) {
        TBeat beat;
        beat.setWindowStart(i);
        positions.push_back(store.add(beat));
    }
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 2, 2}));
    ASSERT_EQ(store.count(), 3);
    EXPECT_EQ(store.read(0).windowStart(), 3.0);
    EXPECT_EQ(store.read(1).windowStart(), 4.0);
    EXPECT_EQ(store.read(2).windowStart(), 5.0);

    TBeat fifth;
    fifth.setWindowStart(5);
    const std::vector<std::uint8_t> slot(store.slotData(2), store.slotData(2) + store.slotSize());
    EXPECT_EQ(slot, encoded(fifth, 3));
}

TEST(BeatStoreTest, PositionsOutsideTheStoreThrow)
{
    TBeatStore store(1);
    EXPECT_EQ(store.capacity(), 10000);
    EXPECT_THROW(store.read(0), std::out_of_range);
    store.add(TBeat());
    EXPECT_THROW(store.read(1), std::out_of_range);
    EXPECT_THROW(store.read(-1), std::out_of_range);
    EXPECT_THROW(store.slotData(1), std::out_of_range);
    EXPECT_NO_THROW(store.read(0));
    EXPECT_THROW(TBeatStore(17), std::invalid_argument);
    EXPECT_THROW(TBeatStore(2, 0), std::invalid_argument);
}

} // namespace
