#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace AcqTest {

constexpr int Channels = 14;
constexpr int FrameBytes = 2 * Channels;

// The count of one channel in frame `index` of the test frames: distinct per
// frame and channel, so that order and masking are visible.
inline qint16 frameValue(int index, int channel)
{
    return qint16(((index * 13 + channel * 2311) % 60000) - 30000);
}

// Frames [first, first + count) of the test sequence.
inline QByteArray makeFrames(int first, int count)
{
    QByteArray bytes(count * FrameBytes, Qt::Uninitialized);
    uchar* out = reinterpret_cast<uchar*>(bytes.data());
    for (int i = 0; i < count; ++i)
        for (int channel = 0; channel < Channels; ++channel, out += 2)
            qToLittleEndian<qint16>(frameValue(first + i, channel), out);
    return bytes;
}

// Runs the GUI thread's events until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Runs the GUI thread's events for a while.
inline void runEvents(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

// Waits without running the GUI thread's events.
inline bool waitBlocked(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(1);
    }
    return true;
}

// Ends the test process with a message if it is still alive after the time
// limit: a deadlock then fails the test instead of hanging the suite.
class Watchdog
{
public:
    Watchdog(int milliseconds, const char* what)
        : m_thread([this, milliseconds, what] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_disarmed; })) {
                std::fprintf(stderr, "DEADLOCK: %s did not return within %d ms\n", what, milliseconds);
                std::fflush(stderr);
                std::_Exit(3);
            }
        })
    {
    }
    ~Watchdog()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_disarmed = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    std::thread m_thread;
};

// Points the per-user settings store at an empty temporary folder for the
// life of the object, so tests never touch the user's settings.
class ScopedSettings
{
public:
    ScopedSettings()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Pulsorix"));
        QCoreApplication::setApplicationName(QStringLiteral("VA ROR"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }

private:
    QTemporaryDir m_dir;
};

} // namespace AcqTest
