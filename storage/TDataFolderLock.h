#pragma once

#include <QString>

#include <stdexcept>

// Keeps a second program (another copy of the application, whatever its
// temporary folder, or varor-analyze importing) from writing a data folder
// at the same time: an exclusive lock on the file ".lock" inside the
// folder. The system releases it when the holder ends in any way, a crash
// included, so no stale lock survives.
class TDataFolderLock
{
public:
    // Another holder has the lock; waiting may get it.
    class InUse : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    static constexpr const char* FileName = ".lock";
    static constexpr const char* InUseMessage = "The data folder %1 is in use by another copy of the program";

    // Takes the lock of the folder, which must exist. Throws InUse with
    // InUseMessage (naming the folder) while another holder has it, or
    // std::runtime_error naming the lock file when it cannot be made.
    explicit TDataFolderLock(const QString& folder);
    ~TDataFolderLock();
    TDataFolderLock(const TDataFolderLock&) = delete;
    TDataFolderLock& operator=(const TDataFolderLock&) = delete;

private:
    int m_descriptor = -1;
};
