#include "acquisition/TDeviceSourceSeam.h"

#include "acquisition/TAcqSource.h"

#include <stdexcept>

// Placeholders until the device source of Part 2.2 exists (see the header).

std::unique_ptr<TAcqSource> createUsbDeviceAcqSource(int linkSpeed, double gain)
{
    Q_UNUSED(linkSpeed)
    Q_UNUSED(gain)
    throw std::runtime_error("Device not found");
}

std::unique_ptr<TAcqSource> createBluetoothDeviceAcqSource(const QString& portName, int linkSpeed,
                                                           double gain)
{
    Q_UNUSED(portName)
    Q_UNUSED(linkSpeed)
    Q_UNUSED(gain)
    throw std::runtime_error("Device not found");
}
