#include "AcqTestSupport.h"
#include "TPseudoTerminal.h"

#include "acquisition/TSerialLineLinux.h"
#include "acquisition/TSerialLink.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace AcqTest;

namespace {

const char* const OpenFailed = "No se pudo abrir el puerto (CreateFile)";

std::string openError(TSerialLink& link, const QString& portName)
{
    try {
        link.open(portName, 570000);
    } catch (const TDeviceLinkError& error) {
        return error.what();
    }
    return "opened";
}

// What the device side of the pseudo-terminal has received so far.
QByteArray deviceReceived(const TPseudoTerminal& terminal, int count)
{
    QByteArray received;
    waitBlocked([&] {
        char buffer[64];
        const ssize_t got = ::read(terminal.masterHandle(), buffer, sizeof buffer);
        if (got > 0)
            received.append(buffer, int(got));
        return received.size() >= count;
    });
    return received;
}

void deviceSends(const TPseudoTerminal& terminal, const QByteArray& bytes)
{
    ASSERT_EQ(::write(terminal.masterHandle(), bytes.constData(), std::size_t(bytes.size())), bytes.size());
}

// Bytes waiting in the port's input queue, seen through a handle of our own.
int queuedAtPort(const TPseudoTerminal& terminal)
{
    const int handle = ::open(QFile::encodeName(terminal.portPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int queued = -1;
    ::ioctl(handle, FIONREAD, &queued);
    ::close(handle);
    return queued;
}

// Puts the terminal in the cooked mode a fresh terminal has: line editing,
// echo, signals, CR to LF, XON/XOFF, output processing.
void makeCooked(const TPseudoTerminal& terminal)
{
    const int handle = ::open(QFile::encodeName(terminal.portPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios line{};
    ASSERT_EQ(::tcgetattr(handle, &line), 0);
    line.c_iflag |= ICRNL | IXON;
    line.c_oflag |= OPOST | ONLCR;
    line.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    ASSERT_EQ(::tcsetattr(handle, TCSANOW, &line), 0);
    ::close(handle);
}

} // namespace

TEST(SerialLink, BareNamesAreLookedUpInDev)
{
    EXPECT_EQ(TSerialLink::devicePath(QStringLiteral("ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(TSerialLink::devicePath(QStringLiteral("rfcomm12")), QStringLiteral("/dev/rfcomm12"));
    EXPECT_EQ(TSerialLink::devicePath(QStringLiteral("/dev/pts/3")), QStringLiteral("/dev/pts/3"));
}

TEST(SerialLink, OnlyAnExistingTerminalOpens)
{
    TSerialLink link;
    EXPECT_EQ(openError(link, QStringLiteral("/nonexistent/ttyVAROR")), OpenFailed);
    EXPECT_EQ(openError(link, QStringLiteral("/dev/null")), OpenFailed);
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("ttyFile")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(openError(link, file.fileName()), OpenFailed);
}

TEST(SerialLink, APortIsForOneLinkAtATime)
{
    TPseudoTerminal terminal;
    TSerialLink first;
    TSerialLink second;
    ASSERT_EQ(openError(first, terminal.portPath()), "opened");
    EXPECT_EQ(openError(second, terminal.portPath()), OpenFailed);
    first.close();
    EXPECT_EQ(openError(second, terminal.portPath()), "opened");
}

// A pseudo-terminal has no modem lines: turning DTR and RTS off fails on
// it, which the line setup forgives there and nowhere else.
TEST(SerialLink, APseudoTerminalMayRefuseModemLines)
{
    TPseudoTerminal terminal;
    const int handle = ::open(QFile::encodeName(terminal.portPath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(configureSerialLine(handle, 570000, false), TPortSetting::ApplyFailed);
    EXPECT_EQ(configureSerialLine(handle, 570000, true), TPortSetting::Applied);
    ::close(handle);
    const int notTerminal = ::open("/dev/null", O_RDWR);
    EXPECT_EQ(configureSerialLine(notTerminal, 570000, true), TPortSetting::ReadFailed);
    ::close(notTerminal);
}

TEST(SerialLink, BytesPassUnchangedBothWays)
{
    TPseudoTerminal terminal;
    makeCooked(terminal);
    TSerialLink link;
    ASSERT_EQ(openError(link, terminal.portPath()), "opened");
    // Carriage return, line feed, interrupt, XON, XOFF, delete, sync.
    const QByteArray binary("\r\n\x03\x11\x13\x7F\xC0", 7);
    deviceSends(terminal, binary);
    char answer[16];
    EXPECT_EQ(QByteArray(answer, link.read(answer, 7)), binary);

    EXPECT_TRUE(link.sendStartStreaming());
    EXPECT_TRUE(link.sendKeepAlive());
    EXPECT_TRUE(link.sendStopStreaming());
    EXPECT_TRUE(link.sendIdentify());
    EXPECT_EQ(deviceReceived(terminal, 4), QByteArray("\x01\x09\x02\x0B", 4));
}

TEST(SerialLink, AReadReturnsWhatCameOnceTheLineIsQuiet)
{
    TPseudoTerminal terminal;
    TSerialLink link;
    ASSERT_EQ(openError(link, terminal.portPath()), "opened");
    deviceSends(terminal, "ECG-01");
    char answer[7];
    EXPECT_EQ(QByteArray(answer, link.read(answer, 7)), QByteArray("ECG-01"));
}

TEST(SerialLink, StartingDropsWhatWasReceivedBefore)
{
    TPseudoTerminal terminal;
    TSerialLink link;
    ASSERT_EQ(openError(link, terminal.portPath()), "opened");
    deviceSends(terminal, "stale");
    ASSERT_TRUE(waitBlocked([&] { return queuedAtPort(terminal) == 5; }));
    EXPECT_TRUE(link.sendStartStreaming());
    deviceSends(terminal, "fresh");
    char answer[8];
    EXPECT_EQ(QByteArray(answer, link.read(answer, 8)), QByteArray("fresh"));
}

TEST(SerialLink, AReadFailsOnceTheDeviceIsGone)
{
    auto terminal = std::make_unique<TPseudoTerminal>();
    TSerialLink link;
    ASSERT_EQ(openError(link, terminal->portPath()), "opened");
    terminal.reset();
    char byte = 0;
    EXPECT_EQ(link.read(&byte, 1), -1);
    EXPECT_FALSE(link.sendStopStreaming());
}
