#include "acquisition/TDeviceDiscovery.h"

#include <QFuture>
#include <QMap>
#include <QSerialPortInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <stdexcept>

namespace TDeviceDiscovery {

namespace {

bool hasDeviceDescription(const TSerialPortDescription& port)
{
    const QString description = port.description.toUpper().replace(QLatin1Char('_'), QLatin1Char(' '));
    return description.startsWith(QLatin1String("PULSORIX ECG"))
        || description.startsWith(QLatin1String("PULSORIX ERGO"));
}

bool hasDeviceIdentifiers(const TSerialPortDescription& port)
{
    return port.hasUsbIdentifiers && port.vendorId == UsbVendorId && port.productId == UsbProductId;
}

} // namespace

QList<TSerialPortDescription> availablePorts()
{
    QList<TSerialPortDescription> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        TSerialPortDescription port;
        port.portName = info.portName();
        port.description = info.description();
        port.hasUsbIdentifiers = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        ports.append(port);
    }
    return ports;
}

QString findUsbDevicePort(const QList<TSerialPortDescription>& ports)
{
    for (const TSerialPortDescription& port : ports) {
        if (hasDeviceDescription(port))
            return port.portName;
    }
    for (const TSerialPortDescription& port : ports) {
        if (hasDeviceIdentifiers(port))
            return port.portName;
    }
    throw std::runtime_error("Device not found");
}

bool isBluetoothCandidate(const TSerialPortDescription& port)
{
    return port.description.contains(QLatin1String("Bluetooth"), Qt::CaseInsensitive)
        || port.portName.startsWith(QLatin1String("rfcomm"));
}

bool isDeviceIdentification(const QByteArray& answer)
{
    const QByteArray text = answer.trimmed().toLower();
    return text.contains("ergo") || text.contains("ecg");
}

QStringList findBluetoothDevices(const QList<TSerialPortDescription>& ports,
                                 const std::function<bool(const QString&)>& probe)
{
    // Keyed by port name, so that the answers are taken in ascending order.
    QMap<QString, QFuture<bool>> probes;
    for (const TSerialPortDescription& port : ports) {
        if (!isBluetoothCandidate(port) || probes.contains(port.portName))
            continue;
        const QString name = port.portName;
        probes.insert(name, QtConcurrent::run(QThreadPool::globalInstance(),
                                              [probe, name] { return probe(name); }));
    }
    QStringList devices;
    for (auto it = probes.begin(); it != probes.end(); ++it) {
        if (it.value().result())
            devices.append(it.key());
    }
    return devices;
}

} // namespace TDeviceDiscovery
