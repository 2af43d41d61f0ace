#pragma once

#include "clinic/TServerAddress.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TServerArchive;
class TServerDatabase;

// Keeps the studies a workstation is likely to review already in its cache
// folder: those other workstations added or changed lately, as the study
// list learns of them (an announcement, or the catch-up after a
// connection, since announcements made meanwhile are lost). Each is
// downloaded from a thread and a connection of its own, every file checked
// against its checksum as an opening checks it, into a staging folder with
// its revision file; the store's thread then puts the folder in place, so
// the cache folders change only on the thread that opens and saves studies.
// Bounded by the days since the change, by the number of studies the cache
// keeps, and by the free disk space; held while this workstation records or
// uploads, which must not share the link and the cores with it (a download
// under way stops at its next chunk and starts again once released).
class TStudyPrefetcher
{
public:
    static constexpr const char* RevisionFileName = "revision";
    static constexpr const char* StagingFolderName = ".prefetch";
    // A day's recording (14 leads of 16 bits at 1000 Hz, 2.4 GB) still fits
    // after a prefetch: the cache never takes the room recording needs.
    static constexpr qint64 MinimumFreeBytes = 3LL * 1024 * 1024 * 1024;

    // A study downloaded whole into `folder` as `revision`.
    struct Fetched
    {
        int id = 0;
        int revision = 0;
        QString folder;
    };

    // Studies changed within `days` (none when 0) by others than
    // `changedBy`, at most `maxStudies` queued; `fetched` is called from
    // the thread after each download, to have the store's thread take it.
    TStudyPrefetcher(TServerAddress address, QString cacheFolder, QString changedBy, int days, int maxStudies,
                     std::function<void()> fetched);
    // Stops the thread; a download under way stops at its next chunk.
    ~TStudyPrefetcher();
    TStudyPrefetcher(const TStudyPrefetcher&) = delete;
    TStudyPrefetcher& operator=(const TStudyPrefetcher&) = delete;

    // A study announced as changed by another workstation.
    void request(int id);
    // Every study changed lately by another workstation.
    void catchUp();
    void setHeld(bool held);
    // The downloads finished since the last call; their folders are the
    // caller's.
    std::vector<Fetched> takeFetched();

    // The revision a study folder of the cache holds, 0 for none.
    static int revisionOf(const QString& folder);

private:
    void run();
    void queue(int id);
    void queueRecent(TServerDatabase& database);
    void fetch(TServerDatabase& database, TServerArchive& archive, int id);
    bool hasRoomFor(qint64 bytes) const;

    const TServerAddress m_address;
    const QString m_cacheFolder;
    const QString m_changedBy;
    const int m_days;
    const size_t m_maxStudies;
    const std::function<void()> m_fetched;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<int> m_queue;
    bool m_catchUp = false;
    std::vector<Fetched> m_done;
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
