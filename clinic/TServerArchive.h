#pragma once

#include "storage/TStudyInfo.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

class TServerDatabase;

// A save that started from an older revision than the server's.
class TStaleSave : public std::runtime_error
{
public:
    static constexpr const char* Message =
        "This study was changed on another workstation since it was opened here; your changes were not saved";
    TStaleSave() : std::runtime_error(Message) {}
};

// The studies on the clinic server: the index rows with their revisions,
// and the three study files of each, stored in chunks with a SHA-256 per
// file. An upload writes the row, the files and the change record in one
// transaction and announces it (NOTIFY), so other workstations never see
// half a study; uploadVerified then reads the checksums the server
// computes from the stored chunks back and compares them with the local
// files'.
class TServerArchive
{
public:
    static constexpr const char* Channel = "varor_studies";
    static constexpr int ChunkBytes = 1024 * 1024;
    static constexpr const char* MismatchMessage = "The study on the clinic server differs from the local copy";
    static constexpr const char* DamagedMessage = "A study file on the clinic server is damaged";
    static constexpr const char* MissingFileMessage = "A file of the study is missing";
    // Called after every chunk written or read (uploads report progress
    // through it; a throw stops the transfer, which leaves nothing behind).
    using ChunkObserver = std::function<void()>;
    // File extension -> lower-case hex SHA-256.
    using Checksums = std::map<std::string, std::string>;

    TServerArchive(TServerDatabase& database, std::string changedBy);

    std::vector<TStudyInfo> list();
    // The row of an id with its revision; false without one.
    bool row(int id, TStudyInfo& info, int& revision);
    // Uploads the study files "<folder>/<info.baseFilename>.<ext>" as the
    // revision after `baseRevision` (0: a study new to the server); throws
    // TStaleSave when the server holds another revision. Answers the new
    // revision.
    int upload(const TStudyInfo& info, const QString& folder, int baseRevision);
    // The same, then verify.
    int uploadVerified(const TStudyInfo& info, const QString& folder, int baseRevision);
    // Reads back the checksum stored with every file and the one the server
    // computes of every stored chunk, and compares them with the local
    // files'; throws MismatchMessage on any difference. Chunk by chunk, so
    // the server never holds a whole file of a long recording in memory.
    void verify(const TStudyInfo& info, const QString& folder);
    // The same for the ECG and beats files alone: the recording, which
    // reviews on other workstations leave as it was.
    void verifyRecording(const TStudyInfo& info, const QString& folder);
    // The checksums stored with the files of a study: whether the server
    // holds the same files as a folder.
    Checksums storedChecksums(int id);
    // Reads the row and writes the three files of the study into the
    // folder, each checked against its checksum, all of one revision;
    // false without a row. Files the folder holds already of that revision
    // (`cachedRevision`) are left as they are.
    bool download(int id, const QString& folder, TStudyInfo& info, int& revision, int cachedRevision = 0);
    void remove(int id);
    // The last change recorded of a study, "<changed|deleted> by <who> at
    // <yyyy-MM-dd HH:mm>" in local time; empty without one.
    QString lastChange(int id);

    void setChunkObserver(ChunkObserver observer) { m_observer = std::move(observer); }

    static Checksums localChecksums(const std::string& baseFilename, const QString& folder);

private:
    void verifyFiles(const TStudyInfo& info, const QString& folder, const std::vector<const char*>& extensions);
    void writeRow(const TStudyInfo& info, int baseRevision, int revision);
    void writeFile(int id, const QString& path, const char* extension);
    void recordChange(int id, int revision, const char* action);
    void downloadFile(int id, const QString& path, const char* extension);

    TServerDatabase& m_database;
    std::string m_changedBy;
    ChunkObserver m_observer;
};
