#pragma once

#include <QString>

#include <array>

// The device's serial protocol, shared by the reader that decodes it and
// the device simulator that produces it.
//
// The computer sends single command bytes. The device streams one 34-byte
// packet per frame, 1000 per second; multi-byte values are signed 16-bit,
// high byte first:
//
//   offset  0     0xC0 (synchronisation)
//           1     status A (V5, LA, LL off)
//           2     status B (RA off)
//           3     V5        5 I        7 II        9 III
//          11     0xC0 (synchronisation)
//          12     status C (V1 ... V4 off)
//          13     not used
//          14     V1       16 V2       18 V3       20 V4
//          22     0xC0 (synchronisation)
//          23     status D (V6 off)
//          24     not used
//          25     V6       27 CM5      29 CR5
//          31     a 16-bit value the program does not use
//          33     battery, 0.013 V per count
//
// A set electrode bit means the electrode has no contact. A packet becomes
// one frame of 14 little-endian 16-bit counts in lead order; the augmented
// leads aVR, aVL and aVF are computed from I, II and III.
namespace TDeviceProtocol {

// Serial link speed of the device (bits per second).
constexpr int LinkSpeed = 570000;

// Command bytes sent to the device.
enum Command : unsigned char {
    StartStreaming = 0x01,
    StopStreaming = 0x02,
    KeepAlive = 0x09,
    Identify = 0x0B,
};
// The device answers Identify with at most this many bytes of text.
constexpr int IdentificationLength = 7;

constexpr int PacketSize = 34;
constexpr unsigned char SyncByte = 0xC0;
// Offsets of the second and third synchronisation bytes (the first is 0).
constexpr int SecondSyncOffset = 11;
constexpr int ThirdSyncOffset = 22;
constexpr int BatteryOffset = 33;
constexpr double VoltsPerBatteryCount = 0.013;

// The decoded frame: 14 leads of 2 bytes.
constexpr int LeadCount = 14;
constexpr int FrameSize = 2 * LeadCount;
// Lead positions in the frame.
enum Lead { I, II, III, aVR, aVL, aVF, V1, V2, V3, V4, V5, V6, CM5, CR5 };

// Where a lead the device transmits sits in the packet.
struct LeadField {
    int lead;
    int offset;
};
constexpr int TransmittedLeadCount = 11;
extern const std::array<LeadField, TransmittedLeadCount> TransmittedLeads;

// Where an electrode's contact flag sits: the electrode is off when any bit
// of the mask is set in the status byte at the offset.
struct ElectrodeField {
    const char* name;
    int offset;
    unsigned char mask;
};
constexpr int ElectrodeCount = 9;
// "LA", "LL", "RA", "V1" ... "V6", in this order.
extern const std::array<ElectrodeField, ElectrodeCount> Electrodes;

// Position of an electrode name in Electrodes, or -1 for any other name.
int electrodeIndex(const QString& name);

// Writes the packet's frame (FrameSize bytes) to `frame`.
void decodeFrame(const unsigned char* packet, char* frame);
// Whether the packet marks the electrode (position in Electrodes) as off.
bool isElectrodeOff(const unsigned char* packet, int electrode);
// Battery voltage the packet reports.
double batteryVoltage(const unsigned char* packet);

} // namespace TDeviceProtocol
