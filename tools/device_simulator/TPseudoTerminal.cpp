#include "TPseudoTerminal.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

TPseudoTerminal::TPseudoTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0)
        fail("posix_openpt");
    char name[128];
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || ::ptsname_r(m_master, name, sizeof name) != 0) {
        fail("ptsname");
    }
    m_portPath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Raw: bytes pass unchanged in both directions and nothing is echoed
    // back to the device side.
    termios line{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &line) != 0) {
        fail("open");
    }
    ::cfmakeraw(&line);
    if (::tcsetattr(m_slave, TCSANOW, &line) != 0) {
        fail("tcsetattr");
    }
}

TPseudoTerminal::~TPseudoTerminal()
{
    release();
}

void TPseudoTerminal::release()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

void TPseudoTerminal::fail(const char* step)
{
    const int error = errno;
    release();
    throw std::runtime_error(std::string("Cannot create a pseudo-terminal (") + step
                             + "): " + std::strerror(error));
}
