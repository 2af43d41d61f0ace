#include "AcqTestSupport.h"
#include "SimulatorSupport.h"

#include "acquisition/TDeviceAcqSource.h"

#include <gtest/gtest.h>

#include <vector>

using namespace AcqTest;
using namespace SimulatorTest;

namespace {

int framesQueued(const TAcqSource& source)
{
    return source.bytesAvailable() / FrameBytes;
}

QByteArray commands(std::initializer_list<int> bytes)
{
    QByteArray result;
    for (int byte : bytes)
        result.append(char(byte));
    return result;
}

} // namespace

TEST(DeviceSource, StreamsTheDeviceStatusAndFramesAndStopsTheDeviceTwice)
{
    TDeviceSimulatorOptions options = recordingOptions();
    options.electrodesOff = QStringList({QStringLiteral("LA"), QStringLiteral("V3")});
    options.batteryByte = 200;
    RunningSimulator simulator(options);
    TDeviceAcqSource source(simulator->portPath(), 570000);
    source.start();
    ASSERT_TRUE(waitBlocked([&] { return framesQueued(source) >= 300; }, 30000));
    EXPECT_TRUE(source.isHealthy());
    EXPECT_EQ(simulator->receivedBytes(), commands({0x01, 0x01, 0x09}));
    EXPECT_TRUE(source.isElectrodeOff(QStringLiteral("LA")));
    EXPECT_TRUE(source.isElectrodeOff(QStringLiteral("V3")));
    EXPECT_FALSE(source.isElectrodeOff(QStringLiteral("LL")));
    EXPECT_FALSE(source.isElectrodeOff(QStringLiteral("V1")));
    EXPECT_NEAR(source.batteryLevel(), 2.6, 1e-12);

    source.stop();
    EXPECT_TRUE(waitBlocked([&] { return simulator->receivedBytes().size() >= 5; }));
    EXPECT_EQ(simulator->receivedBytes(), commands({0x01, 0x01, 0x09, 0x02, 0x02}));
    EXPECT_TRUE(source.isHealthy());

    const int count = framesQueued(source);
    QByteArray frames(count * FrameBytes, Qt::Uninitialized);
    ASSERT_EQ(source.read(frames.data(), frames.size()), frames.size());
    EXPECT_TRUE(followRecording(*simulator,
                                [&](int k) { return frameFromBytes(frames.constData() + k * FrameBytes); }, count));
}

TEST(DeviceSource, SendsTheKeepAlivePairAfterEverySixtyThousandPackets)
{
    TDeviceSimulatorOptions options = recordingOptions();
    options.fast = true;
    RunningSimulator simulator(options);
    TDeviceAcqSource source(simulator->portPath(), 570000);
    source.start();
    ASSERT_TRUE(waitBlocked([&] { return simulator->receivedBytes().size() >= 5; }, 60000))
        << "after " << framesQueued(source) << " frames";
    source.stop();
    EXPECT_TRUE(source.isHealthy());
    ASSERT_TRUE(waitBlocked([&] { return simulator->receivedBytes().endsWith(commands({0x02, 0x02})); }));

    // Nothing took frames from the queue: it holds every packet decoded.
    const int decoded = framesQueued(source);
    const QByteArray received = simulator->receivedBytes();
    EXPECT_TRUE(received.startsWith(commands({0x01, 0x01, 0x09, 0x09, 0x09})));
    EXPECT_EQ(received.count(char(0x09)), 1 + 2 * (decoded / 60000)) << decoded << " packets";
    EXPECT_EQ(received.size(), 3 + 2 * (decoded / 60000) + 2);
    EXPECT_GE(simulator->receivedCommands()[3].packetsSent, 60000);
}

TEST(DeviceSource, APortThatCannotBeOpenedMakesTheSourceUnhealthy)
{
    TDeviceAcqSource source(QStringLiteral("/nonexistent/ttyVAROR"), 570000);
    source.start();
    ASSERT_TRUE(waitBlocked([&] { return !source.isHealthy(); }));
    EXPECT_EQ(source.errorText(), QStringLiteral("No se pudo abrir el puerto (CreateFile)"));
    source.stop();
    EXPECT_FALSE(source.isHealthy());
    EXPECT_EQ(framesQueued(source), 0);
}

TEST(DeviceSource, BluetoothProbeAcceptsOnlyTheDevicesAnswer)
{
    TDeviceSimulatorOptions options = recordingOptions();
    {
        RunningSimulator device(options);
        EXPECT_TRUE(TDeviceAcqSource::probeBluetoothPort(device->portPath()));
        EXPECT_EQ(device->receivedBytes(), commands({0x0B}));
    }
    options.identification = "MODEM";
    {
        RunningSimulator modem(options);
        EXPECT_FALSE(TDeviceAcqSource::probeBluetoothPort(modem->portPath()));
    }
    EXPECT_FALSE(TDeviceAcqSource::probeBluetoothPort(QStringLiteral("/nonexistent/rfcommVAROR")));
}
