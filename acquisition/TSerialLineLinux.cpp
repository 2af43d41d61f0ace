#include "acquisition/TSerialLineLinux.h"

// termios2, BOTHER, TCGETS2 and TCSETS2; not to be mixed with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

namespace {

// A serial line rounds the speed to what its clock can divide; a rate off
// by more than this cannot carry the device's stream.
constexpr double SpeedTolerance = 0.02;

// No echo, no line editing, no character translation, no signals: the
// stream is binary. 8 data bits, no parity, one stop bit, no hardware or
// software flow control; the modem's carrier line is ignored. Reads return
// at once (the port waits with poll).
void makeRaw8N1(termios2& line)
{
    line.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON
                              | IXOFF | IXANY | INPCK);
    line.c_oflag &= ~tcflag_t(OPOST);
    line.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= tcflag_t(CS8 | CREAD | CLOCAL);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
}

void setSpeed(termios2& line, int speed)
{
    line.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    line.c_cflag |= tcflag_t(BOTHER | (BOTHER << IBSHIFT));
    line.c_ispeed = speed_t(speed);
    line.c_ospeed = speed_t(speed);
}

// Whether the line now runs at the speed (the kernel stores the rate it
// could make).
bool holdsSpeed(int handle, int speed)
{
    termios2 line{};
    if (ioctl(handle, TCGETS2, &line) != 0)
        return false;
    return std::abs(double(line.c_ospeed) - speed) <= speed * SpeedTolerance;
}

} // namespace

TPortSetting configureSerialLine(int handle, int speed, bool pseudoTerminal)
{
    termios2 line{};
    if (ioctl(handle, TCGETS2, &line) != 0)
        return TPortSetting::ReadFailed;
    makeRaw8N1(line);
    termios2 withSpeed = line;
    setSpeed(withSpeed, speed);
    if (ioctl(handle, TCSETS2, &withSpeed) != 0 || !holdsSpeed(handle, speed)) {
        if (!pseudoTerminal || ioctl(handle, TCSETS2, &line) != 0)
            return TPortSetting::ApplyFailed;
    }
    int modemLines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(handle, TIOCMBIC, &modemLines) != 0 && !pseudoTerminal)
        return TPortSetting::ApplyFailed;
    return TPortSetting::Applied;
}
