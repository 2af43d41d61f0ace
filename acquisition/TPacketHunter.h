#pragma once

#include "acquisition/TDeviceProtocol.h"

#include <array>

// Finds the device's packets in the byte stream, one byte at a time. A
// candidate starts at a 0xC0 byte and must carry 0xC0 again at offsets 11
// and 22; a candidate that does not is dropped at the offending byte, and
// hunting goes on with the byte after it (bytes already taken for the
// candidate are not looked at again). This finds the packet boundary in a
// stream that starts in the middle of a packet and skips garbage between
// packets.
class TPacketHunter
{
public:
    // Takes the next byte. Returns true when the byte completed a packet;
    // packet() then holds it until the next call.
    bool feed(unsigned char byte);
    const unsigned char* packet() const { return m_packet.data(); }

private:
    std::array<unsigned char, TDeviceProtocol::PacketSize> m_packet{};
    int m_position = 0;
};
