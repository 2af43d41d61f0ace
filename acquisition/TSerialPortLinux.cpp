// The serial port on Linux: a terminal device opened non-blocking, with
// the time-outs of each read and write kept by poll().

#include "acquisition/TSerialPort.h"

#include "acquisition/TSerialLineLinux.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Device numbers of the Unix98 pseudo-terminal slaves ("/dev/pts/N").
constexpr unsigned int PseudoTerminalFirstMajor = 136;
constexpr unsigned int PseudoTerminalMajorCount = 8;

// Waits for the events on the handle until the deadline, going on after
// signals. Returns the events that occurred, 0 when the deadline passed, or
// -1 when waiting failed.
int waitFor(int handle, short events, const QDeadlineTimer& deadline)
{
    for (;;) {
        pollfd request{handle, events, 0};
        const int ready = ::poll(&request, 1, int(deadline.remainingTime()));
        if (ready > 0)
            return request.revents;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace

TSerialPort::~TSerialPort()
{
    close();
}

bool TSerialPort::open(const QString& devicePath)
{
    close();
    const int handle =
        ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return false;
    // The lock keeps out every other link, also one of the superuser; the
    // terminal's exclusive mode keeps other programs from opening it at all
    // (the superuser excepted). Taking the lock first leaves the terminal
    // of a link that already holds it untouched.
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0 || ::ioctl(handle, TIOCEXCL) != 0) {
        ::close(handle);
        return false;
    }
    m_handle = handle;
    m_pseudoTerminal = isPseudoTerminal();
    m_begin = m_end = 0;
    return true;
}

TPortSetting TSerialPort::setLine(int speed)
{
    return configureSerialLine(m_handle, speed, m_pseudoTerminal);
}

TPortSetting TSerialPort::setTimeouts(int readMilliseconds, int writeMilliseconds)
{
    // The time-outs themselves are kept by read() and write(); they rely on
    // a handle that never blocks.
    const int flags = ::fcntl(m_handle, F_GETFL);
    if (flags < 0)
        return TPortSetting::ReadFailed;
    if (::fcntl(m_handle, F_SETFL, flags | O_NONBLOCK) != 0)
        return TPortSetting::ApplyFailed;
    m_readTimeout = readMilliseconds;
    m_writeTimeout = writeMilliseconds;
    return TPortSetting::Applied;
}

bool TSerialPort::purge()
{
    m_begin = m_end = 0;
    // What a pseudo-terminal has sent may still wait in the kernel on its
    // way to the other side, where on a serial line it would long have
    // reached the device: flushing the output there could take back a
    // command the device has not read yet (on a busy machine, the first
    // start command 100 ms before the second). So a pseudo-terminal drops
    // only what it received.
    return ::tcflush(m_handle, m_pseudoTerminal ? TCIFLUSH : TCIOFLUSH) == 0;
}

int TSerialPort::fill(int milliseconds)
{
    m_begin = m_end = 0;
    const QDeadlineTimer deadline(milliseconds);
    for (;;) {
        const int events = waitFor(m_handle, POLLIN, deadline);
        if (events == 0)
            return 0;
        if (events < 0 || (events & POLLNVAL))
            return -1;
        const ssize_t count = ::read(m_handle, m_buffer.data(), m_buffer.size());
        if (count > 0) {
            m_end = int(count);
            return m_end;
        }
        // Nothing to read although the port reported input: the device hung
        // up (end of file, or an I/O error once the other side is gone).
        if (count == 0 || (errno != EAGAIN && errno != EINTR))
            return -1;
    }
}

int TSerialPort::read(char* buffer, int count)
{
    if (!isOpen())
        return -1;
    const QDeadlineTimer deadline(m_readTimeout);
    int got = 0;
    while (got < count) {
        if (m_begin == m_end) {
            const qint64 remaining = deadline.remainingTime();
            const int wait = int(got == 0 ? remaining : std::min<qint64>(remaining, QuietMilliseconds));
            const int filled = fill(wait);
            if (filled < 0)
                return got > 0 ? got : -1;
            if (filled == 0)
                break;
        }
        const int taken = std::min(count - got, m_end - m_begin);
        std::memcpy(buffer + got, m_buffer.data() + m_begin, std::size_t(taken));
        m_begin += taken;
        got += taken;
    }
    return got;
}

int TSerialPort::write(const char* bytes, int count)
{
    if (!isOpen())
        return -1;
    const QDeadlineTimer deadline(m_writeTimeout);
    int written = 0;
    while (written < count) {
        const ssize_t result = ::write(m_handle, bytes + written, std::size_t(count - written));
        if (result > 0) {
            written += int(result);
            continue;
        }
        if (result < 0 && errno != EAGAIN && errno != EINTR)
            return -1;
        const int events = waitFor(m_handle, POLLOUT, deadline);
        if (events < 0 || (events & (POLLERR | POLLHUP | POLLNVAL)))
            return -1;
        if (events == 0)
            break;
    }
    return written;
}

void TSerialPort::close()
{
    if (!isOpen())
        return;
    // The exclusive mode belongs to the terminal, not to this handle: clear
    // it, or a terminal that stays open elsewhere (a pseudo-terminal) would
    // refuse the next open.
    ::ioctl(m_handle, TIOCNXCL);
    ::close(m_handle);
    m_handle = -1;
    m_begin = m_end = 0;
}

bool TSerialPort::isPseudoTerminal() const
{
    struct stat status {};
    if (::fstat(m_handle, &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const unsigned int deviceMajor = major(status.st_rdev);
    return deviceMajor >= PseudoTerminalFirstMajor
        && deviceMajor < PseudoTerminalFirstMajor + PseudoTerminalMajorCount;
}
