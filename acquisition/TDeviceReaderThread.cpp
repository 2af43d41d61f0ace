#include "acquisition/TDeviceReaderThread.h"

#include "acquisition/TKeepAliveCounter.h"
#include "acquisition/TPacketHunter.h"
#include "acquisition/TSampleQueue.h"
#include "acquisition/TSerialLink.h"

#include <QMutexLocker>

namespace {

const char* const DeviceReadError = "Device read error";
const char* const UnexpectedError = "Unexpected error";

// Pauses of the start, stop and keep-alive sequences.
constexpr unsigned long CommandRepeatMilliseconds = 100;
constexpr unsigned long KeepAliveRepeatMilliseconds = 5;

// The next byte of the stream; a read that does not give exactly one byte
// (a failure, or the read time-out) ends the run.
unsigned char readByte(TSerialLink& link)
{
    char byte = 0;
    if (link.read(&byte, 1) != 1)
        throw TDeviceLinkError(DeviceReadError);
    return static_cast<unsigned char>(byte);
}

} // namespace

TDeviceReaderThread::TDeviceReaderThread(TSampleQueue* queue, const QString& portName, int linkSpeed)
    : m_queue(queue)
    , m_portName(portName)
    , m_linkSpeed(linkSpeed)
{
    for (std::atomic<bool>& off : m_electrodeOff)
        off.store(false);
}

TDeviceReaderThread::~TDeviceReaderThread()
{
    requestInterruption();
    wait();
}

QString TDeviceReaderThread::errorText() const
{
    const QMutexLocker locker(&m_errorMutex);
    return m_errorText;
}

void TDeviceReaderThread::clearError()
{
    m_errorFlag.store(0);
    const QMutexLocker locker(&m_errorMutex);
    m_errorText.clear();
}

void TDeviceReaderThread::fail(const QString& text)
{
    {
        const QMutexLocker locker(&m_errorMutex);
        m_errorText = text;
    }
    // Raised after the text is in place: whoever sees the flag reads it.
    m_errorFlag.store(1);
}

bool TDeviceReaderThread::isElectrodeOff(const QString& electrode) const
{
    const int index = TDeviceProtocol::electrodeIndex(electrode);
    return index >= 0 && m_electrodeOff[std::size_t(index)].load();
}

void TDeviceReaderThread::run()
{
    clearError();
    try {
        // The link is closed when this block is left, before a failure is
        // flagged, so that the restart finds the port free.
        TSerialLink link;
        link.open(m_portName, m_linkSpeed);
        sendStartSequence(link);
        stream(link);
        sendStopSequence(link);
    } catch (const TDeviceLinkError& error) {
        fail(QString::fromUtf8(error.what()));
    } catch (...) {
        fail(QString::fromLatin1(UnexpectedError));
    }
}

// The reader does not act on a failed command: a device that does not
// answer shows as a read error.
void TDeviceReaderThread::sendStartSequence(TSerialLink& link)
{
    link.sendStartStreaming();
    msleep(CommandRepeatMilliseconds);
    link.sendStartStreaming();
    link.sendKeepAlive();
}

void TDeviceReaderThread::sendStopSequence(TSerialLink& link)
{
    link.sendStopStreaming();
    msleep(CommandRepeatMilliseconds);
    link.sendStopStreaming();
}

void TDeviceReaderThread::sendKeepAlivePair(TSerialLink& link)
{
    link.sendKeepAlive();
    msleep(KeepAliveRepeatMilliseconds);
    link.sendKeepAlive();
}

void TDeviceReaderThread::stream(TSerialLink& link)
{
    TPacketHunter hunter;
    TKeepAliveCounter keepAlive;
    while (!isInterruptionRequested()) {
        if (!hunter.feed(readByte(link)))
            continue;
        deliver(hunter.packet());
        if (keepAlive.countPacket())
            sendKeepAlivePair(link);
    }
}

void TDeviceReaderThread::deliver(const unsigned char* packet)
{
    char frame[TDeviceProtocol::FrameSize];
    TDeviceProtocol::decodeFrame(packet, frame);
    m_battery.store(TDeviceProtocol::batteryVoltage(packet));
    for (int electrode = 0; electrode < TDeviceProtocol::ElectrodeCount; ++electrode)
        m_electrodeOff[std::size_t(electrode)].store(TDeviceProtocol::isElectrodeOff(packet, electrode));
    m_queue->push(frame, TDeviceProtocol::FrameSize);
}
