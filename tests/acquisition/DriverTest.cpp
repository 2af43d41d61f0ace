#include "AcqTestSupport.h"
#include "FakeAcqSource.h"

#include "acquisition/TAcqListener.h"
#include "acquisition/TQtAcqDriver.h"
#include "acquisition/TQtAcqDriverThread.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QCoreApplication>
#include <QMetaType>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace AcqTest;

namespace {

// Records every notification with the frames each block added to the sink
// and the thread it ran in.
class Recorder : public TAcqListener
{
public:
    explicit Recorder(TSignal* sink) : m_sink(sink) {}

    void onAcqData(TAcqDriver*) override
    {
        checkThread();
        const int appended = m_sink->appendedCount();
        blocks.push_back(appended - m_seen);
        log.push_back("data:" + std::to_string(appended - m_seen));
        m_seen = appended;
    }
    void onAcqPacemaker(TAcqDriver* driver, int offset) override
    {
        checkThread();
        pacemakers.push_back(offset);
        log.push_back("pacemaker:" + std::to_string(offset));
        if (pacemakerHook)
            pacemakerHook(driver);
    }
    void onAcqError(TAcqDriver* driver, const std::string& message) override
    {
        checkThread();
        errors.push_back(message);
        log.push_back("error:" + message);
        if (errorHook)
            errorHook(driver);
    }

    std::vector<int> blocks;
    std::vector<int> pacemakers;
    std::vector<std::string> errors;
    std::vector<std::string> log;
    int foreignThreadCalls = 0;
    std::function<void(TAcqDriver*)> pacemakerHook;
    std::function<void(TAcqDriver*)> errorHook;

private:
    void checkThread()
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            ++foreignThreadCalls;
    }

    TSignal* m_sink;
    int m_seen = 0;
};

// A fake source, a 14-channel sink and a driver with one recorder.
class DriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sink = std::make_unique<TSignalBuffer16>(Channels, 1000, 4096, 81920);
        driver = std::make_unique<TQtAcqDriver>(&source, sink.get());
        recorder = std::make_unique<Recorder>(sink.get());
        driver->addListener(recorder.get());
    }
    void TearDown() override
    {
        const Watchdog watchdog(10000, "TQtAcqDriver::stop at tear-down");
        driver->stop();
        driver.reset();
    }

    int deliveredFrames() const { return sink->appendedCount(); }

    FakeAcqSource source{1000};
    std::unique_ptr<TSignalBuffer16> sink;
    std::unique_ptr<TQtAcqDriver> driver;
    std::unique_ptr<Recorder> recorder;
};

} // namespace

TEST(DriverMetaType, QVectorOfCharIsRegisteredUnderItsName)
{
    TQtAcqDriverThread::registerMetaTypes();
    const int id = QMetaType::type("QVector<char>");
    EXPECT_NE(id, int(QMetaType::UnknownType));
    EXPECT_EQ(id, qMetaTypeId<QVector<char>>());
}

TEST_F(DriverTest, ExactlyATenthOfTheRateDeliversNothingUntilOneMoreFrame)
{
    source.push(makeFrames(0, 100));
    driver->start();
    runEvents(250);
    EXPECT_TRUE(recorder->blocks.empty());
    EXPECT_EQ(source.bytesAvailable(), 100 * FrameBytes);

    source.push(makeFrames(100, 1));
    ASSERT_TRUE(waitUntil([&] { return !recorder->blocks.empty(); }));
    EXPECT_EQ(recorder->blocks, std::vector<int>{101});
    EXPECT_EQ(deliveredFrames(), 101);
}

TEST_F(DriverTest, MoreThanFiveSecondsQueuedDeliversFiveSecondsFirst)
{
    source.push(makeFrames(0, 5150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() >= 2; }));
    EXPECT_EQ(recorder->blocks, (std::vector<int>{5000, 150}));
    EXPECT_EQ(deliveredFrames(), 5150);
}

TEST_F(DriverTest, PartialFrameStaysQueued)
{
    QByteArray bytes = makeFrames(0, 150);
    bytes.append(makeFrames(150, 1).left(10));
    source.push(bytes);
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return !recorder->blocks.empty(); }));
    runEvents(100);
    EXPECT_EQ(recorder->blocks, std::vector<int>{150});
    EXPECT_EQ(source.bytesAvailable(), 10);
}

TEST_F(DriverTest, BlocksReachTheSinkInTheGuiThreadInEmissionOrder)
{
    constexpr int Rounds = 40;
    constexpr int FramesPerRound = 137;
    driver->start();
    std::thread pusher([this] {
        for (int round = 0; round < Rounds; ++round) {
            source.push(makeFrames(round * FramesPerRound, FramesPerRound));
            QThread::msleep(3);
        }
    });
    const int total = Rounds * FramesPerRound;
    const bool reached = waitUntil([&] { return deliveredFrames() >= total - 100; });
    pusher.join();
    ASSERT_TRUE(reached);
    runEvents(100);

    EXPECT_EQ(recorder->foreignThreadCalls, 0);
    EXPECT_GT(recorder->blocks.size(), 1u);
    int sum = 0;
    for (int frames : recorder->blocks) {
        EXPECT_GT(frames, 100);
        EXPECT_LE(frames, 5000);
        sum += frames;
    }
    EXPECT_EQ(sum, deliveredFrames());
    // The remainder that is not delivered is at most a tenth of a second.
    EXPECT_GE(deliveredFrames(), total - 100);
    for (int index = 0; index < deliveredFrames(); ++index) {
        for (int channel = 0; channel < Channels; ++channel) {
            ASSERT_EQ(sink->sample(channel, index), frameValue(index, channel))
                << "frame " << index << " channel " << channel;
        }
    }
    EXPECT_TRUE(recorder->pacemakers.empty());
    EXPECT_TRUE(recorder->errors.empty());
}

TEST_F(DriverTest, MaskedChannelsAreZeroed)
{
    driver->setChannelMasked(2, true);
    driver->setChannelMasked(13, true);
    EXPECT_TRUE(driver->isChannelMasked(2));
    EXPECT_FALSE(driver->isChannelMasked(3));
    source.push(makeFrames(0, 200));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return !recorder->blocks.empty(); }));
    ASSERT_EQ(deliveredFrames(), 200);
    for (int index = 0; index < 200; ++index) {
        for (int channel = 0; channel < Channels; ++channel) {
            const int expected = (channel == 2 || channel == 13) ? 0 : frameValue(index, channel);
            ASSERT_EQ(sink->sample(channel, index), expected) << "frame " << index << " channel " << channel;
        }
    }
}

TEST_F(DriverTest, ShortReadReportsTheSourceErrorTextOnce)
{
    source.shortReadBy = FrameBytes;
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return !recorder->errors.empty(); }));
    ASSERT_TRUE(waitUntil([&] { return driver->worker()->isFinished(); }));
    runEvents(100);
    EXPECT_EQ(recorder->errors, std::vector<std::string>{"Scripted source failure"});
    EXPECT_TRUE(recorder->blocks.empty());
    EXPECT_EQ(recorder->foreignThreadCalls, 0);
    EXPECT_EQ(driver->worker()->errorText(), QStringLiteral("Scripted source failure"));
    // The worker stops the source on its way out.
    EXPECT_EQ(source.stops, 1);
}

TEST_F(DriverTest, UnhealthySourceIsRestartedWithoutAnError)
{
    source.unhealthyUntilStart = 3;
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return source.isHealthy(); }));
    source.push(makeFrames(0, 150));
    ASSERT_TRUE(waitUntil([&] { return !recorder->blocks.empty(); }));
    EXPECT_EQ(source.starts, 3);
    EXPECT_EQ(source.stops, 2);
    EXPECT_EQ(recorder->blocks, std::vector<int>{150});
    EXPECT_TRUE(recorder->errors.empty());
}

TEST_F(DriverTest, StoppingWhileTheSourceIsUnhealthyReportsNoError)
{
    source.alwaysUnhealthy = true;
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return source.starts >= 4; }));
    {
        const Watchdog watchdog(10000, "TQtAcqDriver::stop with an unhealthy source");
        driver->stop();
    }
    EXPECT_FALSE(driver->worker()->isRunning());
    runEvents(150);
    EXPECT_TRUE(recorder->errors.empty());
    // Every start was matched by a stop, the last one by the worker's exit.
    EXPECT_EQ(source.stops.load(), source.starts.load());
}

TEST_F(DriverTest, PacemakerOffsetsPrecedeTheirBlockAndTheWorkerWaitsForTheSlot)
{
    source.addPacemakerOffset(5);
    source.addPacemakerOffset(7);
    source.push(makeFrames(0, 150));
    driver->start();
    // The GUI thread runs no events: the worker must wait in the pacemaker
    // signal and so cannot take the next block.
    ASSERT_TRUE(waitBlocked([&] { return source.pacemakerTaken >= 1; }));
    source.push(makeFrames(150, 150));
    QThread::msleep(200);
    EXPECT_EQ(source.bytesAvailable(), 150 * FrameBytes);
    EXPECT_EQ(source.pacemakerTaken, 1);

    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() >= 2; }));
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"pacemaker:5", "pacemaker:7", "data:150", "data:150"}));
    EXPECT_EQ(driver->worker()->lastPacemakerOffset(), 7);
    EXPECT_EQ(recorder->foreignThreadCalls, 0);
}

TEST_F(DriverTest, StopNeverDeadlocksWithAPendingPacemakerSignal)
{
    source.addPacemakerOffset(42);
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitBlocked([&] { return source.pacemakerTaken >= 1; }));
    QThread::msleep(50);
    {
        const Watchdog watchdog(10000, "TQtAcqDriver::stop with a pending pacemaker signal");
        driver->stop();
    }
    EXPECT_FALSE(driver->worker()->isRunning());
    // The block taken before the stop reaches the listeners within it; the
    // pending pulse and anything later do not.
    EXPECT_EQ(recorder->log, std::vector<std::string>{"data:150"});
    runEvents(150);
    EXPECT_EQ(recorder->log, std::vector<std::string>{"data:150"});
    EXPECT_EQ(source.stops, 1);
}

TEST_F(DriverTest, StopNeverDeadlocksWithAPendingErrorSignal)
{
    source.shortReadBy = FrameBytes;
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitBlocked([&] { return source.errorTextAsked >= 1; }));
    QThread::msleep(50);
    {
        const Watchdog watchdog(10000, "TQtAcqDriver::stop with a pending error signal");
        driver->stop();
    }
    EXPECT_FALSE(driver->worker()->isRunning());
    runEvents(150);
    EXPECT_TRUE(recorder->errors.empty());
}

TEST_F(DriverTest, ListenerMayStopTheDriverFromInsideTheErrorNotification)
{
    source.shortReadBy = FrameBytes;
    recorder->errorHook = [](TAcqDriver* d) {
        const Watchdog watchdog(10000, "TQtAcqDriver::stop inside onAcqError");
        d->stop();
    };
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return !recorder->errors.empty(); }));
    EXPECT_FALSE(driver->worker()->isRunning());
    runEvents(100);
    EXPECT_EQ(recorder->errors.size(), 1u);
}

TEST_F(DriverTest, ListenerMayStopTheDriverFromInsideThePacemakerNotification)
{
    source.addPacemakerOffset(3);
    recorder->pacemakerHook = [](TAcqDriver* d) {
        const Watchdog watchdog(10000, "TQtAcqDriver::stop inside onAcqPacemaker");
        d->stop();
    };
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return !recorder->pacemakers.empty(); }));
    EXPECT_FALSE(driver->worker()->isRunning());
    runEvents(100);
    EXPECT_EQ(recorder->log, std::vector<std::string>{"pacemaker:3"});
}

TEST_F(DriverTest, RestartAfterStopDeliversAgain)
{
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() == 1; }));
    driver->stop();
    EXPECT_EQ(source.starts, 1);
    EXPECT_EQ(source.stops, 1);

    source.push(makeFrames(150, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() == 2; }));
    EXPECT_EQ(source.starts, 2);
    EXPECT_EQ(deliveredFrames(), 300);
    EXPECT_EQ(sink->sample(0, 299), frameValue(299, 0));
}

TEST_F(DriverTest, PendingActionRunsOnceWithTheNextBlock)
{
    driver->requestPendingAction();
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() == 1; }));
    // The request raised before the start is cleared by the worker's start.
    EXPECT_EQ(source.pendingActions, 0);
    driver->requestPendingAction();
    source.push(makeFrames(150, 150));
    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() == 2; }));
    EXPECT_EQ(source.pendingActions, 1);
    source.push(makeFrames(300, 150));
    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() == 3; }));
    EXPECT_EQ(source.pendingActions, 1);
}

TEST_F(DriverTest, QueriesAreForwardedToTheSource)
{
    EXPECT_FALSE(driver->sourceFlag());
    EXPECT_FALSE(driver->isElectrodeOff(QStringLiteral("V3")));
    EXPECT_DOUBLE_EQ(driver->batteryLevel(), 0.0);
    source.flag = true;
    source.electrodeOff = true;
    source.battery = 2.6;
    EXPECT_TRUE(driver->sourceFlag());
    EXPECT_TRUE(driver->isElectrodeOff(QStringLiteral("V3")));
    EXPECT_FALSE(driver->isElectrodeOff(QStringLiteral("V4")));
    EXPECT_DOUBLE_EQ(driver->batteryLevel(), 2.6);
    EXPECT_EQ(driver->source(), &source);
    EXPECT_EQ(driver->sink(), sink.get());
}

TEST_F(DriverTest, ListenersAreToldInTheOrderAdded)
{
    std::vector<std::string> order;
    struct Named : TAcqListener {
        Named(std::vector<std::string>& o, std::string n) : order(o), name(std::move(n)) {}
        void onAcqData(TAcqDriver*) override { order.push_back(name); }
        void onAcqPacemaker(TAcqDriver*, int) override {}
        void onAcqError(TAcqDriver*, const std::string&) override {}
        std::vector<std::string>& order;
        std::string name;
    } first(order, "first"), second(order, "second");
    driver->addListener(&first);
    driver->addListener(&second);
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return order.size() >= 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
}

TEST_F(DriverTest, DestroyingARunningDriverStopsItFirst)
{
    source.push(makeFrames(0, 150));
    driver->start();
    ASSERT_TRUE(waitUntil([&] { return recorder->blocks.size() == 1; }));
    {
        const Watchdog watchdog(10000, "~TQtAcqDriver while running");
        driver.reset();
    }
    EXPECT_EQ(source.stops, 1);
    driver = std::make_unique<TQtAcqDriver>(&source, sink.get());
}

TEST_F(DriverTest, StopWhenNeverStartedIsHarmless)
{
    const Watchdog watchdog(10000, "TQtAcqDriver::stop before start");
    driver->stop();
    driver->stop();
    EXPECT_EQ(source.starts, 0);
}
