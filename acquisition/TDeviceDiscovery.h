#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What the system tells about one serial port.
struct TSerialPortDescription {
    QString portName;
    QString description;
    bool hasUsbIdentifiers = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

// Finding the device among the serial ports. The decisions are plain
// functions of the port list and of the device's answers; only
// availablePorts asks the system.
namespace TDeviceDiscovery {

// USB identifiers of the device's USB serial converter.
constexpr quint16 UsbVendorId = 0x04D8;
constexpr quint16 UsbProductId = 0x00DF;

// The serial ports of the system, in the order it lists them.
QList<TSerialPortDescription> availablePorts();

// The port of the USB device: the first port whose description, in upper
// case with "_" read as a blank, begins with "PULSORIX ECG" or "PULSORIX
// ERGO"; failing that, the first port with the device's USB identifiers.
// Throws std::runtime_error("Device not found") when no port qualifies.
QString findUsbDevicePort(const QList<TSerialPortDescription>& ports);

// A port that may lead to the device over Bluetooth: its description
// contains "Bluetooth" (in any case), or it is an rfcomm port (Bluetooth
// serial ports on Linux).
bool isBluetoothCandidate(const TSerialPortDescription& port);

// Whether an answer to the identification command comes from the device:
// trimmed and in lower case it contains "ergo" or "ecg".
bool isDeviceIdentification(const QByteArray& answer);

// Probes every Bluetooth candidate in parallel on the shared thread pool and
// returns, in ascending order of port name, those whose probe answered true.
// Blocks until every probe has answered.
QStringList findBluetoothDevices(const QList<TSerialPortDescription>& ports,
                                 const std::function<bool(const QString&)>& probe);

} // namespace TDeviceDiscovery
