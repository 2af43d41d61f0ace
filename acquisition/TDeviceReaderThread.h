#pragma once

#include "acquisition/TDeviceProtocol.h"

#include <QMutex>
#include <QString>
#include <QThread>

#include <array>
#include <atomic>

class TSampleQueue;
class TSerialLink;

// Reader thread of the device source. Each run opens the link, starts the
// device streaming, decodes its packets into frames pushed to the queue,
// keeps the electrode flags and the battery voltage, and sends the
// keep-alive pair every 60000 packets (one minute). On interruption it stops
// the device and closes the link. A failure ends the run with the error flag
// raised and its text kept, without a stop command; the driver's worker
// then restarts the source, which reopens the port.
class TDeviceReaderThread : public QThread
{
public:
    TDeviceReaderThread(TSampleQueue* queue, const QString& portName, int linkSpeed);
    // Interrupts a run still going and waits for it.
    ~TDeviceReaderThread() override;

    QString portName() const { return m_portName; }
    // The error flag and its text, from any thread.
    bool hasError() const { return m_errorFlag.load() != 0; }
    QString errorText() const;
    // Lowers the error flag and clears its text; a run does it as it begins.
    void clearError();
    // Last decoded values, from any thread; before the first packet every
    // electrode is on and the battery reads 0.0.
    double batteryLevel() const { return m_battery.load(); }
    bool isElectrodeOff(const QString& electrode) const;

protected:
    void run() override;

private:
    void sendStartSequence(TSerialLink& link);
    void sendStopSequence(TSerialLink& link);
    void sendKeepAlivePair(TSerialLink& link);
    // Reads and delivers packets until interruption is requested.
    void stream(TSerialLink& link);
    void deliver(const unsigned char* packet);
    void fail(const QString& text);

    TSampleQueue* m_queue;
    const QString m_portName;
    const int m_linkSpeed;
    std::atomic<int> m_errorFlag{0};
    mutable QMutex m_errorMutex;
    QString m_errorText;
    // Fixed storage written by the run and read by the GUI thread; each
    // value is one atomic, so no reader sees it torn.
    std::atomic<double> m_battery{0.0};
    std::array<std::atomic<bool>, TDeviceProtocol::ElectrodeCount> m_electrodeOff;
};
