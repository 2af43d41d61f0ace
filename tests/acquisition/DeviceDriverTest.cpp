#include "AcqTestSupport.h"
#include "SimulatorSupport.h"

#include "acquisition/TAcqListener.h"
#include "acquisition/TDeviceAcqSource.h"
#include "acquisition/TQtAcqDriver.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

using namespace AcqTest;
using namespace SimulatorTest;

namespace {

const QString ReadError = QStringLiteral("Device read error");
const QString OpenFailed = QStringLiteral("No se pudo abrir el puerto (CreateFile)");

// Passes everything through to the device source and notes the error text
// each time the driver's worker finds the source unhealthy (a repeated text
// once), and how often the worker started it.
class ObservedSource : public TAcqSource
{
public:
    explicit ObservedSource(TDeviceAcqSource& device) : m_device(device) {}

    void start() override
    {
        ++starts;
        m_device.start();
    }
    bool isHealthy() const override
    {
        const bool healthy = m_device.isHealthy();
        if (!healthy)
            note(m_device.errorText());
        return healthy;
    }
    int bytesAvailable() const override { return m_device.bytesAvailable(); }
    int read(char* destination, int length) override { return m_device.read(destination, length); }
    bool isElectrodeOff(const QString& electrode) const override { return m_device.isElectrodeOff(electrode); }
    void stop() override { m_device.stop(); }
    QString errorText() const override { return m_device.errorText(); }
    double batteryLevel() const override { return m_device.batteryLevel(); }
    int channelCount() const override { return m_device.channelCount(); }
    int sampleRate() const override { return m_device.sampleRate(); }
    int bytesPerSample() const override { return m_device.bytesPerSample(); }
    int resolutionBits() const override { return m_device.resolutionBits(); }
    double minimumValue() const override { return m_device.minimumValue(); }
    double maximumValue() const override { return m_device.maximumValue(); }

    QStringList failures() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_failures;
    }

    std::atomic<int> starts{0};

private:
    void note(const QString& text) const
    {
        const QMutexLocker locker(&m_mutex);
        if (m_failures.isEmpty() || m_failures.last() != text)
            m_failures.append(text);
    }

    TDeviceAcqSource& m_device;
    mutable QMutex m_mutex;
    mutable QStringList m_failures;
};

class ErrorListener : public TAcqListener
{
public:
    void onAcqData(TAcqDriver*) override {}
    void onAcqPacemaker(TAcqDriver*, int) override {}
    void onAcqError(TAcqDriver*, const std::string& message) override { errors.push_back(message); }

    std::vector<std::string> errors;
};

QByteArray commands(std::initializer_list<int> bytes)
{
    QByteArray result;
    for (int byte : bytes)
        result.append(char(byte));
    return result;
}

// The driver over a device source on the simulator's port, with the raw
// signal as its sink.
class DeviceDriverTest : public ::testing::Test
{
protected:
    void startDriver(const TDeviceSimulator& simulator)
    {
        m_device = std::make_unique<TDeviceAcqSource>(simulator.portPath(), 570000);
        m_source = std::make_unique<ObservedSource>(*m_device);
        m_sink = std::make_unique<TSignalBuffer16>(14, 1000, 1000, 120000);
        m_driver = std::make_unique<TQtAcqDriver>(m_source.get(), m_sink.get());
        m_driver->addListener(&m_listener);
        m_driver->start();
    }
    void TearDown() override
    {
        if (m_driver)
            m_driver->stop();
        m_driver.reset();
    }

    int framesRecorded() const { return m_sink->appendedCount(); }
    bool recordAtLeast(int frames, int timeoutMs = 30000)
    {
        return waitUntil([&] { return framesRecorded() >= frames; }, timeoutMs);
    }
    Frame recordedFrame(int index) const
    {
        Frame frame{};
        for (int lead = 0; lead < 14; ++lead)
            frame[std::size_t(lead)] = m_sink->sample(lead, index);
        return frame;
    }

    std::unique_ptr<TDeviceAcqSource> m_device;
    std::unique_ptr<ObservedSource> m_source;
    std::unique_ptr<TSignalBuffer16> m_sink;
    std::unique_ptr<TQtAcqDriver> m_driver;
    ErrorListener m_listener;
};

} // namespace

TEST_F(DeviceDriverTest, TheRecordingsFramesFlowIntoTheRawSignal)
{
    TDeviceSimulatorOptions options = recordingOptions();
    options.garbageEvery = 7;
    options.falseStartEvery = 5;
    RunningSimulator simulator(options);
    startDriver(*simulator);
    ASSERT_TRUE(recordAtLeast(1500));
    m_driver->stop();
    ASSERT_TRUE(waitBlocked([&] { return simulator->receivedBytes().size() >= 5; }));
    EXPECT_EQ(simulator->receivedBytes(), commands({0x01, 0x01, 0x09, 0x02, 0x02}));
    EXPECT_TRUE(followRecording(*simulator, [&](int k) { return recordedFrame(k); }, framesRecorded()));
    EXPECT_EQ(m_source->starts.load(), 1);
    EXPECT_TRUE(m_source->failures().isEmpty());
    EXPECT_TRUE(m_listener.errors.empty());
}

// The read time-out takes its full ten seconds here.
TEST_F(DeviceDriverTest, AStalledDeviceIsRestartedWithoutAStopCommandAndStreamsAgain)
{
    TDeviceSimulatorOptions options = recordingOptions();
    options.stallAfter = 500;
    RunningSimulator simulator(options);
    startDriver(*simulator);
    ASSERT_TRUE(waitUntil([&] { return !m_source->failures().isEmpty(); }, 40000));
    EXPECT_EQ(m_source->failures(), QStringList({ReadError}));
    const int beforeRestart = framesRecorded();
    EXPECT_LE(beforeRestart, 500);
    ASSERT_TRUE(recordAtLeast(beforeRestart + 300));
    EXPECT_EQ(m_source->starts.load(), 2);
    m_driver->stop();
    ASSERT_TRUE(waitBlocked([&] { return simulator->receivedBytes().size() >= 8; }));
    EXPECT_EQ(simulator->receivedBytes(), commands({0x01, 0x01, 0x09, 0x01, 0x01, 0x09, 0x02, 0x02}));
    EXPECT_TRUE(m_listener.errors.empty());
}

TEST_F(DeviceDriverTest, AVanishedDeviceIsReopenedWhenItComesBack)
{
    QTemporaryDir folder;
    TDeviceSimulatorOptions options = recordingOptions();
    options.linkPath = folder.filePath(QStringLiteral("ttyDevice"));
    options.vanishAfter = 500;
    options.vanishMilliseconds = 1000;
    RunningSimulator simulator(options);
    startDriver(*simulator);
    ASSERT_TRUE(waitUntil([&] { return m_source->failures().contains(OpenFailed); }, 30000));
    EXPECT_EQ(m_source->failures().first(), ReadError);
    const int beforeReturn = framesRecorded();
    ASSERT_TRUE(recordAtLeast(beforeReturn + 300));
    EXPECT_FALSE(simulator->terminalPath().isEmpty());
    m_driver->stop();
    ASSERT_TRUE(waitBlocked([&] { return simulator->receivedBytes().size() >= 8; }));
    EXPECT_EQ(simulator->receivedBytes(), commands({0x01, 0x01, 0x09, 0x01, 0x01, 0x09, 0x02, 0x02}));
    EXPECT_TRUE(m_listener.errors.empty());
}
