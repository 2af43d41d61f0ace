#include "analysis/beats/TBeatStore.h"

#include "analysis/signal/TSampleConversion.h"
#include "analysis/signal/TSignal.h"

#include <QtEndian>

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

// Offsets inside a slot and inside a lead record.
constexpr int WindowStartAt = 0;
constexpr int WindowLengthAt = 8;
constexpr int ValuesAt = 16;
constexpr int ClassAt = 48;
constexpr int UsableAt = 0;
constexpr int WaveTimesAt = 8;
constexpr int PPolarityAt = 48;
constexpr int QrsPolarityAt = 50;
constexpr int TPolarityAt = 52;
constexpr int WindowsAt = 56;

void putDouble(char* at, double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian<quint64>(bits, at);
}

double getDouble(const char* at)
{
    const quint64 bits = qFromLittleEndian<quint64>(at);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void putInt32(char* at, double value)
{
    qToLittleEndian<qint32>(toSampleInt(value), at);
}

void putInt16(char* at, double value)
{
    qToLittleEndian<qint16>(toSample16(value), at);
}

// A set mark as stored, an unset one as 0.
double storedMark(const TBeat& beat, int lead, TBeat::MarkKind kind)
{
    return beat.isMarkSet(lead, kind) ? beat.mark(lead, kind) : 0.0;
}

void restorePositiveMark(TBeat& beat, int lead, TBeat::MarkKind kind, const char* at)
{
    const double value = getDouble(at);
    if (value > 0.0)
        beat.setMark(lead, kind, value);
}

// Marks 1..5 and 9..11: the double marks, in stored order.
template <typename Visit>
void forEachDoubleMark(Visit visit)
{
    for (int kind = TBeat::PWave; kind <= TBeat::TWave; ++kind)
        visit(TBeat::MarkKind(kind), WaveTimesAt + 8 * (kind - TBeat::PWave));
    for (int kind = TBeat::QrsWindow; kind <= TBeat::QrsToTWindow; ++kind)
        visit(TBeat::MarkKind(kind), WindowsAt + 8 * (kind - TBeat::QrsWindow));
}

void checkChannelCount(int channelCount)
{
    if (channelCount < 1 || channelCount > TBeat::MaxLeads)
        throw std::invalid_argument("Beat store channel count must be between 1 and 16");
}

} // namespace

TBeatStore::TBeatStore(int channelCount, int capacity, const TSignal* signal)
    : m_channelCount(channelCount)
    , m_capacity(capacity)
    , m_signal(signal)
{
    checkChannelCount(channelCount);
    if (capacity < 1)
        throw std::invalid_argument("Beat store capacity must be positive");
    m_slots.reset(new char[std::size_t(capacity) * slotSize()]);
}

void TBeatStore::encodeSlot(const TBeat& beat, int channelCount, char* slot)
{
    checkChannelCount(channelCount);
    std::memset(slot, 0, std::size_t(slotSize(channelCount)));
    putDouble(slot + WindowStartAt, beat.windowStart());
    putDouble(slot + WindowLengthAt, beat.windowLength());
    for (int kind = 0; kind < TBeat::ValueKindCount; ++kind)
        putDouble(slot + ValuesAt + 8 * kind, beat.value(TBeat::ValueKind(kind)));
    qToLittleEndian<qint32>(beat.beatClass(), slot + ClassAt);

    for (int lead = 0; lead < channelCount; ++lead) {
        char* record = slot + HeaderSize + LeadRecordSize * lead;
        putInt32(record + UsableAt, beat.mark(lead, TBeat::LeadUsable));
        putInt16(record + PPolarityAt, beat.mark(lead, TBeat::PPolarity));
        putInt16(record + QrsPolarityAt, beat.mark(lead, TBeat::QrsPolarity));
        putInt16(record + TPolarityAt, beat.mark(lead, TBeat::TPolarity));
        forEachDoubleMark([&](TBeat::MarkKind kind, int at) {
            putDouble(record + at, storedMark(beat, lead, kind));
        });
    }
}

TBeat TBeatStore::decodeSlot(const char* slot, int channelCount, const TSignal* signal)
{
    checkChannelCount(channelCount);
    TBeat beat(signal);
    beat.setWindowStart(getDouble(slot + WindowStartAt));
    beat.setWindowLength(getDouble(slot + WindowLengthAt));
    for (int kind = 0; kind < TBeat::ValueKindCount; ++kind)
        beat.setValue(TBeat::ValueKind(kind), getDouble(slot + ValuesAt + 8 * kind));
    beat.setBeatClass(qFromLittleEndian<qint32>(slot + ClassAt));

    for (int lead = 0; lead < channelCount; ++lead) {
        const char* record = slot + HeaderSize + LeadRecordSize * lead;
        beat.setMark(lead, TBeat::LeadUsable, qFromLittleEndian<qint32>(record + UsableAt));
        beat.setMark(lead, TBeat::PPolarity, qFromLittleEndian<qint16>(record + PPolarityAt));
        beat.setMark(lead, TBeat::QrsPolarity, qFromLittleEndian<qint16>(record + QrsPolarityAt));
        beat.setMark(lead, TBeat::TPolarity, qFromLittleEndian<qint16>(record + TPolarityAt));
        forEachDoubleMark([&](TBeat::MarkKind kind, int at) {
            restorePositiveMark(beat, lead, kind, record + at);
        });
    }
    return beat;
}

int TBeatStore::add(const TBeat& beat)
{
    if (m_count < m_capacity) {
        encodeSlot(beat, m_channelCount, slotAt((m_oldest + m_count) % m_capacity));
        ++m_count;
    } else {
        encodeSlot(beat, m_channelCount, slotAt(m_oldest));
        m_oldest = (m_oldest + 1) % m_capacity;
    }
    return m_count - 1;
}

TBeat TBeatStore::read(int position) const
{
    return decodeSlot(slotData(position), m_channelCount, m_signal);
}

const char* TBeatStore::slotData(int position) const
{
    if (position < 0 || position >= m_count)
        throw std::out_of_range("Beat position " + std::to_string(position) + " is outside the "
                                + std::to_string(m_count) + " beats in the store");
    return slotAt((m_oldest + position) % m_capacity);
}

char* TBeatStore::slotAt(int ringIndex) const
{
    return m_slots.get() + std::size_t(ringIndex) * slotSize();
}
