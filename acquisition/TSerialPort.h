#pragma once

#include <QString>

#include <array>

// The outcome of a setting made in two steps: read what the port has, then
// apply ours on top of it.
enum class TPortSetting { Applied, ReadFailed, ApplyFailed };

// The operating system's serial port as the device link uses it: a thin
// platform layer (TSerialPortLinux.cpp) that reports each step's success
// and leaves the error texts to TSerialLink. Closed on destruction.
class TSerialPort
{
public:
    TSerialPort() = default;
    ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    // Opens an existing device for reading and writing, for this process
    // alone.
    bool open(const QString& devicePath);
    bool isOpen() const { return m_handle >= 0; }
    // Raw 8 data bits, no parity, one stop bit at `speed`, no flow control,
    // DTR and RTS off.
    TPortSetting setLine(int speed);
    // Total time-outs of each read and each write, in milliseconds.
    TPortSetting setTimeouts(int readMilliseconds, int writeMilliseconds);
    // Drops everything received and not yet read, and everything not yet
    // sent (a pseudo-terminal keeps what it sent, see TSerialPortLinux.cpp).
    bool purge();
    // Reads up to `count` bytes. Waits at most the read time-out for the
    // first byte and returns early once the line has been quiet for
    // QuietMilliseconds after a byte. Returns the count read (0 when the
    // time-out passed without a byte) or -1 when the port failed (for
    // example the device went away).
    int read(char* buffer, int count);
    // Writes `count` bytes within the write time-out; returns the count
    // written, or -1 when the port failed.
    int write(const char* bytes, int count);
    void close();
    // Whether the open device is a pseudo-terminal rather than a serial line.
    bool isPseudoTerminal() const;

    // A gap after which a read that has got some bytes returns them: a
    // device's answer arrives in one piece, far faster than this.
    static constexpr int QuietMilliseconds = 100;

private:
    // Waits up to `milliseconds` for input and moves what arrived into the
    // buffer; returns the count moved, 0 for none, -1 on failure.
    int fill(int milliseconds);

    int m_handle = -1;
    bool m_pseudoTerminal = false;
    int m_readTimeout = 0;
    int m_writeTimeout = 0;
    // Bytes received from the system and not yet handed out: the reader
    // takes the stream one byte per read, which this keeps to one system
    // call per burst instead of two per byte.
    std::array<char, 4096> m_buffer{};
    int m_begin = 0;
    int m_end = 0;
};
