#pragma once

#include "acquisition/TSerialPort.h"

#include <QString>

#include <stdexcept>

// A failure of the device link, carrying the text the operator sees.
class TDeviceLinkError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One open serial link to the device: opening and configuring the port,
// reading the stream and sending the single-byte commands. Closed on
// destruction.
class TSerialLink
{
public:
    // Each read waits at most this long, each write at most that long.
    static constexpr int ReadTimeoutMilliseconds = 10000;
    static constexpr int WriteTimeoutMilliseconds = 3000;

    // Opens and configures the port; on the first step that fails the port
    // is closed again and TDeviceLinkError is thrown with that step's text:
    //   "No se pudo abrir el puerto (CreateFile)"  the port cannot be opened
    //                                              for this link alone
    //   "GetCommState failed" / "SetCommState failed"   line settings
    //   "GetCommTimeouts failed" / "SetCommTimeouts failed"   time-outs
    //   "PurgeComm failed"   dropping what is buffered in both directions
    // The port is named as the system lists it ("ttyUSB0", "rfcomm0") or by
    // its full path.
    void open(const QString& portName, int speed);
    // Reads up to `count` bytes (see TSerialPort::read): the count read,
    // 0 after the read time-out, -1 on failure.
    int read(char* buffer, int count);
    // The commands; each is true when exactly its byte was written. Starting
    // first drops everything buffered in both directions.
    bool sendStartStreaming();
    bool sendStopStreaming();
    bool sendKeepAlive();
    bool sendIdentify();
    void close();

    // The device file of a port name: a full path is kept, a bare name is
    // looked up in /dev.
    static QString devicePath(const QString& portName);

private:
    bool sendCommand(unsigned char command);
    void require(TPortSetting setting, const char* readFailure, const char* applyFailure);
    [[noreturn]] void fail(const char* text);

    TSerialPort m_port;
};
