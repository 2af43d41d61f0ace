#pragma once

#include "acquisition/TAcqSource.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// An acquisition source for tests and tools, not offered to the operator:
// replays a recording of headerless 16-bit little-endian frames (the demo
// recording format) from memory, in a loop, without pacing. It has no
// reader thread; every poll of the driver's worker finds the next block
// ready, so minutes of signal run through the real driver in seconds. Each
// poll offers (sample rate / 10) + 1 frames, the smallest block the worker
// takes, which is what a device offers at its own pace. The replay ends
// after the requested number of frames; a last, shorter block stays
// offered until the driver stops and takes it.
//
// Optional flow control: with a maximum lead, no more frames are offered
// than that many beyond those the consumer reported as processed
// (setConsumedFrames), so a slower consumer does not let the blocks pile up
// in the GUI thread's event queue.
class TFastReplaySource : public TAcqSource
{
public:
    static constexpr int BytesPerSample = 2;

    // Reads the whole file (2 bytes per sample, range -gain ... +gain).
    // Throws std::runtime_error("Cannot open file") when it cannot be read
    // or holds less than one frame, std::invalid_argument for a channel
    // count, rate, resolution or length that is not positive.
    TFastReplaySource(const QString& fileName, int channelCount, int sampleRate, qint64 frames,
                      int resolutionBits = 16, double gain = 300.0);
    // Replays frames held in memory; std::invalid_argument as above, and
    // when they hold less than one frame.
    TFastReplaySource(QByteArray recording, int channelCount, int sampleRate, qint64 frames,
                      int resolutionBits = 16, double gain = 300.0);

    // Frames of one block, and of the whole replay.
    int blockFrames() const { return m_blockFrames; }
    qint64 totalFrames() const { return m_totalFrames; }
    // Frames the driver takes while it runs: the whole blocks. The rest is
    // taken when the driver stops.
    qint64 streamedFrames() const { return m_totalFrames - m_totalFrames % m_blockFrames; }
    // Whole frames in the recording; replayed frame i is recording frame
    // i modulo this count.
    qint64 recordingFrames() const { return m_recordingFrames; }
    // Frames handed to the consumer so far.
    qint64 deliveredFrames() const { return m_delivered.load(); }

    // 0 (the default) offers every block at once; set before the replay runs.
    void setMaximumLead(qint64 frames) { m_maximumLead.store(frames); }
    // Called from the consumer's thread with the frames it has processed.
    void setConsumedFrames(qint64 frames) { m_consumed.store(frames); }

    bool isHealthy() const override;
    int bytesAvailable() const override;
    // Copies min(length, offered) bytes, whole frames, from the replay.
    int read(char* destination, int length) override;
    bool isElectrodeOff(const QString& electrode) const override;
    QString errorText() const override;
    double batteryLevel() const override;
    int channelCount() const override { return m_channelCount; }
    int sampleRate() const override { return m_sampleRate; }
    int bytesPerSample() const override { return BytesPerSample; }
    int resolutionBits() const override { return m_resolutionBits; }
    double minimumValue() const override { return -m_gain; }
    double maximumValue() const override { return m_gain; }

private:
    // Frames offered now: one block, unless the replay or the lead ends first.
    qint64 offeredFrames() const;

    int m_channelCount;
    int m_sampleRate;
    int m_resolutionBits;
    double m_gain;
    int m_blockFrames;
    QByteArray m_recording;
    qint64 m_recordingFrames;
    qint64 m_totalFrames;
    std::atomic<qint64> m_delivered{0};
    std::atomic<qint64> m_consumed{0};
    std::atomic<qint64> m_maximumLead{0};
};
