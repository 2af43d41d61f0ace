#include "TPacketStream.h"

#include "acquisition/TDeviceAcqSource.h"
#include "acquisition/TDeviceProtocol.h"
#include "acquisition/TKeepAliveCounter.h"
#include "acquisition/TPacketHunter.h"

#include <QByteArray>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Packet = std::array<unsigned char, 34>;
using Frame = std::array<int, 14>;

enum LeadIndex { I, II, III, aVR, aVL, aVF, V1, V2, V3, V4, V5, V6, CM5, CR5 };

const char* const ElectrodeNames[] = {"LA", "LL", "RA", "V1", "V2", "V3", "V4", "V5", "V6"};

void put(Packet& packet, int offset, int value)
{
    packet[std::size_t(offset)] = static_cast<unsigned char>((value >> 8) & 0xFF);
    packet[std::size_t(offset + 1)] = static_cast<unsigned char>(value & 0xFF);
}

// A packet laid out as the device sends it, written out here on its own
// (not from the decoder's tables): sync bytes at 0, 11 and 22, values high
// byte first, battery at 33.
Packet makePacket(const Frame& leads, unsigned char battery = 0)
{
    Packet packet{};
    packet[0] = packet[11] = packet[22] = 0xC0;
    put(packet, 3, leads[V5]);
    put(packet, 5, leads[I]);
    put(packet, 7, leads[II]);
    put(packet, 9, leads[III]);
    put(packet, 14, leads[V1]);
    put(packet, 16, leads[V2]);
    put(packet, 18, leads[V3]);
    put(packet, 20, leads[V4]);
    put(packet, 25, leads[V6]);
    put(packet, 27, leads[CM5]);
    put(packet, 29, leads[CR5]);
    packet[33] = battery;
    return packet;
}

Frame decode(const Packet& packet)
{
    char bytes[28];
    TDeviceProtocol::decodeFrame(packet.data(), bytes);
    Frame frame{};
    for (int lead = 0; lead < 14; ++lead)
        frame[std::size_t(lead)] = qFromLittleEndian<qint16>(bytes + 2 * lead);
    return frame;
}

Frame limbLeads(int i, int ii, int iii)
{
    Frame frame{};
    frame[I] = i;
    frame[II] = ii;
    frame[III] = iii;
    return frame;
}

std::vector<bool> electrodesOff(const Packet& packet)
{
    std::vector<bool> off;
    for (const char* name : ElectrodeNames)
        off.push_back(TDeviceProtocol::isElectrodeOff(packet.data(),
                                                      TDeviceProtocol::electrodeIndex(QString::fromLatin1(name))));
    return off;
}

// Feeds the bytes to a hunter and returns the packets it completed.
std::vector<Packet> hunt(const QByteArray& stream)
{
    TPacketHunter hunter;
    std::vector<Packet> packets;
    for (char byte : stream) {
        if (!hunter.feed(static_cast<unsigned char>(byte)))
            continue;
        Packet packet;
        std::copy(hunter.packet(), hunter.packet() + 34, packet.begin());
        packets.push_back(packet);
    }
    return packets;
}

QByteArray bytes(const Packet& packet)
{
    return QByteArray(reinterpret_cast<const char*>(packet.data()), 34);
}

// Three packets whose values hold no 0xC0 byte.
const Packet First = makePacket({101, 202, 303, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, 150);
const Packet Second = makePacket({111, 222, 333, 0, 0, 0, 9, 10, 11, 12, 13, 14, 15, 16}, 151);
const Packet Third = makePacket({121, 242, 363, 0, 0, 0, 17, 18, 19, 20, 21, 22, 23, 24}, 152);

} // namespace

TEST(DeviceDecoding, TransmittedLeadsComeFromTheirOffsetsHighByteFirst)
{
    const Frame sent = {-32768, 32767, -1, 0, 0, 0, 256, -256, 1, -2, 4660, -4660, 12345, -12345};
    const Frame frame = decode(makePacket(sent));
    for (int lead : {I, II, III, V1, V2, V3, V4, V5, V6, CM5, CR5})
        EXPECT_EQ(frame[std::size_t(lead)], sent[std::size_t(lead)]) << "lead " << lead;
}

TEST(DeviceDecoding, AugmentedLeadsTruncateTowardZeroAndStayWithinSixteenBits)
{
    struct Case {
        int i, ii, iii;
        int avr, avl, avf;
    };
    const Case cases[] = {
        {-32768, -32768, 0, 32767, -16384, -16384}, // -(I + II) / 2 = 32768, clamped
        {3, 0, 0, -1, 1, 0},                        // -(3 / 2) = -1, not -2
        {-3, 0, 0, 1, -1, 0},
        {0, 5, -2, -2, 1, 1},
        {0, -5, 2, 2, -1, -1},
        {32767, 32767, -32768, -32767, 32767, 0},
        {-32768, 32767, 32767, 0, -32767, 32767},
    };
    for (const Case& c : cases) {
        const Frame frame = decode(makePacket(limbLeads(c.i, c.ii, c.iii)));
        EXPECT_EQ(frame[aVR], c.avr) << c.i << " " << c.ii << " " << c.iii;
        EXPECT_EQ(frame[aVL], c.avl) << c.i << " " << c.ii << " " << c.iii;
        EXPECT_EQ(frame[aVF], c.avf) << c.i << " " << c.ii << " " << c.iii;
    }
}

TEST(DeviceDecoding, BatteryByteCountsThirteenMillivolts)
{
    EXPECT_DOUBLE_EQ(TDeviceProtocol::batteryVoltage(makePacket({}, 0).data()), 0.0);
    EXPECT_NEAR(TDeviceProtocol::batteryVoltage(makePacket({}, 200).data()), 2.6, 1e-12);
    EXPECT_NEAR(TDeviceProtocol::batteryVoltage(makePacket({}, 255).data()), 3.315, 1e-12);
}

TEST(DeviceDecoding, EveryElectrodeBitMarksItsElectrodeOff)
{
    struct Bit {
        int offset;
        int bit;
        const char* electrode;
    };
    const Bit bits[] = {
        {1, 4, "V5"}, {1, 5, "LA"}, {1, 6, "LL"}, {1, 7, "LL"},  {2, 5, "RA"},  {2, 6, "RA"},
        {12, 4, "V1"}, {12, 5, "V2"}, {12, 6, "V3"}, {12, 7, "V4"}, {23, 4, "V6"},
    };
    for (const Bit& bit : bits) {
        Packet packet = makePacket({});
        packet[std::size_t(bit.offset)] = static_cast<unsigned char>(1 << bit.bit);
        const std::vector<bool> off = electrodesOff(packet);
        for (std::size_t k = 0; k < off.size(); ++k)
            EXPECT_EQ(off[k], QLatin1String(ElectrodeNames[k]) == QLatin1String(bit.electrode))
                << "byte " << bit.offset << " bit " << bit.bit << ", electrode " << ElectrodeNames[k];
    }
}

TEST(DeviceDecoding, OtherStatusBitsAndTheUnusedBytesMarkNoElectrode)
{
    Packet packet = makePacket({});
    packet[1] = 0x0F;
    packet[2] = 0x9F;
    packet[12] = 0x0F;
    packet[13] = 0xFF;
    packet[23] = 0xEF;
    packet[24] = 0xFF;
    for (bool off : electrodesOff(packet))
        EXPECT_FALSE(off);
    EXPECT_EQ(TDeviceProtocol::electrodeIndex(QStringLiteral("la")), -1);
    EXPECT_EQ(TDeviceProtocol::electrodeIndex(QStringLiteral("V7")), -1);
}

TEST(DeviceDecoding, BeforeTheFirstPacketEveryElectrodeIsOnAndTheBatteryReadsZero)
{
    TDeviceAcqSource source(QStringLiteral("/nonexistent/ttyVAROR"), 570000);
    for (const char* name : ElectrodeNames)
        EXPECT_FALSE(source.isElectrodeOff(QString::fromLatin1(name))) << name;
    EXPECT_FALSE(source.isElectrodeOff(QStringLiteral("V7")));
    EXPECT_DOUBLE_EQ(source.batteryLevel(), 0.0);
    EXPECT_TRUE(source.isHealthy());
    EXPECT_EQ(source.errorText(), QString());
    EXPECT_EQ(source.channelCount(), 14);
    EXPECT_EQ(source.sampleRate(), 1000);
    EXPECT_EQ(source.bytesPerSample(), 2);
    EXPECT_EQ(source.resolutionBits(), 16);
    EXPECT_DOUBLE_EQ(source.maximumValue(), 300.0);
    source.setGain(150.0);
    EXPECT_DOUBLE_EQ(source.minimumValue(), -150.0);
    EXPECT_DOUBLE_EQ(source.maximumValue(), 150.0);
}

TEST(PacketHunting, AStreamStartingMidPacketLocksOnTheNextPacket)
{
    const QByteArray stream = bytes(First).mid(7) + bytes(Second) + bytes(Third);
    const std::vector<Packet> packets = hunt(stream);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], Second);
    EXPECT_EQ(packets[1], Third);
}

TEST(PacketHunting, AFalseStartIsDroppedAtOffsetElevenOrTwentyTwo)
{
    const QByteArray atEleven = QByteArray(1, char(0xC0)) + QByteArray(10, 0x11) + QByteArray(1, 0x22);
    const QByteArray atTwentyTwo = QByteArray(1, char(0xC0)) + QByteArray(10, 0x11) + QByteArray(1, char(0xC0))
        + QByteArray(10, 0x11) + QByteArray(1, 0x22);
    const std::vector<Packet> packets = hunt(atEleven + bytes(First) + atTwentyTwo + bytes(Second));
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], First);
    EXPECT_EQ(packets[1], Second);
}

TEST(PacketHunting, HuntingGoesOnWithTheNextUnreadByte)
{
    // The false candidate takes the first bytes of First and breaks off
    // inside it; First's start is not looked at again, First is lost and
    // the hunt finds Second.
    const QByteArray falseStart = QByteArray(1, char(0xC0)) + QByteArray(4, 0x11);
    const std::vector<Packet> packets = hunt(falseStart + bytes(First) + bytes(Second));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], Second);
}

TEST(PacketHunting, GarbageBetweenPacketsIsSkipped)
{
    const QByteArray garbage("\x01\x02\x7F\xFF\x00\x33", 6);
    const std::vector<Packet> packets = hunt(garbage + bytes(First) + garbage + bytes(Second) + bytes(Third) + garbage);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0], First);
    EXPECT_EQ(packets[1], Second);
    EXPECT_EQ(packets[2], Third);
}

TEST(PacketHunting, TheSimulatorsStreamWithGarbageAndFalseStartsYieldsExactlyItsPackets)
{
    TPacketStream stream(TPacketStream::loadRecording(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat")));
    stream.setGarbageEvery(3);
    stream.setFalseStartEvery(2);
    const int count = 3000;
    QByteArray sent = stream.next().mid(5); // starts mid-packet: packet 0 is lost
    for (int k = 1; k < count; ++k)
        sent += stream.next();
    const std::vector<Packet> packets = hunt(sent);
    ASSERT_EQ(packets.size(), std::size_t(count - 1));
    for (int k = 1; k < count; ++k) {
        ASSERT_EQ(bytes(packets[std::size_t(k - 1)]), stream.packet(k)) << "packet " << k;
        const Frame frame = decode(packets[std::size_t(k - 1)]);
        const QByteArray recorded = stream.frame(k);
        for (int lead : {I, II, III, V1, V2, V3, V4, V5, V6, CM5, CR5})
            ASSERT_EQ(frame[std::size_t(lead)], qFromLittleEndian<qint16>(recorded.constData() + 2 * lead))
                << "packet " << k << " lead " << lead;
    }
}

TEST(KeepAlive, DueAfterEverySixtyThousandPackets)
{
    TKeepAliveCounter counter;
    for (int round = 0; round < 2; ++round) {
        int early = 0;
        for (int packet = 1; packet < 60000; ++packet)
            early += counter.countPacket() ? 1 : 0;
        EXPECT_EQ(early, 0) << "round " << round;
        EXPECT_TRUE(counter.countPacket()) << "round " << round;
    }
}
