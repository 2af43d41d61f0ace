#include "acquisition/TDeviceAcqSource.h"

#include "acquisition/TDeviceDiscovery.h"
#include "acquisition/TDeviceProtocol.h"
#include "acquisition/TDeviceReaderThread.h"
#include "acquisition/TSerialLink.h"

#include <memory>

TDeviceAcqSource::TDeviceAcqSource(int linkSpeed)
    : TDeviceAcqSource(TDeviceDiscovery::findUsbDevicePort(TDeviceDiscovery::availablePorts()), linkSpeed)
{
}

TDeviceAcqSource::TDeviceAcqSource(const QString& portName, int linkSpeed)
{
    auto reader = std::make_unique<TDeviceReaderThread>(queue(), portName, linkSpeed);
    m_reader = reader.get();
    setReaderThread(std::move(reader));
}

void TDeviceAcqSource::setGain(double gain)
{
    m_gain = gain;
}

QString TDeviceAcqSource::portName() const
{
    return m_reader->portName();
}

void TDeviceAcqSource::start()
{
    if (!m_reader->isRunning())
        m_reader->clearError();
    TAcqSource::start();
}

bool TDeviceAcqSource::isHealthy() const
{
    return !m_reader->hasError();
}

bool TDeviceAcqSource::isElectrodeOff(const QString& electrode) const
{
    return m_reader->isElectrodeOff(electrode);
}

QString TDeviceAcqSource::errorText() const
{
    return m_reader->errorText();
}

double TDeviceAcqSource::batteryLevel() const
{
    return m_reader->batteryLevel();
}

int TDeviceAcqSource::channelCount() const
{
    return ChannelCount;
}

int TDeviceAcqSource::sampleRate() const
{
    return SampleRate;
}

int TDeviceAcqSource::bytesPerSample() const
{
    return BytesPerSample;
}

int TDeviceAcqSource::resolutionBits() const
{
    return ResolutionBits;
}

double TDeviceAcqSource::minimumValue() const
{
    return -m_gain;
}

double TDeviceAcqSource::maximumValue() const
{
    return m_gain;
}

QStringList TDeviceAcqSource::findBluetoothDevices()
{
    return TDeviceDiscovery::findBluetoothDevices(TDeviceDiscovery::availablePorts(), &probeBluetoothPort);
}

bool TDeviceAcqSource::probeBluetoothPort(const QString& portName)
{
    TSerialLink link;
    try {
        link.open(portName, TDeviceProtocol::LinkSpeed);
    } catch (const TDeviceLinkError&) {
        return false; // a port that cannot be opened holds no device for us
    }
    if (!link.sendIdentify())
        return false;
    char answer[TDeviceProtocol::IdentificationLength];
    const int count = link.read(answer, TDeviceProtocol::IdentificationLength);
    return count > 0 && TDeviceDiscovery::isDeviceIdentification(QByteArray(answer, count));
}
