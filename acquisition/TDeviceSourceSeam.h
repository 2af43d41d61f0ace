#pragma once

#include <QString>

#include <memory>

class TAcqSource;

// SEAM for the device source of Part 2.2 (TDeviceAcqSource), which is not
// built yet. createAcqSource reaches the device only through these two
// functions; the device work replaces their bodies (TDeviceSourceSeam.cpp)
// with the real constructors and setGain, and nothing else in the framework
// changes. `gain` is to be applied with setGain when greater than 0.
//
// Until then no device can be found: both throw std::runtime_error with the
// construction failure text of Part 2.2, "Device not found". They never
// pretend that a device is present.

// USB mode: discovers the device's port.
std::unique_ptr<TAcqSource> createUsbDeviceAcqSource(int linkSpeed, double gain);
// Bluetooth mode: the device on the given serial port.
std::unique_ptr<TAcqSource> createBluetoothDeviceAcqSource(const QString& portName, int linkSpeed,
                                                           double gain);
