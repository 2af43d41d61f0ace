#include "AcqTestSupport.h"

#include "acquisition/TAcqListener.h"
#include "acquisition/TDemoAcqSource.h"
#include "acquisition/TQtAcqDriver.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace AcqTest;

namespace {

class DemoSourceTest : public ::testing::Test
{
protected:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static std::unique_ptr<TDemoAcqSource> demo(const QString& path, int rate = 1000, qint64 offset = 0)
    {
        return std::make_unique<TDemoAcqSource>(path, Channels, rate, 2, 16, 300.0, offset);
    }

    // Everything queued, after the source was stopped (the reader stops
    // between frames, so the queue then holds whole frames).
    static QByteArray drain(TAcqSource& source)
    {
        QByteArray bytes(source.bytesAvailable(), Qt::Uninitialized);
        bytes.resize(source.read(bytes.data(), bytes.size()));
        return bytes;
    }

    static std::string constructionError(const QString& path, qint64 offset = 0)
    {
        try {
            TDemoAcqSource source(path, Channels, 1000, 2, 16, 300.0, offset);
        } catch (const std::exception& error) {
            return error.what();
        }
        return "no error";
    }

    QTemporaryDir dir;
};

// Checks that `bytes` is a whole number of frames equal to the file's frames
// replayed from the first in an endless loop.
void expectLoopedFrames(const QByteArray& bytes, const QByteArray& frames)
{
    ASSERT_EQ(bytes.size() % FrameBytes, 0);
    const int fileFrames = frames.size() / FrameBytes;
    const int got = bytes.size() / FrameBytes;
    for (int frame = 0; frame < got; ++frame) {
        const int expected = frame % fileFrames;
        ASSERT_EQ(bytes.mid(frame * FrameBytes, FrameBytes), frames.mid(expected * FrameBytes, FrameBytes))
            << "delivered frame " << frame << " should be file frame " << expected;
    }
}

} // namespace

TEST_F(DemoSourceTest, MissingFileIsRefusedWithCannotOpenFile)
{
    EXPECT_EQ(constructionError(dir.filePath(QStringLiteral("absent.dat"))), "Cannot open file");
}

TEST_F(DemoSourceTest, FileShorterThanOneFrameIsRefusedWithCannotOpenFile)
{
    EXPECT_EQ(constructionError(writeFile(QStringLiteral("empty.dat"), QByteArray())), "Cannot open file");
    EXPECT_EQ(constructionError(writeFile(QStringLiteral("short.dat"), makeFrames(0, 1).left(FrameBytes - 1))),
              "Cannot open file");
    // One frame after an offset that leaves less than a frame.
    const QString withHeader = writeFile(QStringLiteral("header.dat"), QByteArray(8, 'h') + makeFrames(0, 1));
    EXPECT_EQ(constructionError(withHeader, 9), "Cannot open file");
    EXPECT_EQ(constructionError(withHeader, 8), "no error");
    EXPECT_EQ(constructionError(writeFile(QStringLiteral("one.dat"), makeFrames(0, 1))), "no error");
}

TEST_F(DemoSourceTest, AnswersOfTheDemoSource)
{
    const auto source = std::make_unique<TDemoAcqSource>(writeFile(QStringLiteral("a.dat"), makeFrames(0, 10)),
                                                         Channels, 500, 2, 16, 300.0, 0);
    EXPECT_TRUE(source->isHealthy());
    EXPECT_FALSE(source->readerFlag());
    EXPECT_FALSE(source->sourceFlag());
    EXPECT_EQ(source->nextPacemakerOffset(), 0);
    for (const char* electrode : {"LA", "LL", "RA", "V1", "V2", "V3", "V4", "V5", "V6"})
        EXPECT_FALSE(source->isElectrodeOff(QLatin1String(electrode)));
    EXPECT_TRUE(source->errorText().isEmpty());
    EXPECT_DOUBLE_EQ(source->batteryLevel(), 0.0);
    EXPECT_EQ(source->channelCount(), 14);
    EXPECT_EQ(source->sampleRate(), 500);
    EXPECT_EQ(source->bytesPerSample(), 2);
    EXPECT_EQ(source->resolutionBits(), 16);
    EXPECT_DOUBLE_EQ(source->minimumValue(), -300.0);
    EXPECT_DOUBLE_EQ(source->maximumValue(), 300.0);
    EXPECT_EQ(source->bytesAvailable(), 0);
}

TEST_F(DemoSourceTest, ReplaysTheFramesInOrderAndWrapsSkippingATrailingPartialFrame)
{
    const QByteArray frames = makeFrames(0, 10);
    const auto source = demo(writeFile(QStringLiteral("loop.dat"), frames + makeFrames(10, 1).left(5)));
    source->start();
    ASSERT_TRUE(waitBlocked([&] { return source->bytesAvailable() >= 35 * FrameBytes; }));
    source->stop();
    const QByteArray bytes = drain(*source);
    EXPECT_GE(bytes.size(), 35 * FrameBytes);
    expectLoopedFrames(bytes, frames);
}

TEST_F(DemoSourceTest, WrapsToTheDataOffset)
{
    const QByteArray frames = makeFrames(0, 7);
    const auto source = demo(writeFile(QStringLiteral("offset.dat"), QByteArray(6, 'x') + frames + QByteArray(3, 'y')),
                             1000, 6);
    source->start();
    ASSERT_TRUE(waitBlocked([&] { return source->bytesAvailable() >= 30 * FrameBytes; }));
    source->stop();
    expectLoopedFrames(drain(*source), frames);
}

TEST_F(DemoSourceTest, RestartBeginsAtTheFirstFrame)
{
    const QByteArray frames = makeFrames(0, 50);
    const auto source = demo(writeFile(QStringLiteral("restart.dat"), frames));
    source->start();
    ASSERT_TRUE(waitBlocked([&] { return source->bytesAvailable() >= 13 * FrameBytes; }));
    source->stop();
    const QByteArray first = drain(*source);
    ASSERT_EQ(first.size() % FrameBytes, 0);

    source->start();
    ASSERT_TRUE(waitBlocked([&] { return source->bytesAvailable() >= 5 * FrameBytes; }));
    source->stop();
    expectLoopedFrames(drain(*source), frames);
}

// The replay must never run ahead of real time: after a measured interval
// at most rate x (interval + one burst of just over 25 ms, plus the
// millisecond the sleeps are rounded to) frames may have been queued. Only
// this upper bound is checked; a slow machine may deliver fewer.
void expectNotAheadOfRealTime(const QString& path, int rate)
{
    const auto source = std::make_unique<TDemoAcqSource>(path, Channels, rate, 2, 16, 300.0, 0);
    QElapsedTimer clock;
    clock.start();
    source->start();
    for (int check = 0; check < 25; ++check) {
        QThread::msleep(47);
        const int frames = source->bytesAvailable() / FrameBytes;
        const double elapsed = clock.nsecsElapsed() / 1e9;
        EXPECT_LE(frames, rate * (elapsed + 0.027) + 1.0) << "after " << elapsed << " s at " << rate << " Hz";
    }
    source->stop();
}

TEST_F(DemoSourceTest, ReplayIsNeverAheadOfRealTime)
{
    const QString path = writeFile(QStringLiteral("pace.dat"), makeFrames(0, 3000));
    expectNotAheadOfRealTime(path, 1000);
    expectNotAheadOfRealTime(path, 500);
}

namespace {

class CountingListener : public TAcqListener
{
public:
    void onAcqData(TAcqDriver*) override { ++blocks; }
    void onAcqPacemaker(TAcqDriver*, int) override { ++pacemakers; }
    void onAcqError(TAcqDriver*, const std::string&) override { ++errors; }
    int blocks = 0;
    int pacemakers = 0;
    int errors = 0;
};

} // namespace

TEST_F(DemoSourceTest, DriverOnTheDemoSourceFillsTheSinkWithTheLoopedFile)
{
    const QByteArray frames = makeFrames(0, 97);
    const auto source = demo(writeFile(QStringLiteral("driver.dat"), frames));
    TSignalBuffer16 sink(Channels, 1000, 4096, 81920);
    CountingListener listener;
    {
        TQtAcqDriver driver(source.get(), &sink);
        driver.addListener(&listener);
        driver.start();
        ASSERT_TRUE(waitUntil([&] { return sink.appendedCount() >= 300; }));
        const Watchdog watchdog(10000, "TQtAcqDriver::stop on the demo source");
        driver.stop();
    }
    EXPECT_GE(listener.blocks, 1);
    EXPECT_EQ(listener.pacemakers, 0);
    EXPECT_EQ(listener.errors, 0);
    for (int index = 0; index < sink.appendedCount(); ++index)
        for (int channel = 0; channel < Channels; ++channel)
            ASSERT_EQ(sink.sample(channel, index), frameValue(index % 97, channel)) << "frame " << index;
}
