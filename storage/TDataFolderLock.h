#pragma once

#include <QString>

// Keeps a second program (another copy of the application, whatever its
// temporary folder, or varor-analyze importing) from writing a data folder
// at the same time: an exclusive lock on the file ".lock" inside the
// folder. The system releases it when the holder ends in any way, a crash
// included, so no stale lock survives.
class TDataFolderLock
{
public:
    static constexpr const char* FileName = ".lock";
    static constexpr const char* InUseMessage = "The data folder %1 is in use by another copy of the program";

    // Takes the lock of the folder, which must exist. Throws
    // std::runtime_error with InUseMessage (naming the folder) while another
    // holder has it, or naming the lock file when it cannot be made.
    explicit TDataFolderLock(const QString& folder);
    ~TDataFolderLock();
    TDataFolderLock(const TDataFolderLock&) = delete;
    TDataFolderLock& operator=(const TDataFolderLock&) = delete;

private:
    int m_descriptor = -1;
};
