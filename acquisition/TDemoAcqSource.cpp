#include "acquisition/TDemoAcqSource.h"

#include "acquisition/TSampleQueue.h"

#include <QFile>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

const char* const CannotOpenFile = "Cannot open file";

// Burst length after which the replay sleeps for the whole lead (seconds).
constexpr double BurstThreshold = 0.025;

} // namespace

TDemoReaderThread::TDemoReaderThread(TSampleQueue* queue, const QString& fileName, qint64 dataOffset,
                                     int channelCount, int sampleRate, int bytesPerSample)
    : m_queue(queue)
    , m_dataOffset(dataOffset)
    , m_channelCount(channelCount)
    , m_sampleRate(sampleRate)
    , m_bytesPerSample(bytesPerSample)
{
    if (dataOffset < 0)
        throw std::runtime_error(CannotOpenFile);
    m_file = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!m_file)
        throw std::runtime_error(CannotOpenFile);
    const qint64 frameSize = qint64(channelCount) * bytesPerSample;
    qint64 size = -1;
    if (fseeko(m_file, 0, SEEK_END) == 0)
        size = ftello(m_file);
    if (size < 0 || size - dataOffset < frameSize) {
        std::fclose(m_file);
        m_file = nullptr;
        throw std::runtime_error(CannotOpenFile);
    }
}

TDemoReaderThread::~TDemoReaderThread()
{
    requestInterruption();
    wait();
    if (m_file)
        std::fclose(m_file);
}

void TDemoReaderThread::run()
{
    const int frameSize = m_channelCount * m_bytesPerSample;
    std::vector<char> frame(static_cast<std::size_t>(frameSize));
    fseeko(m_file, m_dataOffset, SEEK_SET);
    m_totalBytes = 0;
    m_waitedTime = 0.0;
    const double bytesPerSecond = double(frameSize) * m_sampleRate;

    while (!isInterruptionRequested()) {
        std::size_t got = std::fread(frame.data(), 1, frame.size(), m_file);
        if (got < frame.size()) {
            // End of the file (or a trailing partial frame): wrap to the data
            // offset; the count of this second read is the one used.
            std::clearerr(m_file);
            fseeko(m_file, m_dataOffset, SEEK_SET);
            got = std::fread(frame.data(), 1, frame.size(), m_file);
        }
        if (got < frame.size()) {
            // The file shrank below one frame while replaying: queue nothing
            // and do not spin.
            std::clearerr(m_file);
            msleep(10);
            continue;
        }
        for (int offset = 0; offset < frameSize; offset += m_bytesPerSample)
            m_queue->push(frame.data() + offset, m_bytesPerSample);

        m_totalBytes += qint64(got);
        const double replayed = double(m_totalBytes) / bytesPerSecond;
        const double lead = replayed - m_waitedTime;
        if (lead > BurstThreshold) {
            // Sleep the whole lead in whole milliseconds and count only what
            // was slept: the fraction cut off (and any rounding of 0.026 to
            // 0.025999...) stays in the next lead instead of being lost, so
            // the replay can never drift ahead of real time. The tolerance
            // keeps an exact number of milliseconds from losing one.
            const auto milliseconds = static_cast<unsigned long>(lead * 1000.0 + 1e-6);
            msleep(milliseconds);
            m_waitedTime += double(milliseconds) / 1000.0;
        }
    }
}

TDemoAcqSource::TDemoAcqSource(const QString& fileName, int channelCount, int sampleRate,
                               int bytesPerSample, int resolutionBits, double gain, qint64 dataOffset)
    : m_channelCount(channelCount)
    , m_sampleRate(sampleRate)
    , m_bytesPerSample(bytesPerSample)
    , m_resolutionBits(resolutionBits)
    , m_gain(gain)
{
    if (channelCount <= 0 || sampleRate <= 0 || bytesPerSample <= 0 || resolutionBits <= 0)
        throw std::invalid_argument("Demo source format must be positive");
    setReaderThread(std::make_unique<TDemoReaderThread>(queue(), fileName, dataOffset, channelCount,
                                                        sampleRate, bytesPerSample));
}

bool TDemoAcqSource::isHealthy() const
{
    return true;
}

bool TDemoAcqSource::isElectrodeOff(const QString&) const
{
    return false;
}

QString TDemoAcqSource::errorText() const
{
    return QString();
}

double TDemoAcqSource::batteryLevel() const
{
    return 0.0;
}

int TDemoAcqSource::channelCount() const
{
    return m_channelCount;
}

int TDemoAcqSource::sampleRate() const
{
    return m_sampleRate;
}

int TDemoAcqSource::bytesPerSample() const
{
    return m_bytesPerSample;
}

int TDemoAcqSource::resolutionBits() const
{
    return m_resolutionBits;
}

double TDemoAcqSource::minimumValue() const
{
    return -m_gain;
}

double TDemoAcqSource::maximumValue() const
{
    return m_gain;
}
