#pragma once

#include "clinic/TServerAddress.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Renews the edit leases of a session from a thread and a connection of
// its own. The study store's own thread stays off the network while a
// study is being recorded (a server that stops answering would hold the
// recording up), yet a review left open through a long recording keeps
// its lease. A workstation that dies stops renewing, and so does one whose
// windows hang: the leases are renewed only while the store's thread
// beats, and otherwise lapse. Without beats (no study held) the thread
// leaves the server alone, so a server that is away never delays the end.
class TLeaseKeeper
{
public:
    // Beats missed before renewals stop.
    static constexpr int MissedBeats = 3;

    TLeaseKeeper(TServerAddress address, QString session, int intervalMs);
    // Stops the thread; a renewal under way ends first (at worst after the
    // connection's own time limits).
    ~TLeaseKeeper();
    TLeaseKeeper(const TLeaseKeeper&) = delete;
    TLeaseKeeper& operator=(const TLeaseKeeper&) = delete;

    // Called by the store's thread at every interval while it holds
    // leases: it still runs.
    void beat();

private:
    static qint64 nowMs();
    void run();

    const TServerAddress m_address;
    const QString m_session;
    const int m_intervalMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::atomic<qint64> m_lastBeatMs;
    std::thread m_thread;
};
