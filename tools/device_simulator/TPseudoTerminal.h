#pragma once

#include <QString>

// A pseudo-terminal in raw mode: the simulator holds the master side, the
// program under test opens the slave side as its serial port. The
// simulator keeps a handle of the slave open as well, so that the
// terminal outlives the program's closing and reopening of the port.
class TPseudoTerminal
{
public:
    // Throws std::runtime_error when the system gives no pseudo-terminal.
    TPseudoTerminal();
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    // Non-blocking master handle: what is written to it arrives at the port,
    // what the port sends is read from it.
    int masterHandle() const { return m_master; }
    // The port's path, such as "/dev/pts/3".
    QString portPath() const { return m_portPath; }

private:
    void release();
    // Releases what was made and throws with the system's reason.
    [[noreturn]] void fail(const char* step);

    int m_master = -1;
    int m_slave = -1;
    QString m_portPath;
};
