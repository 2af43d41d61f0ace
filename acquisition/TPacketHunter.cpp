#include "acquisition/TPacketHunter.h"

using namespace TDeviceProtocol;

bool TPacketHunter::feed(unsigned char byte)
{
    const bool syncExpected =
        m_position == 0 || m_position == SecondSyncOffset || m_position == ThirdSyncOffset;
    if (syncExpected && byte != SyncByte) {
        m_position = 0;
        return false;
    }
    m_packet[std::size_t(m_position)] = byte;
    if (++m_position < PacketSize)
        return false;
    m_position = 0;
    return true;
}
