#pragma once

#include "formats/TDicomEcgExport.h"

#include <QDateTime>
#include <QMutex>
#include <QString>

#include <vector>

struct TDicomPeer;

// The durable queue of studies to send to the hospital's archive, in a
// folder of the data folder: one folder per study holding the DICOM
// objects of the version to send and a small state file, written before
// anything is sent. A study is never lost to an unreachable archive: its
// send is retried with back-off (also after a restart, the state being on
// disk) until it goes through or the archive refuses it, and the state
// tells the operator where it stands. A version is the objects' instance
// UIDs (made from their content): a study queued again unchanged is not
// sent twice, a changed one is queued as a new version (superseding an
// unsent older one).
//
// Thread-safe: the windows queue and read while a worker thread sends.
class TPacsOutbox
{
public:
    enum class State { NotSent, Queued, Sent, Failed };
    struct Status
    {
        State state = State::NotSent;
        QString version;
        int attempts = 0;      // failed attempts of this version
        QDateTime nextAttempt; // while queued
        QDateTime sentAt;      // once sent
        QString reason;        // why the last attempt failed
    };

    explicit TPacsOutbox(const QString& folder);
    // The outbox folder of a data folder.
    static QString folderIn(const QString& dataFolder);

    // Queues the objects (the ECG first) unless this version is queued or
    // sent already; true when queued anew. A version still queued is made
    // due at `now`. Throws std::runtime_error when the files cannot be
    // written.
    bool enqueue(int studyId, const std::vector<TDicomEcgExport::Object>& objects, const QDateTime& now);
    Status status(int studyId) const;

    // Sends every queued study whose attempt is due; answers how many were
    // sent. An unreachable archive reschedules it (retryDelaySeconds), a
    // refusal marks it failed with the archive's reason; with no archive
    // configured it stays queued with that reason, without an attempt.
    int sendDue(const TDicomPeer& peer, const QDateTime& now);
    // The earliest next attempt of a queued study; invalid when none.
    QDateTime nextAttempt() const;

    // 30 s after the first failed attempt, doubled after each further one,
    // at most an hour.
    static qint64 retryDelaySeconds(int attempts);
    static QString stateText(const Status& status);

private:
    static Status attempt(const TDicomPeer& peer, const Status& status, const QStringList& files, const QDateTime& now);
    QString studyFolder(int studyId) const;
    Status readStatus(int studyId) const;
    void writeStatus(int studyId, const Status& status) const;
    QStringList versionFiles(int studyId, const QString& version) const;
    // Removes the object files of every version but `keep`.
    void removeOtherVersions(int studyId, const QString& keep) const;
    std::vector<int> studies() const;

    QString m_folder;
    mutable QMutex m_mutex;
};
