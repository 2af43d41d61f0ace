#include "acquisition/TQtAcqDriverThread.h"

#include "acquisition/TAcqDriver.h"
#include "acquisition/TAcqSource.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <QMetaType>
#include <QMutexLocker>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned long PollMilliseconds = 10;

} // namespace

void TQtAcqDriverThread::registerMetaTypes()
{
    static const int id = qRegisterMetaType<QVector<char>>("QVector<char>");
    Q_UNUSED(id)
}

TQtAcqDriverThread::TQtAcqDriverThread(TAcqSource* source, TChannelMask* mask)
    : m_source(source)
    , m_mask(mask)
{
    registerMetaTypes();
}

TQtAcqDriverThread::~TQtAcqDriverThread()
{
    requestInterruption();
    releaseWaits();
    wait();
}

QString TQtAcqDriverThread::errorText() const
{
    const QMutexLocker locker(&m_handshakeMutex);
    return m_errorText;
}

void TQtAcqDriverThread::acknowledgeSignal()
{
    const QMutexLocker locker(&m_handshakeMutex);
    m_slotPending = false;
    m_handshakeDone.wakeAll();
}

void TQtAcqDriverThread::releaseWaits()
{
    const QMutexLocker locker(&m_handshakeMutex);
    m_released = true;
    m_handshakeDone.wakeAll();
}

void TQtAcqDriverThread::resetHandshake()
{
    const QMutexLocker locker(&m_handshakeMutex);
    m_slotPending = false;
    m_released = false;
}

void TQtAcqDriverThread::beginBlockingSignal()
{
    const QMutexLocker locker(&m_handshakeMutex);
    m_slotPending = true;
}

void TQtAcqDriverThread::waitForSlot()
{
    const QMutexLocker locker(&m_handshakeMutex);
    while (m_slotPending && !m_released)
        m_handshakeDone.wait(&m_handshakeMutex);
    m_slotPending = false;
}

int TQtAcqDriverThread::queuedFrames() const
{
    const int frameSize = m_source->bytesPerSample() * m_source->channelCount();
    return frameSize > 0 ? m_source->bytesAvailable() / frameSize : 0;
}

bool TQtAcqDriverThread::deliverQueued(std::vector<char>& buffer)
{
    const int maximumFrames = 5 * m_source->sampleRate();
    for (int left = queuedFrames(); left > 0;) {
        const int frames = std::min(left, maximumFrames);
        if (!deliverBlock(frames, buffer))
            return false;
        left -= frames;
    }
    return true;
}

void TQtAcqDriverThread::run()
{
    const int frameSize = m_source->bytesPerSample() * m_source->channelCount();
    const int minimumFrames = m_source->sampleRate() / 10;
    const int maximumFrames = 5 * m_source->sampleRate();
    std::vector<char> buffer(static_cast<std::size_t>(maximumFrames) * frameSize);
    m_requestFlag.store(false);
    bool readError = false;
    const QMetaMethod errorSignal = QMetaMethod::fromSignal(&TQtAcqDriverThread::error);
    // Time since the last block taken while the source streamed (frames
    // flushed when it failed came before the silence), and whether the
    // stream broke after it.
    QElapsedTimer sinceData;
    bool interrupted = false;

    m_source->start();
    while (!isInterruptionRequested() && !readError) {
        if (!m_source->isHealthy()) {
            readError = !deliverQueued(buffer);
            interrupted = interrupted || sinceData.isValid();
            m_source->stop();
            m_source->start();
        }
        const int frames = queuedFrames();
        if (frames <= minimumFrames) {
            msleep(PollMilliseconds);
            continue;
        }
        if (interrupted) {
            // The new block was produced in its own duration; the rest of
            // the silence was lost.
            const qint64 silentFrames = sinceData.elapsed() * m_source->sampleRate() / 1000;
            emit gap(int(std::clamp<qint64>(silentFrames - frames, 0, INT_MAX)));
            interrupted = false;
        }
        readError = !deliverBlock(std::min(frames, maximumFrames), buffer);
        sinceData.start();
    }
    // What the source had delivered when the stop came belongs to the
    // recording; what it delivers afterwards does not.
    if (!readError)
        readError = !deliverQueued(buffer);

    if (!m_source->isHealthy() || readError) {
        {
            const QMutexLocker locker(&m_handshakeMutex);
            m_errorText = m_source->errorText();
        }
        if (isSignalConnected(errorSignal)) {
            beginBlockingSignal();
            emit error();
            waitForSlot();
        }
    }

    m_source->stop();
}

bool TQtAcqDriverThread::deliverBlock(int frames, std::vector<char>& buffer)
{
    const int channelCount = m_source->channelCount();
    const int bytesPerSample = m_source->bytesPerSample();
    const int frameSize = bytesPerSample * channelCount;
    const int requested = frames * frameSize;
    std::memset(buffer.data(), 0, static_cast<std::size_t>(requested));
    const int got = m_source->read(buffer.data(), requested);
    if (got < 0 || got < requested)
        return false;

    const int maskedChannels = std::min(channelCount, m_mask ? m_mask->size() : 0);
    for (int channel = 0; channel < maskedChannels; ++channel) {
        if (!m_mask->isMasked(channel))
            continue;
        char* sample = buffer.data() + channel * bytesPerSample;
        for (int frame = 0; frame < frames; ++frame, sample += frameSize)
            std::memset(sample, 0, static_cast<std::size_t>(bytesPerSample));
    }

    if (m_requestFlag.load()) {
        m_source->performPendingAction();
        m_requestFlag.store(false);
    }

    const QMetaMethod pacemakerSignal = QMetaMethod::fromSignal(&TQtAcqDriverThread::pacemaker);
    for (int offset = m_source->nextPacemakerOffset(); offset != 0; offset = m_source->nextPacemakerOffset()) {
        m_lastPacemakerOffset.store(offset);
        if (isSignalConnected(pacemakerSignal)) {
            beginBlockingSignal();
            emit pacemaker(offset);
            waitForSlot();
        }
    }

    emit data(QVector<char>(buffer.data(), buffer.data() + got));
    return true;
}
