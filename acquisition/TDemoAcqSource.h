#pragma once

#include "acquisition/TAcqSource.h"

#include <QString>
#include <QThread>

#include <cstdio>

class TSampleQueue;

// Reader thread of the demo source: replays a headerless file of
// frames in an endless loop, pacing itself so that it never runs ahead of
// real time by more than one burst of just over 25 ms of signal.
class TDemoReaderThread : public QThread
{
public:
    // Opens the file for binary reading. Throws std::runtime_error("Cannot
    // open file") when it cannot be opened or when it holds less than one
    // whole frame after the data offset (such a file gives no signal, and the
    // replay must neither spin nor queue undefined bytes).
    TDemoReaderThread(TSampleQueue* queue, const QString& fileName, qint64 dataOffset,
                      int channelCount, int sampleRate, int bytesPerSample);
    // Stops the replay if it runs, then closes the file.
    ~TDemoReaderThread() override;

protected:
    void run() override;

private:
    TSampleQueue* m_queue;
    std::FILE* m_file = nullptr;
    qint64 m_dataOffset;
    int m_channelCount;
    int m_sampleRate;
    int m_bytesPerSample;
    qint64 m_totalBytes = 0;   // bytes read since the run started
    double m_waitedTime = 0.0; // seconds of signal already waited for
};

// The demo acquisition source: stands in for the device by replaying a
// recording through the same queue. Always healthy, no electrode off, no
// battery, no pacemaker pulse; the range is -gain ... +gain.
class TDemoAcqSource : public TAcqSource
{
public:
    // The file is opened by the name as given (a bare name is relative to
    // the process's working folder). Throws std::runtime_error("Cannot open
    // file") as TDemoReaderThread does, and std::invalid_argument for a
    // format that is not positive.
    TDemoAcqSource(const QString& fileName, int channelCount, int sampleRate, int bytesPerSample,
                   int resolutionBits, double gain, qint64 dataOffset);

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

private:
    int m_channelCount;
    int m_sampleRate;
    int m_bytesPerSample;
    int m_resolutionBits;
    double m_gain;
};
