#include "clinic/TServerStudyStore.h"

#include "storage/TLocalStudyStore.h"
#include "storage/TPrivateFiles.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TStudyFiles.h"
#include "storage/TStudyJson.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSaveFile>
#include <QSqlDriver>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

QString loginName()
{
    for (const char* variable : {"USER", "LOGNAME", "USERNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    return QStringLiteral("unknown");
}

// Who a change on the server is recorded as.
QString changedByName(const QString& workstation)
{
    return QStringLiteral("%1 on %2").arg(loginName(), workstation);
}

QString sessionName()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

[[noreturn]] void unimplemented()
{
    throw std::runtime_error("unimplemented");
}

} // namespace

const TSettingKey TServerStudyStore::KeepLocalDays = {"ClinicServer/KeepLocalDays", QMetaType::Int, 30, 30};
const TSettingKey TServerStudyStore::PrefetchDays = {"ClinicServer/PrefetchDays", QMetaType::Int, 2, 2};

TServerStudyStore::TServerStudyStore(const TServerAddress& address, std::unique_ptr<TLocalStudyStore> local)
    : TServerStudyStore(address, *local, local->studyDataFolder() + QLatin1Char('/') + QLatin1String(CacheFolderName),
                        QSysInfo::machineHostName())
{
    m_ownedLocal = std::move(local);
}

TServerStudyStore::TServerStudyStore(const TServerAddress& address, TLocalStudyStore& local,
                                     const QString& cacheFolder, const QString& workstation)
    : m_local(local), m_cacheFolder(cacheFolder), m_database(address),
      m_archive(m_database, changedByName(workstation).toStdString()),
      m_leases(m_database, sessionName(), workstation, loginName()),
      m_leaseKeeper(address, m_leases.session(), TickMs), m_outbox(local.studyDataFolder()),
      m_prefetcher(address, m_cacheFolder, changedByName(workstation), TSettings::whole(PrefetchDays), CachedStudies,
                   [this] { QMetaObject::invokeMethod(this, [this] { adoptPrefetched(); }, Qt::QueuedConnection); })
{
    if (!TPrivateFiles::makeFolder(m_cacheFolder))
        throw std::runtime_error(QStringLiteral("Cannot create the folder %1").arg(m_cacheFolder).toStdString());
    try {
        goOnline();
        drainOutbox();
        removeOldLocalCopies();
    } catch (const TServerUnreachable&) {
        // Recording goes on; the timer retries.
    }
    connect(&m_tick, &QTimer::timeout, this, &TServerStudyStore::tick);
    m_tick.start(TickMs);
}

TServerStudyStore::~TServerStudyStore()
{
    for (auto& [id, entry] : m_open) {
        if (entry.holder.isEmpty()) {
            try {
                m_leases.release(id);
            } catch (const std::exception&) {
                // The lease lapses by itself.
            }
        }
    }
}

// --- Connection -------------------------------------------------------------------

void TServerStudyStore::goOnline()
{
    m_database.connect();
    QSqlDriver* driver = m_database.database().driver();
    driver->subscribeToNotification(QLatin1String(TServerArchive::Channel));
    connect(driver, QOverload<const QString&, QSqlDriver::NotificationSource, const QVariant&>::of(
                        &QSqlDriver::notification),
            this, &TServerStudyStore::announced, Qt::UniqueConnection);
    // What changed while this workstation was away was never announced to it.
    m_prefetcher.catchUp();
}

// The announcement's payload is the id of the study changed; those of this
// connection's own changes are already here.
void TServerStudyStore::announced(const QString&, QSqlDriver::NotificationSource source, const QVariant& payload)
{
    if (source == QSqlDriver::OtherSource)
        m_prefetcher.request(payload.toInt());
    emit studiesChanged();
}

void TServerStudyStore::holdPrefetch()
{
    m_prefetcher.setHeld(isLocalStudyOpen());
}

// Throws, with the driver's reason, when the server cannot be reached.
void TServerStudyStore::ensureOnline()
{
    if (m_database.isConnected())
        return;
    goOnline();
    // Announcements made while away were lost: listeners read the list anew.
    emit studiesChanged();
    drainOutbox();
}

bool TServerStudyStore::reconnect()
{
    try {
        ensureOnline();
    } catch (const std::exception&) {
        return false;
    }
    return m_database.isConnected();
}

void TServerStudyStore::tick()
{
    if (std::any_of(m_open.begin(), m_open.end(), [](const auto& open) { return open.second.holder.isEmpty(); }))
        m_leaseKeeper.beat();
    // A server that does not answer may hold the thread for seconds:
    // never while a study of the local data folder is open, as one being
    // recorded is.
    if (isLocalStudyOpen() || !reconnect())
        return;
    try {
        if (waitingCount() > 0)
            drainOutbox();
    } catch (const std::exception&) {
        // Away again: the next tick retries.
    }
}

// --- Outbox -----------------------------------------------------------------------

// Fetching ahead waits meanwhile: an upload, a recording's above all,
// should have the link and the cores to itself.
int TServerStudyStore::drainOutbox()
{
    if (!m_outbox.waiting().empty())
        m_prefetcher.setHeld(true);
    int waiting = 0;
    try {
        waiting = uploadOutbox();
    } catch (...) {
        holdPrefetch();
        throw;
    }
    holdPrefetch();
    return waiting;
}

int TServerStudyStore::uploadOutbox()
{
    const std::set<int> waiting = m_outbox.waiting();
    for (const int id : waiting) {
        if (!m_database.isConnected())
            break;
        if (isStudyOpen(id) || m_outbox.isConflict(id))
            continue;  // still recording or reviewed, or waiting for the operator
        TStudyInfo info;
        if (!m_local.getIndexRow(id, info)) {
            m_outbox.forget(id);
            continue;
        }
        try {
            uploadWaiting(info);
        } catch (const TServerUnreachable&) {
            break;
        } catch (const std::exception&) {
            // The study stays waiting, its local copy untouched.
        }
    }
    emit outboxChanged(waitingCount());
    return waitingCount();
}

void TServerStudyStore::uploadWaiting(const TStudyInfo& info)
{
    const QString folder = m_local.studyDataFolder();
    TStudyInfo onServer;
    int revision = 0;
    // One the server holds as it is went up before a crash cut the marking
    // short, or was imported unchanged.
    if (!m_archive.row(info.id, onServer, revision)
        || m_archive.storedChecksums(info.id) != TServerArchive::localChecksums(info.baseFilename, folder)) {
        try {
            revision = m_archive.uploadVerified(info, folder, m_outbox.revision(info.id));
        } catch (const TStaleSave&) {
            m_outbox.markConflict(info.id, m_archive.lastChange(info.id));
            return;
        }
    }
    m_outbox.markArchived(info.id, revision);
}

std::string TServerStudyStore::conflictMessage(int id) const
{
    const auto conflict = m_outbox.conflicts().find(id);
    QString change = conflict != m_outbox.conflicts().end() ? conflict->second : QString();
    if (change.isEmpty())
        change = QStringLiteral("changed");
    return QString::fromLatin1(ConflictMessage).arg(change).toStdString();
}

std::vector<TServerStudyStore::Conflict> TServerStudyStore::conflicts()
{
    if (m_database.isConnected())
        noteDeletedConflicts();
    std::vector<Conflict> found;
    for (const auto& [id, change] : m_outbox.conflicts()) {
        TStudyInfo info;
        if (m_local.getIndexRow(id, info))
            found.push_back({info, conflictMessage(id)});
    }
    return found;
}

// The change that refused a study stays as it was told unless the server
// has deleted the study since: the operator then chooses whether it comes
// back.
void TServerStudyStore::noteDeletedConflicts()
{
    const std::map<int, QString> conflicts = m_outbox.conflicts();
    try {
        for (const auto& [id, change] : conflicts) {
            TStudyInfo onServer;
            int revision = 0;
            if (!m_archive.row(id, onServer, revision)) {
                const QString deleted = m_archive.lastChange(id);
                if (!deleted.isEmpty() && deleted != change)
                    m_outbox.markConflict(id, deleted);
            }
        }
    } catch (const TServerUnreachable&) {
        // Told as last known; the next look reads it anew.
    }
}

void TServerStudyStore::resolveConflict(int id, bool replaceOnServer)
{
    if (!m_outbox.isConflict(id))
        return;
    if (replaceOnServer) {
        ensureOnline();
        TStudyInfo onServer;
        int revision = 0;  // stays 0 when it was deleted there
        m_archive.row(id, onServer, revision);
        m_outbox.add(id, revision);
        drainOutbox();
        return;
    }
    m_local.deleteStudy(id);
    m_outbox.forget(id);
    emit outboxChanged(waitingCount());
}

// The local copy of an archived study goes only once the server is seen to
// hold its recording byte for byte (the study file there may have changed
// since, by reviews elsewhere, which only the server's copy carries).
void TServerStudyStore::removeOldLocalCopies()
{
    const int days = TSettings::whole(KeepLocalDays);
    if (days <= 0)
        return;
    const QString folder = m_local.studyDataFolder();
    const QDateTime before = QDateTime::currentDateTime().addDays(-days);
    std::vector<std::pair<QDateTime, TStudyInfo>> old;
    for (const int id : m_outbox.archived()) {
        TStudyInfo info;
        if (m_local.isStudyOpen(id) || !m_local.getIndexRow(id, info))
            continue;
        const QDateTime changed = QFileInfo(QStringLiteral("%1/%2.%3").arg(folder, TStudyJson::toQString(info.baseFilename),
                                                                        QLatin1String(TStudyFiles::StudyExtension)))
                                      .lastModified();
        if (changed.isValid() && changed < before)
            old.emplace_back(changed, info);
    }
    std::sort(old.begin(), old.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    old.resize(std::min(old.size(), size_t(LocalCopiesCheckedPerStart)));
    for (const auto& [changed, info] : old) {
        try {
            m_archive.verifyRecording(info, folder);
        } catch (const TServerUnreachable&) {
            throw;
        } catch (const std::exception&) {
            continue;  // not intact there: this copy may be the only one
        }
        m_local.deleteStudy(info.id);
        m_outbox.forget(info.id);
    }
}

// A study in conflict is listed and opened as the server holds it.
bool TServerStudyStore::isLocalStudy(int id) const
{
    return m_outbox.isWaiting(id) && !m_outbox.isConflict(id);
}

bool TServerStudyStore::isLocalStudyOpen() const
{
    const std::set<int>& waiting = m_outbox.waiting();
    return std::any_of(waiting.begin(), waiting.end(), [this](int id) { return m_local.isStudyOpen(id); });
}

// --- Studies ----------------------------------------------------------------------

std::unique_ptr<TStudy> TServerStudyStore::loadStudyFile(const std::string& path)
{
    return m_local.loadStudyFile(path);
}

void TServerStudyStore::saveStudyFile(const TStudy& study, const std::string& path)
{
    m_local.saveStudyFile(study, path);
}

std::vector<TStudyInfo> TServerStudyStore::listStudies()
{
    ensureOnline();
    std::vector<TStudyInfo> rows = m_archive.list();
    // A waiting study is listed once, as the local copy it opens.
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](const TStudyInfo& row) { return isLocalStudy(row.id); }),
               rows.end());
    for (const int id : m_outbox.waiting()) {
        TStudyInfo info;
        if (isLocalStudy(id) && m_local.getIndexRow(id, info))
            rows.push_back(info);
    }
    return rows;
}

TStudy* TServerStudyStore::createStudy(TStudyInfo& info)
{
    TStudy* study = m_local.createStudy(info);
    try {
        m_outbox.add(info.id, 0);
    } catch (...) {
        // A study the outbox does not know would never reach the server.
        m_local.closeStudy(study);
        m_local.deleteStudy(info.id);
        throw;
    }
    holdPrefetch();
    emit outboxChanged(waitingCount());
    return study;
}

QString TServerStudyStore::cacheFolder(int id) const
{
    return QStringLiteral("%1/%2").arg(m_cacheFolder).arg(id);
}

TStudy* TServerStudyStore::openStudy(int id)
{
    // A review whose save was kept here stays open as it was fetched.
    const auto open = m_open.find(id);
    if (open != m_open.end())
        return open->second.study.get();
    if (isLocalStudy(id)) {
        TStudy* study = m_local.openStudy(id);
        holdPrefetch();
        return study;
    }
    ensureOnline();
    adoptPrefetched();
    return fetch(id);
}

int TServerStudyStore::cachedRevision(int id) const
{
    return TStudyPrefetcher::revisionOf(cacheFolder(id));
}

// A folder swapped in whole: the study's folder holds one revision or the
// other, never files of both. A newer revision saved here meanwhile stays.
void TServerStudyStore::adoptPrefetched()
{
    for (const TStudyPrefetcher::Fetched& fetched : m_prefetcher.takeFetched()) {
        const int id = fetched.id;
        if (m_open.count(id) == 0 && !isLocalStudy(id) && cachedRevision(id) < fetched.revision) {
            const QString folder = cacheFolder(id);
            const QString old = fetched.folder + QStringLiteral(".old");
            if (!QFileInfo::exists(folder) || QDir().rename(folder, old))
                QDir().rename(fetched.folder, folder);
            QDir(old).removeRecursively();
        }
        QDir(fetched.folder).removeRecursively();
    }
    pruneCache();
}

// Written once the folder's files are those of the revision; removed
// before they change.
void TServerStudyStore::setCachedRevision(int id, int revision) const
{
    const QString path = cacheFolder(id) + QLatin1Char('/') + QLatin1String(RevisionFileName);
    if (revision == 0) {
        if (QFile::exists(path) && !QFile::remove(path))
            throw std::runtime_error("Write error");
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(revision)) < 0 || !file.commit())
        throw std::runtime_error("Write error");
}

// The studies closed longest ago leave the cache, and so do folders
// without a revision (a fetch or a save cut short), unless open.
void TServerStudyStore::pruneCache() const
{
    std::vector<std::pair<QDateTime, QString>> closed;
    for (const QFileInfo& folder : QDir(m_cacheFolder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (m_open.count(folder.fileName().toInt()) != 0)
            continue;
        const QFileInfo marker(folder.filePath() + QLatin1Char('/') + QLatin1String(RevisionFileName));
        if (marker.exists())
            closed.emplace_back(marker.lastModified(), folder.filePath());
        else
            QDir(folder.filePath()).removeRecursively();
    }
    std::sort(closed.begin(), closed.end(), std::greater<>());
    for (size_t i = CachedStudies; i < closed.size(); ++i)
        QDir(closed[i].second).removeRecursively();
}

TStudy* TServerStudyStore::fetch(int id)
{
    const QString folder = cacheFolder(id);
    if (!TPrivateFiles::makeFolder(folder))
        throw std::runtime_error("Cannot create file");
    TStudyInfo info;
    OpenStudy entry;
    const int cached = cachedRevision(id);
    if (!m_archive.download(id, folder, info, entry.revision, cached))
        return nullptr;
    if (entry.revision != cached)
        setCachedRevision(id, entry.revision);
    entry.study = TStudyFiles::loadStudyFile(
        QStringLiteral("%1/%2.%3").arg(folder, TStudyJson::toQString(info.baseFilename),
                                       QLatin1String(TStudyFiles::StudyExtension)));
    if (!entry.study && cached == entry.revision) {
        // The cached copy was damaged: fetched anew.
        setCachedRevision(id, 0);
        return fetch(id);
    }
    if (!entry.study)
        return nullptr;
    entry.study->setId(id);
    entry.holder = m_leases.acquire(id);
    TStudy* study = entry.study.get();
    m_open[id] = std::move(entry);
    return study;
}

TServerStudyStore::OpenStudy* TServerStudyStore::entryOf(const TStudy* study)
{
    if (study == nullptr)
        return nullptr;
    const auto open = m_open.find(study->id());
    return open != m_open.end() && open->second.study.get() == study ? &open->second : nullptr;
}

void TServerStudyStore::saveStudy(TStudy* study)
{
    OpenStudy* entry = entryOf(study);
    if (entry == nullptr) {
        if (study != nullptr && isLocalStudy(study->id()))
            m_local.saveStudy(study);
        return;
    }
    const int id = study->id();
    const TStudyInfo info = studyInfoOf(*study);
    // A study opened read-only is saved once its holder has let it go.
    if (!entry->holder.isEmpty()) {
        ensureOnline();
        entry->holder = m_leases.acquire(id);
        if (!entry->holder.isEmpty())
            throw std::runtime_error(QString::fromLatin1(ReadOnlyMessage).arg(entry->holder).toStdString());
    }
    // Written into the cache folder first: whatever the server answers,
    // the edits are on this workstation's disk.
    setCachedRevision(id, 0);
    TStudyFiles::saveStudyFile(*study, QStringLiteral("%1/%2.%3").arg(cacheFolder(id), TStudyJson::toQString(info.baseFilename),
                                                                      QLatin1String(TStudyFiles::StudyExtension)));
    try {
        ensureOnline();
        // Saved only under the lease, taken again now: one that lapsed
        // (the workstation slept) may have passed to another workstation.
        const QString holder = m_leases.acquire(id);
        if (!holder.isEmpty())
            keepHere(*entry, info, QString::fromLatin1(TakenOverChange).arg(holder));
        entry->revision = m_archive.uploadVerified(info, cacheFolder(id), entry->revision);
    } catch (const TStaleSave&) {
        QString change;
        try {
            change = m_archive.lastChange(id);
        } catch (const TServerUnreachable&) {
            change = QStringLiteral("changed");
        }
        keepHere(*entry, info, change);
    } catch (const TServerUnreachable&) {
        keepHere(*entry, info, QString());
    }
    setCachedRevision(id, entry->revision);
    // The copy an earlier save of this review kept here is now the
    // server's revision.
    if (std::exchange(entry->keptHere, false) && m_outbox.isWaiting(id)) {
        copyToLocal(id, info);
        m_outbox.markArchived(id, entry->revision);
        emit outboxChanged(waitingCount());
    }
}

void TServerStudyStore::copyToLocal(int id, const TStudyInfo& info)
{
    QTemporaryDir work(m_cacheFolder + QStringLiteral("/.keep-XXXXXX"));
    if (!work.isValid())
        throw std::runtime_error("Cannot create file");
    TLocalStudyStore::writeArchive(info, cacheFolder(id), work.path().toLocal8Bit().toStdString());
    m_local.importStudyReplacing(QStringLiteral("%1/%2.%3")
                                     .arg(work.path(), TStudyJson::toQString(info.baseFilename),
                                          QLatin1String(TLocalStudyStore::ArchiveExtension))
                                     .toLocal8Bit()
                                     .toStdString());
}

void TServerStudyStore::keepHere(OpenStudy& entry, const TStudyInfo& info, const QString& change)
{
    const int id = entry.study->id();
    copyToLocal(id, info);
    entry.keptHere = true;
    m_outbox.add(id, entry.revision);
    if (!change.isEmpty())
        m_outbox.markConflict(id, change);
    emit outboxChanged(waitingCount());
    throw TKeptHere(change.isEmpty() ? std::string(KeptWaitingMessage) : conflictMessage(id));
}

void TServerStudyStore::closeStudy(TStudy* study)
{
    OpenStudy* entry = entryOf(study);
    if (entry == nullptr) {
        if (study != nullptr && isLocalStudy(study->id())) {
            // A study left without a recording is about to be deleted (or
            // is removed at the next start): it does not go up.
            const bool recorded = study->ecgFile() != nullptr && study->ecgFile()->sampleCount() > 0;
            m_local.closeStudy(study);
            holdPrefetch();
            if (recorded)
                drainOutbox();
        }
        return;
    }
    const int id = study->id();
    if (entry->holder.isEmpty() && m_database.isConnected()) {
        try {
            m_leases.release(id);
        } catch (const std::exception&) {
            // The lease lapses by itself.
        }
    }
    m_open.erase(id);
    // The time of its revision file marks it the most recently closed.
    QFile marker(cacheFolder(id) + QLatin1Char('/') + QLatin1String(RevisionFileName));
    if (marker.open(QIODevice::ReadWrite))
        marker.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    marker.close();
    pruneCache();
}

void TServerStudyStore::deleteStudy(int id)
{
    if (isStudyOpen(id))
        return;
    if (isLocalStudy(id)) {
        m_local.deleteStudy(id);
        m_outbox.forget(id);
        emit outboxChanged(waitingCount());
        return;
    }
    ensureOnline();
    const QString holder = m_leases.acquire(id);
    if (!holder.isEmpty())
        throw std::runtime_error(QString::fromLatin1(HeldMessage).arg(holder).toStdString());
    m_archive.remove(id);
    // The local copy of a study recorded here goes with it.
    if (m_outbox.isArchived(id)) {
        m_local.deleteStudy(id);
        m_outbox.forget(id);
    }
    QDir(cacheFolder(id)).removeRecursively();
}

bool TServerStudyStore::isStudyOpen(int id)
{
    return m_open.count(id) != 0 || m_local.isStudyOpen(id);
}

TStudyInfo TServerStudyStore::getStudyInfo(const TStudy& study)
{
    return studyInfoOf(study);
}

void TServerStudyStore::setStudyInfo(TStudy& study, const TStudyInfo& info)
{
    applyStudyInfo(study, info);
}

std::string TServerStudyStore::editLockHolder(const TStudy& study) const
{
    const auto open = m_open.find(study.id());
    if (open == m_open.end() || open->second.study.get() != &study)
        return {};
    return open->second.holder.toStdString();
}

// --- Archives and the local data folder ---------------------------------------------

void TServerStudyStore::exportStudy(int id, const std::string& folder)
{
    if (isLocalStudy(id)) {
        m_local.exportStudy(id, folder);
        return;
    }
    ensureOnline();
    const QString cache = cacheFolder(id);
    if (!TPrivateFiles::makeFolder(cache))
        throw std::runtime_error("Cannot create file");
    TStudyInfo info;
    int revision = 0;
    const int cached = cachedRevision(id);
    if (!m_archive.download(id, cache, info, revision, cached))
        return;
    if (revision != cached)
        setCachedRevision(id, revision);
    TLocalStudyStore::writeArchive(info, cache, folder);
}

int TServerStudyStore::importStudy(const std::string& archivePath)
{
    return importArchive(archivePath, false);
}

int TServerStudyStore::importStudyReplacing(const std::string& archivePath)
{
    return importArchive(archivePath, true);
}

// The imported copy goes up over the revision the local copy of the study
// went up as (none for a study new here): the server's version is never
// replaced by an archive older than it. An archive that leaves an archived
// local copy as it was brings nothing to upload.
int TServerStudyStore::importArchive(const std::string& archivePath, bool replacing)
{
    const QString folder = m_local.studyDataFolder();
    TStudyInfo archived;
    TServerArchive::Checksums before;
    try {
        if (m_local.readArchiveInfo(archivePath, archived))
            before = TServerArchive::localChecksums(archived.baseFilename, folder);
    } catch (const std::exception&) {
        // No local copy yet: the import decides.
    }
    const int id = replacing ? m_local.importStudyReplacing(archivePath) : m_local.importStudy(archivePath);
    if (!before.empty() && m_outbox.isArchived(id)
        && before == TServerArchive::localChecksums(archived.baseFilename, folder))
        return id;
    m_outbox.add(id, m_outbox.revision(id));
    drainOutbox();
    if (m_outbox.isConflict(id))
        throw TKeptHere(conflictMessage(id));
    return id;
}

bool TServerStudyStore::readArchiveInfo(const std::string& archivePath, TStudyInfo& info)
{
    return m_local.readArchiveInfo(archivePath, info);
}

std::vector<TStudyStore::ArchiveEntry> TServerStudyStore::listArchives(const std::string& folder)
{
    return m_local.listArchives(folder);
}

std::string TServerStudyStore::dataPath()
{
    return m_local.dataPath();
}

bool TServerStudyStore::hasFreeSpace()
{
    return m_local.hasFreeSpace();
}

std::vector<TStudyInfo> TServerStudyStore::interruptedRecordings() const
{
    return m_local.interruptedRecordings();
}

void TServerStudyStore::reserved12() { unimplemented(); }
void TServerStudyStore::reserved13() { unimplemented(); }
void TServerStudyStore::reserved14() { unimplemented(); }
void TServerStudyStore::reserved15() { unimplemented(); }
void TServerStudyStore::reserved16() { unimplemented(); }
void TServerStudyStore::reserved17() { unimplemented(); }
void TServerStudyStore::reserved18() { unimplemented(); }
void TServerStudyStore::reserved19() { unimplemented(); }
void TServerStudyStore::reserved20() { unimplemented(); }
void TServerStudyStore::reserved21() { unimplemented(); }
void TServerStudyStore::reserved23() { unimplemented(); }
void TServerStudyStore::reserved27() { unimplemented(); }
