#pragma once

#include "acquisition/TAcqSource.h"
#include "acquisition/TSampleQueue.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <deque>

// A scripted acquisition source without a reader thread: the test pushes
// bytes into its queue and sets its health, read shortfall and pacemaker
// offsets; it counts what the driver's worker asks of it.
class FakeAcqSource : public TAcqSource
{
public:
    explicit FakeAcqSource(int sampleRate = 1000, int channels = 14)
        : m_sampleRate(sampleRate)
        , m_channels(channels)
    {
    }

    void push(const QByteArray& bytes) { queue()->push(bytes.constData(), bytes.size()); }
    void addPacemakerOffset(int offset)
    {
        const QMutexLocker locker(&m_mutex);
        m_pacemakerOffsets.push_back(offset);
    }

    // Script.
    std::atomic<bool> alwaysUnhealthy{false};
    std::atomic<int> unhealthyUntilStart{0}; // unhealthy while fewer starts than this
    std::atomic<int> shortReadBy{0};         // bytes missing from every read
    std::atomic<bool> electrodeOff{false};
    std::atomic<bool> flag{false};
    std::atomic<double> battery{0.0};
    QString error = QStringLiteral("Scripted source failure");

    // Observations.
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> pendingActions{0};
    mutable std::atomic<int> errorTextAsked{0};
    std::atomic<int> pacemakerTaken{0};

    void start() override { ++starts; }
    void stop() override { ++stops; }
    bool isHealthy() const override
    {
        return !alwaysUnhealthy.load() && starts.load() >= unhealthyUntilStart.load();
    }
    int read(char* destination, int length) override
    {
        return TAcqSource::read(destination, length - shortReadBy.load());
    }
    int nextPacemakerOffset() override
    {
        const QMutexLocker locker(&m_mutex);
        if (m_pacemakerOffsets.empty())
            return 0;
        const int offset = m_pacemakerOffsets.front();
        m_pacemakerOffsets.pop_front();
        ++pacemakerTaken;
        return offset;
    }
    void performPendingAction() override { ++pendingActions; }
    bool sourceFlag() const override { return flag.load(); }
    bool isElectrodeOff(const QString& electrode) const override
    {
        return electrodeOff.load() && electrode == QLatin1String("V3");
    }
    QString errorText() const override
    {
        ++errorTextAsked;
        return error;
    }
    double batteryLevel() const override { return battery.load(); }
    int channelCount() const override { return m_channels; }
    int sampleRate() const override { return m_sampleRate; }
    int bytesPerSample() const override { return 2; }
    int resolutionBits() const override { return 16; }
    double minimumValue() const override { return -300.0; }
    double maximumValue() const override { return 300.0; }

private:
    int m_sampleRate;
    int m_channels;
    QMutex m_mutex;
    std::deque<int> m_pacemakerOffsets;
};
