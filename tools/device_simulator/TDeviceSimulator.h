#pragma once

#include "TPacketStream.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class TPseudoTerminal;

struct TDeviceSimulatorOptions {
    // Demo recording whose frames are streamed, in a loop.
    QString recordingPath = QStringLiteral("data/ecg1000.dat");
    // A symbolic link kept pointing at the current pseudo-terminal; it
    // stays the same when the device vanishes and comes back on a new one.
    QString linkPath;
    // Answer to the identification command (at most 7 bytes are sent).
    QByteArray identification = "ECG-01";
    QStringList electrodesOff;
    unsigned char batteryByte = 215; // 2.795 V
    int garbageEvery = 0;            // packets; 0 = never
    int falseStartEvery = 0;         // packets; 0 = never
    // After so many packets of a streaming run the device falls silent until
    // the next start command (once; 0 = never).
    qint64 stallAfter = 0;
    // After so many packets of a streaming run the device disappears (its
    // pseudo-terminal closes) and comes back after vanishMilliseconds on a
    // new one, waiting for a start command (once; 0 = never).
    qint64 vanishAfter = 0;
    int vanishMilliseconds = 2000;
    // The device falls silent for good after so many packets (0 = never).
    qint64 packetLimit = 0;
    // Streams as fast as the port takes the packets instead of 1000 per
    // second.
    bool fast = false;
};

// A command byte the device received, with the count of packets it had
// produced by then.
struct TReceivedCommand {
    unsigned char command;
    qint64 packetsSent;
};

// The ECG device on a pseudo-terminal: 0x01 starts streaming packets of the
// recording (1000 per second), 0x02 stops, 0x0B answers with the
// identification, 0x09 and anything else are taken without effect. run()
// serves the port until stop() is called from any thread; the observers are
// safe from any thread as well.
class TDeviceSimulator
{
public:
    // Loads the recording and opens the pseudo-terminal; throws
    // std::runtime_error or std::invalid_argument on a bad option.
    explicit TDeviceSimulator(const TDeviceSimulatorOptions& options);
    // Removes the link.
    ~TDeviceSimulator();
    TDeviceSimulator(const TDeviceSimulator&) = delete;
    TDeviceSimulator& operator=(const TDeviceSimulator&) = delete;

    // Where the program opens the device: the link if there is one, else
    // the pseudo-terminal.
    QString portPath() const;
    // The current pseudo-terminal ("" while the device has vanished).
    QString terminalPath() const;

    void run();
    void stop() { m_stopRequested.store(true); }

    QVector<TReceivedCommand> receivedCommands() const;
    // The command bytes in the order received.
    QByteArray receivedBytes() const;
    qint64 packetsSent() const { return m_packetsSent.load(); }
    // Told, in run()'s thread, what the device does ("streaming", "stalled",
    // ...), for the console.
    void setReporter(std::function<void(const QString&)> reporter) { m_reporter = std::move(reporter); }

    // The recording frame that packet `index` carries, of frameCount().
    QByteArray frame(qint64 index) const { return m_stream.frame(index); }
    int frameCount() const { return m_stream.frameCount(); }

private:
    void report(const QString& message) const;
    void openTerminal();
    void vanish();
    void waitForReturn();
    void serve();
    void takeCommands();
    void take(unsigned char command);
    void startStreaming();
    void produce();
    void producePacket();
    bool mayProduce() const;
    void writePending();

    const TDeviceSimulatorOptions m_options;
    TPacketStream m_stream;
    std::unique_ptr<TPseudoTerminal> m_terminal;
    QByteArray m_pending; // produced, not yet taken by the port
    bool m_streaming = false;
    bool m_stalled = false;
    bool m_stallDone = false;
    bool m_vanishDone = false;
    QElapsedTimer m_runClock; // since the streaming run began
    qint64 m_runPackets = 0;
    QElapsedTimer m_absence; // since the device vanished
    std::atomic<bool> m_stopRequested{false};
    std::atomic<qint64> m_packetsSent{0};
    mutable QMutex m_mutex; // guards the two below
    QVector<TReceivedCommand> m_commands;
    QString m_terminalPath;
    std::function<void(const QString&)> m_reporter;
};
