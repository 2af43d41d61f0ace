#include "TDeviceSimulator.h"

#include "TPseudoTerminal.h"

#include "acquisition/TDeviceProtocol.h"

#include <QFile>
#include <QMutexLocker>

#include <chrono>
#include <stdexcept>
#include <thread>

#include <poll.h>
#include <unistd.h>

using namespace TDeviceProtocol;

namespace {

// How long one round waits for the port while streaming and while idle.
constexpr int StreamingWaitMilliseconds = 1;
constexpr int IdleWaitMilliseconds = 10;
// What the device holds back while the port does not take its bytes (about
// two seconds of packets); packets beyond it are lost, as in a device
// whose send buffer overflows.
constexpr int MaxBacklog = 64 * 1024;
// In fast mode packets are made while less than this waits for the port.
constexpr int FastBacklog = 8 * 1024;

// Points the link at the target in one step (a new link renamed over the
// old one), so that whoever opens the link never finds it missing.
void pointLink(const QString& link, const QString& target)
{
    const QByteArray linkName = QFile::encodeName(link);
    const QByteArray newName = linkName + ".new";
    ::unlink(newName.constData());
    if (::symlink(QFile::encodeName(target).constData(), newName.constData()) != 0
        || ::rename(newName.constData(), linkName.constData()) != 0) {
        throw std::runtime_error("Cannot make the link " + link.toStdString());
    }
}

} // namespace

TDeviceSimulator::TDeviceSimulator(const TDeviceSimulatorOptions& options)
    : m_options(options)
    , m_stream(TPacketStream::loadRecording(options.recordingPath))
{
    m_stream.setElectrodesOff(options.electrodesOff);
    m_stream.setBatteryByte(options.batteryByte);
    m_stream.setGarbageEvery(options.garbageEvery);
    m_stream.setFalseStartEvery(options.falseStartEvery);
    openTerminal();
}

TDeviceSimulator::~TDeviceSimulator()
{
    if (!m_options.linkPath.isEmpty())
        ::unlink(QFile::encodeName(m_options.linkPath).constData());
}

QString TDeviceSimulator::portPath() const
{
    return m_options.linkPath.isEmpty() ? terminalPath() : m_options.linkPath;
}

QString TDeviceSimulator::terminalPath() const
{
    const QMutexLocker locker(&m_mutex);
    return m_terminalPath;
}

QVector<TReceivedCommand> TDeviceSimulator::receivedCommands() const
{
    const QMutexLocker locker(&m_mutex);
    return m_commands;
}

QByteArray TDeviceSimulator::receivedBytes() const
{
    QByteArray bytes;
    for (const TReceivedCommand& received : receivedCommands())
        bytes.append(char(received.command));
    return bytes;
}

void TDeviceSimulator::report(const QString& message) const
{
    if (m_reporter)
        m_reporter(message);
}

void TDeviceSimulator::openTerminal()
{
    m_terminal = std::make_unique<TPseudoTerminal>();
    {
        const QMutexLocker locker(&m_mutex);
        m_terminalPath = m_terminal->portPath();
    }
    if (!m_options.linkPath.isEmpty())
        pointLink(m_options.linkPath, m_terminal->portPath());
}

void TDeviceSimulator::run()
{
    while (!m_stopRequested.load()) {
        if (m_terminal)
            serve();
        else
            waitForReturn();
    }
}

void TDeviceSimulator::serve()
{
    const bool producing = mayProduce();
    pollfd request{m_terminal->masterHandle(), short(POLLIN | (m_pending.isEmpty() ? 0 : POLLOUT)), 0};
    ::poll(&request, 1, producing ? StreamingWaitMilliseconds : IdleWaitMilliseconds);
    takeCommands();
    produce();
    writePending();
    if (m_streaming && m_options.vanishAfter > 0 && !m_vanishDone && m_runPackets >= m_options.vanishAfter)
        vanish();
}

void TDeviceSimulator::takeCommands()
{
    char buffer[256];
    for (;;) {
        const ssize_t count = ::read(m_terminal->masterHandle(), buffer, sizeof buffer);
        if (count <= 0)
            return;
        for (ssize_t k = 0; k < count; ++k)
            take(static_cast<unsigned char>(buffer[k]));
    }
}

void TDeviceSimulator::take(unsigned char command)
{
    {
        const QMutexLocker locker(&m_mutex);
        m_commands.append({command, m_packetsSent.load()});
    }
    report(QStringLiteral("received 0x%1 after %2 packets")
               .arg(command, 2, 16, QLatin1Char('0'))
               .arg(m_packetsSent.load()));
    switch (command) {
    case StartStreaming:
        startStreaming();
        break;
    case StopStreaming:
        m_streaming = false;
        m_pending.clear();
        break;
    case Identify:
        m_pending += m_options.identification.left(IdentificationLength);
        break;
    default:
        break;
    }
}

void TDeviceSimulator::startStreaming()
{
    if (m_streaming && !m_stalled)
        return;
    m_streaming = true;
    m_stalled = false;
    m_pending.clear();
    m_runClock.start();
    m_runPackets = 0;
}

bool TDeviceSimulator::mayProduce() const
{
    const bool vanishDue = m_options.vanishAfter > 0 && !m_vanishDone && m_runPackets >= m_options.vanishAfter;
    const bool limitReached = m_options.packetLimit > 0 && m_packetsSent.load() >= m_options.packetLimit;
    return m_streaming && !m_stalled && !vanishDue && !limitReached;
}

void TDeviceSimulator::produce()
{
    if (m_options.fast) {
        while (mayProduce() && m_pending.size() < FastBacklog)
            producePacket();
        return;
    }
    // One packet per millisecond of the run, the first at once.
    const qint64 due = mayProduce() ? m_runClock.elapsed() + 1 : 0;
    while (mayProduce() && m_runPackets < due)
        producePacket();
}

void TDeviceSimulator::producePacket()
{
    const QByteArray bytes = m_stream.next();
    // Catching up after the simulator itself was kept waiting must not
    // lose packets: only a port that takes nothing more makes them lost.
    if (m_pending.size() >= MaxBacklog)
        writePending();
    if (m_pending.size() < MaxBacklog)
        m_pending += bytes;
    ++m_runPackets;
    m_packetsSent.fetch_add(1);
    if (m_options.stallAfter > 0 && !m_stallDone && m_runPackets >= m_options.stallAfter) {
        m_stalled = true;
        m_stallDone = true;
        report(QStringLiteral("stalled after %1 packets").arg(m_runPackets));
    }
}

void TDeviceSimulator::writePending()
{
    if (m_pending.isEmpty())
        return;
    const ssize_t written = ::write(m_terminal->masterHandle(), m_pending.constData(), std::size_t(m_pending.size()));
    if (written > 0)
        m_pending.remove(0, int(written));
}

void TDeviceSimulator::vanish()
{
    m_vanishDone = true;
    m_terminal.reset();
    {
        const QMutexLocker locker(&m_mutex);
        m_terminalPath.clear();
    }
    if (!m_options.linkPath.isEmpty())
        ::unlink(QFile::encodeName(m_options.linkPath).constData());
    m_streaming = false;
    m_stalled = false;
    m_pending.clear();
    m_absence.start();
    report(QStringLiteral("vanished after %1 packets").arg(m_runPackets));
}

void TDeviceSimulator::waitForReturn()
{
    if (m_absence.elapsed() < m_options.vanishMilliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(IdleWaitMilliseconds));
        return;
    }
    openTerminal();
    report(QStringLiteral("back on %1").arg(m_terminal->portPath()));
}
