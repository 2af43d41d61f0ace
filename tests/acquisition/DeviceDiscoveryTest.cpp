#include "acquisition/TDeviceDiscovery.h"

#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace TDeviceDiscovery;

namespace {

TSerialPortDescription port(const char* name, const char* description)
{
    TSerialPortDescription result;
    result.portName = QString::fromLatin1(name);
    result.description = QString::fromLatin1(description);
    return result;
}

TSerialPortDescription usbPort(const char* name, quint16 vendor, quint16 product)
{
    TSerialPortDescription result = port(name, "USB serial");
    result.hasUsbIdentifiers = true;
    result.vendorId = vendor;
    result.productId = product;
    return result;
}

std::string usbSearch(const QList<TSerialPortDescription>& ports)
{
    try {
        return findUsbDevicePort(ports).toStdString();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
}

// A probe that answers from a table and notes every port it was asked.
class ScriptedProbe
{
public:
    explicit ScriptedProbe(QStringList answering) : m_answering(std::move(answering)) {}

    bool operator()(const QString& name)
    {
        const QMutexLocker locker(&m_mutex);
        m_asked.append(name);
        return m_answering.contains(name);
    }
    QStringList asked() const
    {
        const QMutexLocker locker(&m_mutex);
        QStringList sorted = m_asked;
        sorted.sort();
        return sorted;
    }

private:
    QStringList m_answering;
    mutable QMutex m_mutex;
    QStringList m_asked;
};

} // namespace

TEST(UsbDiscovery, DescriptionsNameTheDeviceInAnyCaseWithUnderscoresAsBlanks)
{
    EXPECT_EQ(usbSearch({port("ttyS0", "Serial"), port("ttyACM0", "PULSORIX_ECG_1")}), "ttyACM0");
    EXPECT_EQ(usbSearch({port("ttyACM1", "Pulsorix Ergo 2")}), "ttyACM1");
    EXPECT_EQ(usbSearch({port("ttyACM2", "pulsorix_ecg")}), "ttyACM2");
    // The name must begin the description.
    EXPECT_EQ(usbSearch({port("ttyACM3", "USB PULSORIX ECG")}), "Device not found");
    // The first qualifying port in the system's order wins.
    EXPECT_EQ(usbSearch({port("ttyACM5", "PULSORIX ERGO"), port("ttyACM4", "PULSORIX ECG")}), "ttyACM5");
}

TEST(UsbDiscovery, UsbIdentifiersAreTheFallback)
{
    EXPECT_EQ(usbSearch({usbPort("ttyUSB0", 0x04D8, 0x00DE), usbPort("ttyUSB1", 0x04D8, 0x00DF)}), "ttyUSB1");
    // A port named by its description is preferred even when it comes later.
    EXPECT_EQ(usbSearch({usbPort("ttyUSB1", 0x04D8, 0x00DF), port("ttyACM0", "PULSORIX ECG")}), "ttyACM0");
    // Identifiers count only when the system reported them.
    TSerialPortDescription unreported = usbPort("ttyUSB2", 0x04D8, 0x00DF);
    unreported.hasUsbIdentifiers = false;
    EXPECT_EQ(usbSearch({unreported}), "Device not found");
}

TEST(UsbDiscovery, NoQualifyingPortIsDeviceNotFound)
{
    EXPECT_EQ(usbSearch({}), "Device not found");
    EXPECT_EQ(usbSearch({port("ttyS0", "16550A"), usbPort("ttyUSB0", 0x0403, 0x6001)}), "Device not found");
}

TEST(BluetoothDiscovery, CandidatesAreBluetoothDescriptionsAndRfcommPorts)
{
    EXPECT_TRUE(isBluetoothCandidate(port("ttyS3", "Standard Serial over Bluetooth link")));
    EXPECT_TRUE(isBluetoothCandidate(port("ttyS4", "BLUETOOTH serial")));
    EXPECT_TRUE(isBluetoothCandidate(port("rfcomm0", "")));
    EXPECT_FALSE(isBluetoothCandidate(port("ttyUSB0", "USB serial")));
    EXPECT_FALSE(isBluetoothCandidate(port("ttyS0", "")));
}

TEST(BluetoothDiscovery, AnswersContainingEcgOrErgoAreTheDevice)
{
    EXPECT_TRUE(isDeviceIdentification("  ECG-01 "));
    EXPECT_TRUE(isDeviceIdentification("ErGo 2"));
    EXPECT_TRUE(isDeviceIdentification("xecgx"));
    EXPECT_FALSE(isDeviceIdentification(""));
    EXPECT_FALSE(isDeviceIdentification("   "));
    EXPECT_FALSE(isDeviceIdentification("E C G"));
    EXPECT_FALSE(isDeviceIdentification("MODEM"));
}

TEST(BluetoothDiscovery, ProbesEveryCandidateOnceAndListsTheAnswersByAscendingName)
{
    const QList<TSerialPortDescription> ports = {
        port("rfcomm2", ""),
        port("ttyUSB0", "USB serial"),
        port("ttyS7", "Bluetooth serial"),
        port("rfcomm0", ""),
        port("rfcomm1", ""),
    };
    ScriptedProbe probe({QStringLiteral("rfcomm2"), QStringLiteral("ttyS7"), QStringLiteral("rfcomm0"),
                         QStringLiteral("ttyUSB0")});
    const QStringList devices =
        findBluetoothDevices(ports, [&probe](const QString& name) { return probe(name); });
    EXPECT_EQ(devices, QStringList({QStringLiteral("rfcomm0"), QStringLiteral("rfcomm2"), QStringLiteral("ttyS7")}));
    EXPECT_EQ(probe.asked(), QStringList({QStringLiteral("rfcomm0"), QStringLiteral("rfcomm1"),
                                          QStringLiteral("rfcomm2"), QStringLiteral("ttyS7")}));
}

TEST(BluetoothDiscovery, NoCandidateFindsNothing)
{
    ScriptedProbe probe({QStringLiteral("ttyUSB0")});
    EXPECT_TRUE(findBluetoothDevices({port("ttyUSB0", "USB")}, [&probe](const QString& name) { return probe(name); })
                    .isEmpty());
    EXPECT_TRUE(probe.asked().isEmpty());
}
