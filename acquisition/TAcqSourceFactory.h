#pragma once

#include <memory>

class TAcqSource;

namespace TAcqSourceFactory {

// The demo recording a study replays (1000 Hz) and the one the acquisition
// test of the configuration dialog replays (500 Hz), opened by bare name
// relative to the working folder.
inline const char* const DemoFileName = "ecg1000.dat";
inline const char* const DemoTestFileName = "ecg500.dat";
constexpr int DemoChannelCount = 14;
constexpr int DemoSampleRate = 1000;
constexpr int DemoTestSampleRate = 500;
constexpr int DemoBytesPerSample = 2;
constexpr int DemoResolutionBits = 16;
constexpr double DemoGain = 300.0;
constexpr long long DemoDataOffset = 0;

inline const char* const DemoMode = "demo";
inline const char* const BluetoothMode = "bluetooth-com";

} // namespace TAcqSourceFactory

// Creates the acquisition source the settings choose: reads
// "Config/AcqMode" and "Config/SignalGain" through the settings table.
//   "demo"          the demo source on "ecg1000.dat" (14 channels, 1000 Hz,
//                   2 bytes, 16 bits, gain 300.0, offset 0); the gain setting
//                   is not applied;
//   "bluetooth-com" the device source on the port "Config/AcqBluetoothPort";
//   anything else   the device source on the USB device.
// Both device sources use the device's link speed (570000) and get a
// positive gain setting. Construction failures are not caught:
// std::runtime_error with "Cannot open file" (demo file missing or shorter
// than one frame) or "Device not found".
std::unique_ptr<TAcqSource> createAcqSource();
