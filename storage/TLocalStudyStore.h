#pragma once

#include "storage/TDataFolderLock.h"
#include "storage/TStudyId.h"
#include "storage/TStudyStore.h"

#include <QString>
#include <QStringList>

class TEcgFile;

#include <map>
#include <memory>
#include <string>
#include <vector>

// The study store on the local disk: a data folder under the generic data
// location (or a base location given for tests), the SQLite index
// "data/studies.sqlite" with the table Study(id integer primary key, data
// text) on the default connection, the three study files of every study
// side by side in the data folder, and the table of open studies, which
// owns them.
//
// It guards the clinic's data: file names of new studies
// are sanitised and never reuse the files of another study (files are
// created new only, the next free suffix taken on a clash); names taken
// from the index or an archive must stay inside the data folder; the
// rebuild of the index skips duplicate ids and unreadable files; imports
// are checked in full before they replace anything, and refused while the
// study is open.
//
// At start it takes the data folder's lock (one writer at a time), puts
// back what an import cut off by a crash had begun to replace, sets aside
// an index that fails its integrity check and rebuilds it, indexes study
// files the index lacks, finishes recordings cut off by a crash (marked
// interrupted) and removes studies that were never recorded, and makes
// the folders and files the owner's only.
class TLocalStudyStore : public TStudyStore
{
public:
    static constexpr qint64 MinimumFreeSpace = 52428800;
    static constexpr const char* ArchiveComment = "PXZIP1";
    static constexpr const char* ArchiveExtension = "pxz";
    static constexpr const char* NotAnArchiveMessage = "File is not a valid Pulsorix study Zip archive";
    static constexpr const char* ImportOpenMessage =
        "The study in this archive is open; close it before importing it";
    static constexpr const char* ImportClashMessage =
        "Another study already uses the file names of the study in this archive";
    static constexpr const char* ImportSpaceMessage = "There is not enough free disk space to import this study";
    static constexpr const char* ImportForeignNameMessage =
        "The study file in this archive names the files of another study";
    static constexpr const char* ImportOversizeMessage =
        "A file in this archive is larger than the study it holds can be";
    static constexpr const char* ReportsFolder = "reports";
    // Name prefix of an import's work folder inside the data folder.
    static constexpr const char* ImportFolderPrefix = ".import-";

    // The data folder is the generic data location + "/" + folderName.
    explicit TLocalStudyStore(const std::string& folderName);
    // The same under `baseLocation`; an empty base leaves the data folder
    // undefined (no folder and no index are touched; createStudy throws
    // "Undefined database path").
    TLocalStudyStore(const std::string& folderName, const QString& baseLocation);
    // Closes the open studies, then the index.
    ~TLocalStudyStore() override;

    TLocalStudyStore(const TLocalStudyStore&) = delete;
    TLocalStudyStore& operator=(const TLocalStudyStore&) = delete;

    // The eleven risk factor names, in dialog order.
    const std::vector<std::string>& riskFactorNames() const { return m_riskFactorNames; }
    const QString& studyDataFolder() const { return m_studyDataFolder; }

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
    // Their data files cut to whole frames and records.
    std::vector<TStudyInfo> interruptedRecordings() const override { return m_interrupted; }

    // Writes "<folder>/<baseFilename>.pxz" of the study files that lie in
    // `studyFolder` (exportStudy's archive).
    static void writeArchive(const TStudyInfo& info, const QString& studyFolder, const std::string& folder);

    // The index row of an id: false without a row. A row whose JSON cannot
    // be read fills nothing but the id.
    bool getIndexRow(int id, TStudyInfo& info);


protected:
    // Bytes available to the user on the data folder's volume; -1 when
    // unknown.
    virtual qint64 availableBytes() const;

private:
    void open(const std::string& folderName, const QString& baseLocation);
    // The data folder, its index folder and its reports folder.
    QStringList privateFolders() const;
    // Start-up work, in this order.
    void makeFolders();
    void undoInterruptedImports();
    void openDatabase();
    bool isIndexSound() const;
    void setIndexAside();
    // Indexes the study files whose base name no index row names.
    void indexUnlistedStudyFiles();
    void finishInterruptedRecordings();
    void finishInterruptedRecording(const TStudyInfo& row);
    void tightenPermissions();

    int importArchive(const std::string& archivePath, bool replaceChanged);
    // Extracts the three study files of the archive into the folder,
    // bounded by the sizes it states and the free space.
    void extractStudyFiles(const std::string& archivePath, const QString& folder, const std::string& baseFilename);
    // Throws TImportConflict when the indexed local copy of the study
    // differs from the extracted one, whatever the dates; false when they
    // are the same (nothing to replace).
    bool checkLocalCopy(const TStudyInfo& local, const QString& extracted, const std::string& archivePath);
    void writeIndexRow(const TStudyInfo& info, bool insert);
    void deleteIndexRow(int id);
    int newStudyId();
    // Whether any file (or link) of the study files of that base name exists.
    bool isBaseFilenameUsed(const std::string& name) const;
    // Creates the new study's ECG file under the first free base name,
    // which it writes into the info.
    std::unique_ptr<TEcgFile> claimEcgFile(TStudyInfo& info) const;
    QString filePath(const std::string& baseFilename, const char* extension) const;
    TStudy* openEntry(int id) const;
    bool isBaseFilenameOpen(const std::string& baseFilename) const;

    std::vector<std::string> m_riskFactorNames;
    QString m_studyDataFolder;
    std::unique_ptr<TDataFolderLock> m_lock;
    std::vector<TStudyInfo> m_interrupted;
    bool m_databaseOpen = false;
    std::map<int, std::unique_ptr<TStudy>> m_openStudies;
    TStudyIdGenerator m_ids;
};
