#include "clinic/TStudyPrefetcher.h"

#include "clinic/TServerArchive.h"
#include "clinic/TServerDatabase.h"
#include "storage/TPrivateFiles.h"
#include "storage/TStudyInfo.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// Thrown from a download to stop it: the workstation records or uploads,
// or the program ends.
struct Interrupted
{
};

} // namespace

TStudyPrefetcher::TStudyPrefetcher(TServerAddress address, QString cacheFolder, QString changedBy, int days,
                                   int maxStudies, std::function<void()> fetched)
    : m_address(std::move(address)), m_cacheFolder(std::move(cacheFolder)), m_changedBy(std::move(changedBy)),
      m_days(days), m_maxStudies(size_t(std::max(maxStudies, 1))), m_fetched(std::move(fetched))
{
    // Downloads a crash cut short are of no use.
    const QString staging = m_cacheFolder + QLatin1Char('/') + QLatin1String(StagingFolderName);
    QDir(staging).removeRecursively();
    if (m_days > 0 && TPrivateFiles::makeFolder(staging))
        m_thread = std::thread(&TStudyPrefetcher::run, this);
}

TStudyPrefetcher::~TStudyPrefetcher()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    for (const Fetched& fetched : m_done)
        QDir(fetched.folder).removeRecursively();
}

int TStudyPrefetcher::revisionOf(const QString& folder)
{
    QFile file(folder + QLatin1Char('/') + QLatin1String(RevisionFileName));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : 0;
}

void TStudyPrefetcher::request(int id)
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        queue(id);
    }
    m_wake.notify_all();
}

void TStudyPrefetcher::catchUp()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_catchUp = true;
    }
    m_wake.notify_all();
}

void TStudyPrefetcher::setHeld(bool held)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_held = held;
    }
    m_wake.notify_all();
}

std::vector<TStudyPrefetcher::Fetched> TStudyPrefetcher::takeFetched()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_done, {});
}

// Under the lock. The latest changes are the likeliest to be reviewed:
// beyond what the cache keeps, the oldest requests go.
void TStudyPrefetcher::queue(int id)
{
    m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), id), m_queue.end());
    m_queue.push_back(id);
    while (m_queue.size() > m_maxStudies)
        m_queue.pop_front();
}

void TStudyPrefetcher::run()
{
    const std::unique_ptr<TServerDatabase> made = TServerDatabase::forThisThread(m_address);
    if (!made)
        return;
    TServerDatabase& database = *made;
    TServerArchive archive(database, std::string());
    archive.setChunkObserver([this] {
        if (m_held || m_stopping)
            throw Interrupted();
    });
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || (!m_held && (m_catchUp || !m_queue.empty())); });
        if (m_stopping)
            return;
        const bool catchUp = std::exchange(m_catchUp, false);
        const int id = catchUp ? 0 : m_queue.front();
        if (!catchUp)
            m_queue.pop_front();
        lock.unlock();
        try {
            if (!database.isConnected())
                database.connect();
            if (catchUp)
                queueRecent(database);
            else
                fetch(database, archive, id);
        } catch (const Interrupted&) {
            lock.lock();
            if (!catchUp && std::find(m_queue.begin(), m_queue.end(), id) == m_queue.end())
                m_queue.push_front(id);
            continue;
        } catch (const std::exception&) {
            // The server away or the study damaged there: opening it
            // fetches it and says so. Nothing here is lost.
        }
        lock.lock();
    }
}

void TStudyPrefetcher::queueRecent(TServerDatabase& database)
{
    QSqlQuery recent = database.exec(QStringLiteral("select id from study where changed_at > now() - make_interval(days => ?) "
                                                    "and changed_by <> ? order by changed_at desc limit ?"),
                                     {m_days, m_changedBy, int(m_maxStudies)});
    std::vector<int> ids;
    while (recent.next())
        ids.push_back(recent.value(0).toInt());
    const std::lock_guard<std::mutex> lock(m_mutex);
    // Oldest first, so that the latest are fetched first.
    for (auto id = ids.rbegin(); id != ids.rend(); ++id)
        queue(*id);
}

void TStudyPrefetcher::fetch(TServerDatabase& database, TServerArchive& archive, int id)
{
    QSqlQuery row = database.exec(QStringLiteral("select s.revision, coalesce(sum(f.size), 0) from study s "
                                                 "left join study_file f on f.study_id = s.id where s.id = ? "
                                                 "and s.changed_at > now() - make_interval(days => ?) group by s.id"),
                                  {id, m_days});
    if (!row.next())
        return;
    const int revision = row.value(0).toInt();
    if (revisionOf(QStringLiteral("%1/%2").arg(m_cacheFolder).arg(id)) >= revision || !hasRoomFor(row.value(1).toLongLong()))
        return;
    QTemporaryDir staging(QStringLiteral("%1/%2/%3-XXXXXX").arg(m_cacheFolder, QLatin1String(StagingFolderName)).arg(id));
    if (!staging.isValid())
        return;
    TStudyInfo info;
    Fetched fetched{id, 0, staging.path()};
    if (!archive.download(id, staging.path(), info, fetched.revision))
        return;
    QSaveFile marker(staging.path() + QLatin1Char('/') + QLatin1String(RevisionFileName));
    if (!marker.open(QIODevice::WriteOnly) || marker.write(QByteArray::number(fetched.revision)) < 0 || !marker.commit())
        return;
    staging.setAutoRemove(false);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_done.push_back(fetched);
    }
    m_fetched();
}

bool TStudyPrefetcher::hasRoomFor(qint64 bytes) const
{
    const QStorageInfo storage(m_cacheFolder);
    return storage.isValid() && storage.bytesAvailable() - bytes >= MinimumFreeBytes;
}
