#pragma once

#include "storage/TStudyInfo.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class TStudy;

// An import that would replace a local copy of the study whose contents
// differ from the archive's. The operator chooses, told when the local copy
// was changed and when the archive says it was made: keep the local copy,
// or replace it (importStudyReplacing). Both dates are "yyyyMMddHHmmss",
// local time.
class TImportConflict : public std::runtime_error
{
public:
    static constexpr const char* Message = "The local copy of this study differs from the one in the archive";

    TImportConflict(std::string localChanged, std::string archiveMade)
        : std::runtime_error(Message), localChanged(std::move(localChanged)), archiveMade(std::move(archiveMade))
    {
    }

    std::string localChanged;
    std::string archiveMade;
};

// The one interface through which every window reaches stored studies.
// Its 31 operations keep the order of the table below; the
// reserved ones exist only to keep that order and throw "unimplemented".
// Every failure is a std::exception carrying a fixed message. Paths cross
// the interface as 8-bit text in the local encoding, texts as UTF-8.
class TStudyStore
{
public:
    using ArchiveEntry = std::pair<std::string, TStudyInfo>;  // archive file name, its info

    virtual ~TStudyStore();

    // 1. The study of a study file with its data files, or null.
    virtual std::unique_ptr<TStudy> loadStudyFile(const std::string& path) = 0;
    // 2. Writes the study file atomically.
    virtual void saveStudyFile(const TStudy& study, const std::string& path) = 0;
    // 3. The index rows, in the order the database returns them.
    virtual std::vector<TStudyInfo> listStudies() = 0;
    // 4. Creates the study files and the index row; writes the new id and
    // base file name into `info`. The store owns the study.
    virtual TStudy* createStudy(TStudyInfo& info) = 0;
    // 5. The study of an indexed id, opened; null when it cannot be read.
    virtual TStudy* openStudy(int id) = 0;
    // 6. Saves an open study and updates its index row.
    virtual void saveStudy(TStudy* study) = 0;
    // 7. Closes an open study without writing anything.
    virtual void closeStudy(TStudy* study) = 0;
    // 8. Removes the files and the row of a study that is not open.
    virtual void deleteStudy(int id) = 0;
    // 9.
    virtual bool isStudyOpen(int id) = 0;
    // 10, 11. Conversions between the flat record and an open study.
    virtual TStudyInfo getStudyInfo(const TStudy& study) = 0;
    virtual void setStudyInfo(TStudy& study, const TStudyInfo& info) = 0;
    // 12 .. 21.
    virtual void reserved12() = 0;
    virtual void reserved13() = 0;
    virtual void reserved14() = 0;
    virtual void reserved15() = 0;
    virtual void reserved16() = 0;
    virtual void reserved17() = 0;
    virtual void reserved18() = 0;
    virtual void reserved19() = 0;
    virtual void reserved20() = 0;
    virtual void reserved21() = 0;
    // 22. Writes "<folder>/<baseFilename>.pxz".
    virtual void exportStudy(int id, const std::string& folder) = 0;
    // 23.
    virtual void reserved23() = 0;
    // 24. Brings an archive's study into the data folder; answers its id.
    // Throws TImportConflict rather than replace a local copy that differs
    // from the archive's.
    virtual int importStudy(const std::string& archivePath) = 0;
    // 25. Whether the file is a study archive, with its info.
    virtual bool readArchiveInfo(const std::string& archivePath, TStudyInfo& info) = 0;
    // 26. The study archives of a folder, by file name.
    virtual std::vector<ArchiveEntry> listArchives(const std::string& folder) = 0;
    // 27.
    virtual void reserved27() = 0;
    // 28. The data folder, UTF-8.
    virtual std::string dataPath() = 0;
    // 29. False only when the data folder's volume is known to have less
    // than 50 MiB available.
    virtual bool hasFreeSpace() = 0;
    // 30. importStudy that replaces a changed local copy: the operator chose so.
    virtual int importStudyReplacing(const std::string& archivePath) = 0;
    // 31. The recordings cut off by a crash that the store finished when it
    // opened (marked interrupted).
    virtual std::vector<TStudyInfo> interruptedRecordings() const = 0;
    // 32. Who else edits the open study ("<user> on <workstation>"), so
    // that it is open here read-only; empty when it may be saved. A store
    // nobody shares answers empty.
    virtual std::string editLockHolder(const TStudy& study) const;
};
