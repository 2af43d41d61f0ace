#include "TPacketStream.h"

#include "acquisition/TDeviceProtocol.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <stdexcept>

using namespace TDeviceProtocol;

namespace {

// Offsets of the status bytes A, B, C and D.
constexpr int StatusOffsets[4] = {1, 2, 12, 23};
// Offset of the 16-bit value the program does not use; the simulator puts
// its packet counter there.
constexpr int CounterOffset = 31;
// A byte that is never a synchronisation byte.
constexpr unsigned char Filler = 0x55;

int statusSlot(int offset)
{
    for (int slot = 0; slot < 4; ++slot) {
        if (StatusOffsets[slot] == offset)
            return slot;
    }
    throw std::logic_error("Electrode flag outside the status bytes");
}

// Garbage that varies with the packet and never holds 0xC0.
QByteArray garbage(qint64 index)
{
    QByteArray bytes(int(1 + index % 7), Qt::Uninitialized);
    for (int k = 0; k < bytes.size(); ++k) {
        const auto value = static_cast<unsigned char>((index * 37 + k * 11) & 0xFF);
        bytes[k] = char(value == SyncByte ? Filler : value);
    }
    return bytes;
}

// A candidate that starts with 0xC0 and breaks off at the sync offset.
QByteArray falseStart(int breakOffset)
{
    QByteArray bytes(breakOffset + 1, char(Filler));
    bytes[0] = char(SyncByte);
    if (breakOffset == ThirdSyncOffset)
        bytes[SecondSyncOffset] = char(SyncByte);
    return bytes;
}

} // namespace

QByteArray TPacketStream::loadRecording(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open the recording " + path.toStdString());
    QByteArray frames = file.readAll();
    frames.chop(frames.size() % FrameBytes);
    if (frames.isEmpty())
        throw std::runtime_error("The recording " + path.toStdString() + " holds no frame");
    return frames;
}

TPacketStream::TPacketStream(QByteArray frames)
    : m_frames(std::move(frames))
{
    m_frames.chop(m_frames.size() % FrameBytes);
    if (m_frames.isEmpty())
        throw std::invalid_argument("A packet stream needs at least one frame");
}

void TPacketStream::setElectrodesOff(const QStringList& electrodes)
{
    unsigned char bits[4] = {0, 0, 0, 0};
    for (const QString& name : electrodes) {
        const int electrode = electrodeIndex(name);
        if (electrode < 0)
            throw std::invalid_argument("Unknown electrode " + name.toStdString());
        const ElectrodeField& field = Electrodes[std::size_t(electrode)];
        bits[statusSlot(field.offset)] |= field.mask;
    }
    std::copy(bits, bits + 4, m_statusBits);
}

QByteArray TPacketStream::frame(qint64 index) const
{
    return m_frames.mid(int(index % frameCount()) * FrameBytes, FrameBytes);
}

QByteArray TPacketStream::packet(qint64 index) const
{
    std::array<unsigned char, PacketSize> out{};
    out[0] = SyncByte;
    out[SecondSyncOffset] = SyncByte;
    out[ThirdSyncOffset] = SyncByte;
    for (int slot = 0; slot < 4; ++slot)
        out[StatusOffsets[slot]] = m_statusBits[slot];
    const QByteArray leads = frame(index);
    for (const LeadField& field : TransmittedLeads) {
        const auto value = qFromLittleEndian<qint16>(leads.constData() + 2 * field.lead);
        qToBigEndian<qint16>(value, out.data() + field.offset);
    }
    qToBigEndian<quint16>(quint16(index), out.data() + CounterOffset);
    out[BatteryOffset] = m_battery;
    return QByteArray(reinterpret_cast<const char*>(out.data()), PacketSize);
}

QByteArray TPacketStream::next()
{
    QByteArray bytes;
    const qint64 index = m_index++;
    if (m_garbageEvery > 0 && index % m_garbageEvery == m_garbageEvery - 1)
        bytes += garbage(index);
    if (m_falseStartEvery > 0 && index % m_falseStartEvery == m_falseStartEvery - 1) {
        const bool atThird = (index / m_falseStartEvery) % 2 == 1;
        bytes += falseStart(atThird ? ThirdSyncOffset : SecondSyncOffset);
    }
    return bytes + packet(index);
}
