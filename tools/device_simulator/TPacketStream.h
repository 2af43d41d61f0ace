#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The bytes the simulated device sends: one packet per frame of a demo
// recording (replayed in a loop), with the electrode and battery status
// chosen, and, on request, bytes a receiver has to skip: garbage between
// packets and false packet starts.
class TPacketStream
{
public:
    // Frames of 14 signed 16-bit little-endian leads in lead order, as in
    // the demo recordings. Throws std::runtime_error when the file cannot be
    // read or holds no whole frame.
    static QByteArray loadRecording(const QString& path);

    // `frames` holds at least one whole frame.
    explicit TPacketStream(QByteArray frames);

    // Electrodes reported without contact ("LA", "LL", "RA", "V1" ... "V6");
    // throws std::invalid_argument for another name.
    void setElectrodesOff(const QStringList& electrodes);
    // The battery byte: 0.013 V per count.
    void setBatteryByte(unsigned char value) { m_battery = value; }
    // Before every n-th packet a few garbage bytes, none of them 0xC0
    // (0: never).
    void setGarbageEvery(int packets) { m_garbageEvery = packets; }
    // Before every n-th packet a false start: a 0xC0 whose candidate packet
    // breaks off at offset 11 or, every other time, at offset 22 (0: never).
    void setFalseStartEvery(int packets) { m_falseStartEvery = packets; }

    int frameCount() const { return m_frames.size() / FrameBytes; }
    // The recording frame that packet `index` carries.
    QByteArray frame(qint64 index) const;
    // Index of the packet next() gives next.
    qint64 packetIndex() const { return m_index; }
    // The next packet with any bytes injected before it.
    QByteArray next();
    // Packet `index` of this stream, without injected bytes.
    QByteArray packet(qint64 index) const;

private:
    static constexpr int FrameBytes = 28;

    QByteArray m_frames;
    unsigned char m_statusBits[4] = {0, 0, 0, 0};
    unsigned char m_battery = 215;
    int m_garbageEvery = 0;
    int m_falseStartEvery = 0;
    qint64 m_index = 0;
};
