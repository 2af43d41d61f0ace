#pragma once

#include "acquisition/TAcqSource.h"

#include <QString>
#include <QStringList>

class TDeviceReaderThread;

// The ECG device as an acquisition source: 14 leads at 1000 Hz, 16-bit
// counts, over a serial port (a USB virtual serial port or a Bluetooth
// serial port). Healthy while its reader has no error; an unhealthy source
// is restarted by the driver's worker, which reopens the port.
class TDeviceAcqSource : public TAcqSource
{
public:
    static constexpr int ChannelCount = 14;
    static constexpr int SampleRate = 1000;
    static constexpr int BytesPerSample = 2;
    static constexpr int ResolutionBits = 16;
    static constexpr double DefaultGain = 300.0;

    // USB: finds the device's port among the system's serial ports. Throws
    // std::runtime_error("Device not found") when none qualifies.
    explicit TDeviceAcqSource(int linkSpeed);
    // Bluetooth: the device on the given port. The port is first opened
    // when the source starts.
    TDeviceAcqSource(const QString& portName, int linkSpeed);

    // Amplitude half-range in millivolts (300.0 unless set).
    void setGain(double gain);
    QString portName() const;

    // Lowers the reader's error flag before it runs again, so that a source
    // just restarted does not read as failed while its reader starts up.
    void start() override;
    bool isHealthy() const override;
    bool isElectrodeOff(const QString& electrode) const override;
    QString errorText() const override;
    double batteryLevel() const override;
    int channelCount() const override;
    int sampleRate() const override;
    int bytesPerSample() const override;
    int resolutionBits() const override;
    double minimumValue() const override;
    double maximumValue() const override;

    // The Bluetooth serial ports on which the device answers, in ascending
    // order of port name; probes them in parallel and blocks until all have
    // answered (each within the open time plus the read time-out).
    static QStringList findBluetoothDevices();
    // Opens the port, sends the identification command and checks the
    // answer (up to 7 bytes in one read). False when the port cannot be
    // opened, the command cannot be sent, nothing comes back or the answer
    // is not the device's.
    static bool probeBluetoothPort(const QString& portName);

private:
    TDeviceReaderThread* m_reader;
    double m_gain = DefaultGain;
};
