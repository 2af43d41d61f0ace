#pragma once

#include "clinic/TLeaseKeeper.h"
#include "clinic/TServerArchive.h"
#include "clinic/TServerDatabase.h"
#include "clinic/TServerLeases.h"
#include "clinic/TStudyOutbox.h"
#include "clinic/TStudyPrefetcher.h"
#include "settings/TSettings.h"
#include "storage/TStudyStore.h"

#include <QObject>
#include <QSqlDriver>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <stdexcept>

class TLocalStudyStore;

// A save or an import the clinic server did not take, whose study is kept
// on this workstation instead (in the outbox, in conflict or waiting for
// the server): nothing was lost. The message says so.
class TKeptHere : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The study store of a clinic whose studies live on its server, shared by
// every workstation. Recording never depends on the network: new studies (and
// imported ones) are made in the local data folder and wait in the outbox;
// once closed they go up in one transaction, are verified, and are marked
// archived locally; the local copy stays until it has not changed for
// KeepLocalDays and the server is found, at a start, to hold its recording
// intact. An upload goes over the revision its local copy started from: one
// the server has changed or deleted since (an archive imported over a study
// edited elsewhere) is refused and kept here in conflict until the operator
// chooses which version stays. Studies on the server are fetched into a cache
// folder when opened, under an edit lease: while another workstation holds it
// they open read-only and a save is refused with the holder named. A save
// names the revision it started from, so a save over a newer one, or one whose
// lease passed to another workstation, is refused and kept here in conflict,
// as is a save the server could not be reached for (waiting), so a review's
// edits are never lost. Changes announced by other workstations emit
// studiesChanged at once; after a reconnection it is emitted too, as
// announcements made meanwhile are lost. The studies changed lately by other
// workstations are fetched into the cache folder ahead of their review
// (TStudyPrefetcher), so that the first opening reads nothing more from the
// server while it holds the same revision. The leases are renewed in the
// background (TLeaseKeeper); a timer retries the connection while the
// server is away.
class TServerStudyStore : public QObject, public TStudyStore
{
    Q_OBJECT

public:
    static constexpr const char* ReadOnlyMessage = "This study is open for editing by %1; your changes were not saved";
    static constexpr const char* HeldMessage = "This study is open for editing by %1";
    static constexpr const char* CacheFolderName = "clinic-cache";
    static constexpr int TickMs = 5000;
    // Studies kept in the cache folder once closed, the most recently
    // closed first: opening one again fetches nothing while the server
    // holds the same revision.
    static constexpr int CachedStudies = 20;
    static constexpr const char* RevisionFileName = TStudyPrefetcher::RevisionFileName;
    // Days since another workstation changed a study within which it is
    // fetched ahead of its review (0: never).
    static const TSettingKey PrefetchDays;
    // Days an archived study's local copy stays unchanged before it may go
    // (0: kept for ever).
    static const TSettingKey KeepLocalDays;
    // Each check reads a whole recording back from the server: a start
    // checks at most this many, the oldest first.
    static constexpr int LocalCopiesCheckedPerStart = 20;
    // %1: the server's change, "changed by <who> at <when>".
    static constexpr const char* ConflictMessage =
        "The clinic server's copy of this study was %1, after this copy was made: "
        "this copy is kept on this workstation and was not uploaded";
    // The change that refuses a save whose lease lapsed and was taken;
    // %1: "<user> on <workstation>".
    static constexpr const char* TakenOverChange = "taken for editing by %1";
    static constexpr const char* KeptWaitingMessage =
        "The clinic server cannot be reached: your changes are kept on this workstation "
        "and go up when it answers";

    // A local copy the server refused, with the reason.
    struct Conflict
    {
        TStudyInfo info;
        std::string message;
    };

    // Owns the local store; the cache folder lies in its data folder.
    TServerStudyStore(const TServerAddress& address, std::unique_ptr<TLocalStudyStore> local);
    // Uses a local store it does not own, with its own cache folder and
    // workstation name (several stores in one process).
    TServerStudyStore(const TServerAddress& address, TLocalStudyStore& local, const QString& cacheFolder,
                      const QString& workstation);
    ~TServerStudyStore() override;

    std::unique_ptr<TStudy> loadStudyFile(const std::string& path) override;
    void saveStudyFile(const TStudy& study, const std::string& path) override;
    std::vector<TStudyInfo> listStudies() override;
    TStudy* createStudy(TStudyInfo& info) override;
    TStudy* openStudy(int id) override;
    void saveStudy(TStudy* study) override;
    void closeStudy(TStudy* study) override;
    void deleteStudy(int id) override;
    bool isStudyOpen(int id) override;
    TStudyInfo getStudyInfo(const TStudy& study) override;
    void setStudyInfo(TStudy& study, const TStudyInfo& info) override;
    void reserved12() override;
    void reserved13() override;
    void reserved14() override;
    void reserved15() override;
    void reserved16() override;
    void reserved17() override;
    void reserved18() override;
    void reserved19() override;
    void reserved20() override;
    void reserved21() override;
    void exportStudy(int id, const std::string& folder) override;
    void reserved23() override;
    int importStudy(const std::string& archivePath) override;
    bool readArchiveInfo(const std::string& archivePath, TStudyInfo& info) override;
    std::vector<ArchiveEntry> listArchives(const std::string& folder) override;
    void reserved27() override;
    std::string dataPath() override;
    bool hasFreeSpace() override;
    int importStudyReplacing(const std::string& archivePath) override;
    std::vector<TStudyInfo> interruptedRecordings() const override;
    std::string editLockHolder(const TStudy& study) const override;

    bool isConnected() const { return m_database.isConnected(); }
    // Connects when away; then announces a catch-up and drains the outbox.
    bool reconnect();
    // Uploads the waiting studies that are not open; answers how many
    // still wait.
    int drainOutbox();
    int waitingCount() const { return int(m_outbox.waiting().size()); }
    // Read anew from the server when connected: a study deleted there
    // since its conflict arose says so.
    std::vector<Conflict> conflicts();
    // Of the waiting studies, those in conflict.
    int conflictCount() const { return int(m_outbox.conflicts().size()); }
    // The operator's choice for a study in conflict: this copy goes up over
    // the server's version as it is now, or it is removed and the server's
    // version stays.
    void resolveConflict(int id, bool replaceOnServer);
    TServerArchive& archive() { return m_archive; }
    // The revision the cache folder of a study holds, 0 for none.
    int cachedRevision(int id) const;
    TLocalStudyStore& localStore() { return m_local; }

signals:
    void studiesChanged();
    void outboxChanged(int waiting);

private:
    struct OpenStudy
    {
        std::unique_ptr<TStudy> study;
        int revision = 0;
        QString holder;  // empty while this store holds the lease
        bool keptHere = false;  // a save of it was kept on this workstation
    };

    void goOnline();
    void announced(const QString& channel, QSqlDriver::NotificationSource source, const QVariant& payload);
    // Prefetching waits while a study of the local data folder is open (one
    // being recorded) or studies go up.
    void holdPrefetch();
    // The folders the prefetcher has finished replace older revisions of
    // the cache, unless open.
    void adoptPrefetched();
    int uploadOutbox();
    void ensureOnline();
    void tick();
    void uploadWaiting(const TStudyInfo& info);
    void removeOldLocalCopies();
    int importArchive(const std::string& archivePath, bool replacing);
    // The open study as saved into its cache folder becomes the local copy,
    // waiting to go up over the revision it was opened as; in conflict
    // with `change` unless that is empty. Throws TKeptHere saying so.
    [[noreturn]] void keepHere(OpenStudy& entry, const TStudyInfo& info, const QString& change);
    // The study files of the cache folder replace the local copy.
    void copyToLocal(int id, const TStudyInfo& info);
    std::string conflictMessage(int id) const;
    void noteDeletedConflicts();
    bool isLocalStudy(int id) const;
    bool isLocalStudyOpen() const;
    OpenStudy* entryOf(const TStudy* study);
    QString cacheFolder(int id) const;
    TStudy* fetch(int id);
    void setCachedRevision(int id, int revision) const;
    void pruneCache() const;

    std::unique_ptr<TLocalStudyStore> m_ownedLocal;
    TLocalStudyStore& m_local;
    QString m_cacheFolder;
    TServerDatabase m_database;
    TServerArchive m_archive;
    TServerLeases m_leases;
    TLeaseKeeper m_leaseKeeper;
    TStudyOutbox m_outbox;
    std::map<int, OpenStudy> m_open;
    QTimer m_tick;
    // Last: its thread ends before the rest goes.
    TStudyPrefetcher m_prefetcher;
};
