#include "acquisition/TSerialLink.h"

#include "acquisition/TDeviceProtocol.h"

namespace {

const char* const OpenFailed = "No se pudo abrir el puerto (CreateFile)";
const char* const GetStateFailed = "GetCommState failed";
const char* const SetStateFailed = "SetCommState failed";
const char* const GetTimeoutsFailed = "GetCommTimeouts failed";
const char* const SetTimeoutsFailed = "SetCommTimeouts failed";
const char* const PurgeFailed = "PurgeComm failed";

} // namespace

QString TSerialLink::devicePath(const QString& portName)
{
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    return QStringLiteral("/dev/") + portName;
}

void TSerialLink::open(const QString& portName, int speed)
{
    if (!m_port.open(devicePath(portName)))
        fail(OpenFailed);
    // There is no step for the driver's buffer sizes: Linux offers no call
    // to size a terminal's buffers, the kernel sizes them itself.
    require(m_port.setLine(speed), GetStateFailed, SetStateFailed);
    require(m_port.setTimeouts(ReadTimeoutMilliseconds, WriteTimeoutMilliseconds), GetTimeoutsFailed,
            SetTimeoutsFailed);
    if (!m_port.purge())
        fail(PurgeFailed);
}

void TSerialLink::require(TPortSetting setting, const char* readFailure, const char* applyFailure)
{
    if (setting == TPortSetting::ReadFailed)
        fail(readFailure);
    if (setting == TPortSetting::ApplyFailed)
        fail(applyFailure);
}

void TSerialLink::fail(const char* text)
{
    m_port.close();
    throw TDeviceLinkError(text);
}

int TSerialLink::read(char* buffer, int count)
{
    return m_port.read(buffer, count);
}

bool TSerialLink::sendCommand(unsigned char command)
{
    const char byte = char(command);
    return m_port.write(&byte, 1) == 1;
}

bool TSerialLink::sendStartStreaming()
{
    const bool purged = m_port.purge();
    return sendCommand(TDeviceProtocol::StartStreaming) && purged;
}

bool TSerialLink::sendStopStreaming()
{
    return sendCommand(TDeviceProtocol::StopStreaming);
}

bool TSerialLink::sendKeepAlive()
{
    return sendCommand(TDeviceProtocol::KeepAlive);
}

bool TSerialLink::sendIdentify()
{
    return sendCommand(TDeviceProtocol::Identify);
}

void TSerialLink::close()
{
    m_port.close();
}
