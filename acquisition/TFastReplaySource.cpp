#include "acquisition/TFastReplaySource.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

int checkedFrameBytes(int channelCount)
{
    if (channelCount <= 0)
        throw std::invalid_argument("Replay format and length must be positive");
    return channelCount * TFastReplaySource::BytesPerSample;
}

QByteArray readRecording(const QString& fileName, int frameBytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open file");
    QByteArray bytes = file.readAll();
    bytes.truncate(bytes.size() - bytes.size() % frameBytes);
    if (bytes.isEmpty())
        throw std::runtime_error("Cannot open file");
    return bytes;
}

} // namespace

TFastReplaySource::TFastReplaySource(const QString& fileName, int channelCount, int sampleRate, qint64 frames,
                                     int resolutionBits, double gain)
    : TFastReplaySource(readRecording(fileName, checkedFrameBytes(channelCount)), channelCount, sampleRate, frames,
                        resolutionBits, gain)
{
}

TFastReplaySource::TFastReplaySource(QByteArray recording, int channelCount, int sampleRate, qint64 frames,
                                     int resolutionBits, double gain)
    : m_channelCount(channelCount)
    , m_sampleRate(sampleRate)
    , m_resolutionBits(resolutionBits)
    , m_gain(gain)
    , m_blockFrames(sampleRate / 10 + 1)
{
    if (channelCount <= 0 || sampleRate <= 0 || resolutionBits <= 0 || frames <= 0)
        throw std::invalid_argument("Replay format and length must be positive");
    m_recording = std::move(recording);
    m_recording.truncate(m_recording.size() - m_recording.size() % frameSize());
    if (m_recording.isEmpty())
        throw std::invalid_argument("Replay recording holds no whole frame");
    m_recordingFrames = m_recording.size() / frameSize();
    m_totalFrames = frames;
}

qint64 TFastReplaySource::offeredFrames() const
{
    const qint64 delivered = m_delivered.load();
    qint64 frames = std::min<qint64>(m_blockFrames, m_totalFrames - delivered);
    const qint64 lead = m_maximumLead.load();
    if (lead > 0 && delivered + frames - m_consumed.load() > lead)
        return 0;
    return frames;
}

int TFastReplaySource::bytesAvailable() const
{
    return int(offeredFrames()) * frameSize();
}

int TFastReplaySource::read(char* destination, int length)
{
    const int frameBytes = frameSize();
    const qint64 frames = std::min<qint64>(length / frameBytes, offeredFrames());
    qint64 position = m_delivered.load() % m_recordingFrames;
    for (qint64 copied = 0; copied < frames;) {
        const qint64 run = std::min(frames - copied, m_recordingFrames - position);
        std::memcpy(destination + copied * frameBytes, m_recording.constData() + position * frameBytes,
                    std::size_t(run * frameBytes));
        copied += run;
        position = 0;
    }
    m_delivered.fetch_add(frames);
    return int(frames) * frameBytes;
}

bool TFastReplaySource::isHealthy() const
{
    return true;
}

bool TFastReplaySource::isElectrodeOff(const QString&) const
{
    return false;
}

QString TFastReplaySource::errorText() const
{
    return QString();
}

double TFastReplaySource::batteryLevel() const
{
    return 0.0;
}
