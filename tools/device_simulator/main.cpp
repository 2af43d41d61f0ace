// device_simulator: the ECG device on a pseudo-terminal, for running the
// application and the tests without the hardware. Prints the port to
// configure, then what the device receives and does, until interrupted.
//
//   device_simulator [options]      (see --help)

#include "TDeviceSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <exception>

namespace {

TDeviceSimulator* runningSimulator = nullptr;

void stopOnSignal(int)
{
    if (runningSimulator)
        runningSimulator->stop(); // an atomic store: safe in a signal handler
}

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// A whole number option, or the fallback when the option is absent. Throws
// std::invalid_argument for text that is not a number at least `minimum`.
qint64 numberOption(const QCommandLineParser& parser, const QString& name, qint64 fallback, qint64 minimum)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const qint64 value = parser.value(name).toLongLong(&ok);
    if (!ok || value < minimum)
        throw std::invalid_argument(QStringLiteral("--%1 needs a whole number from %2")
                                        .arg(name)
                                        .arg(minimum)
                                        .toStdString());
    return value;
}

TDeviceSimulatorOptions readOptions(const QCoreApplication& application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The ECG device on a pseudo-terminal: 0x01 starts streaming 34-byte packets of a recording at "
        "1000 per second, 0x02 stops, 0x0B answers with the identification."));
    parser.addHelpOption();
    const auto option = [&parser](const char* name, const char* description, const char* valueName) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description),
                                            QString::fromLatin1(valueName)));
    };
    option("recording", "Demo recording streamed in a loop (default data/ecg1000.dat).", "file");
    option("link", "Symbolic link kept pointing at the current pseudo-terminal.", "path");
    option("identification", "Answer to 0x0B, at most 7 bytes (default ECG-01).", "text");
    option("electrode-off", "Electrodes reported without contact, e.g. LA,V3.", "names");
    option("battery", "Battery byte, 0.013 V per count (default 215).", "count");
    option("garbage", "Garbage bytes before every n-th packet.", "n");
    option("false-starts", "A false 0xC0 packet start before every n-th packet.", "n");
    option("stall-after", "Fall silent after n packets, until the next 0x01 (once).", "n");
    option("vanish-after", "Vanish after n packets and come back on a new pseudo-terminal (once).", "n");
    option("vanish-for", "Milliseconds the device stays away (default 2000).", "ms");
    option("packets", "Fall silent for good after n packets.", "n");
    parser.addOption(QCommandLineOption(QStringLiteral("fast"),
                                        QStringLiteral("Stream as fast as the port takes the packets.")));
    parser.process(application);

    TDeviceSimulatorOptions options;
    if (parser.isSet(QStringLiteral("recording")))
        options.recordingPath = parser.value(QStringLiteral("recording"));
    options.linkPath = parser.value(QStringLiteral("link"));
    if (parser.isSet(QStringLiteral("identification")))
        options.identification = parser.value(QStringLiteral("identification")).toLatin1();
    if (parser.isSet(QStringLiteral("electrode-off")))
        options.electrodesOff = parser.value(QStringLiteral("electrode-off")).split(QLatin1Char(','));
    const qint64 battery = numberOption(parser, QStringLiteral("battery"), options.batteryByte, 0);
    if (battery > 255)
        throw std::invalid_argument("--battery is a byte: 0 to 255");
    options.batteryByte = static_cast<unsigned char>(battery);
    options.garbageEvery = int(numberOption(parser, QStringLiteral("garbage"), 0, 1));
    options.falseStartEvery = int(numberOption(parser, QStringLiteral("false-starts"), 0, 1));
    options.stallAfter = numberOption(parser, QStringLiteral("stall-after"), 0, 1);
    options.vanishAfter = numberOption(parser, QStringLiteral("vanish-after"), 0, 1);
    options.vanishMilliseconds =
        int(numberOption(parser, QStringLiteral("vanish-for"), options.vanishMilliseconds, 0));
    options.packetLimit = numberOption(parser, QStringLiteral("packets"), 0, 1);
    options.fast = parser.isSet(QStringLiteral("fast"));
    return options;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    try {
        TDeviceSimulator simulator(readOptions(application));
        simulator.setReporter(say);
        say(QStringLiteral("Device on %1").arg(simulator.terminalPath()));
        if (simulator.portPath() != simulator.terminalPath())
            say(QStringLiteral("Port to configure: %1").arg(simulator.portPath()));
        runningSimulator = &simulator;
        std::signal(SIGINT, stopOnSignal);
        std::signal(SIGTERM, stopOnSignal);
        simulator.run();
        runningSimulator = nullptr;
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "device_simulator: %s\n", error.what());
        return 1;
    }
}
