#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

// Files written beside their targets under temporary names and moved into
// place together once all are complete, so that a failed write leaves
// neither a partial file nor a partial set of files behind. Whatever was
// not moved into place is removed with this object.
//
// The move is one step with roll-back: a study's ECG must never end up
// beside another version's beats. Before a target is replaced a small
// journal beside the temporary file records it, and the target is moved
// aside; a failure part-way puts every target back as it was, and after a
// crash part-way undoInterrupted does the same from the journals.
class TStagedFiles
{
public:
    TStagedFiles() = default;
    ~TStagedFiles();
    TStagedFiles(const TStagedFiles&) = delete;
    TStagedFiles& operator=(const TStagedFiles&) = delete;

    // Who may read a file written: its owner only (reports, exports and
    // results of a patient), or whoever the folder lets (a shared folder's
    // archives keep the folder's permissions).
    enum class Access { OwnerOnly, Folder };

    // The temporary path to write the target's content to: a new empty
    // file made for this call alone (never a file or link found there),
    // beside the target under a random hidden name.
    QString stage(const QString& target, Access access = Access::OwnerOnly);
    // A complete file already written elsewhere on the target's volume,
    // to be moved over the target.
    void adopt(const QString& temporary, const QString& target);
    // Stages the target with these bytes; throws std::runtime_error
    // naming the file when they cannot be written.
    void write(const QString& target, const QByteArray& bytes);
    // Moves every staged file over its target, in staging order. Throws
    // std::runtime_error naming the file when one cannot be moved; every
    // target is then as it was before.
    void commit();

    // Puts back the targets of a commit that was cut off (the process
    // killed) from the journals left in the folder of its temporary files.
    static void undoInterrupted(const QString& folder);
    // Moves `from` over `to`, replacing it in one step where the system can.
    static bool replaceFile(const QString& from, const QString& to);
    // A new empty temporary file beside the target, as stage() makes it;
    // throws std::runtime_error naming the target when none can be made.
    // Temporaries of the same target left by a process of this computer
    // that is gone (killed part-way) are cleared first, a target they had
    // set aside put back.
    static QString createTemporary(const QString& target, Access access);
    // This computer's tag in the names of temporary files.
    static QString hostTag();
    // Clears every temporary file of a folder left by a process of this
    // computer that is gone, a target it had set aside put back.
    static void clearStaleTemporariesIn(const QString& folder);

private:
    static void clearStaleTemporaries(const QString& target);
    static void clearStale(const QDir& folder, const QString& pattern);
    // Moves staged file k into place after journalling and setting aside
    // its target; false when any step fails.
    bool moveIntoPlace(int k);
    // Undoes the moves of the staged files 0 .. k, newest first.
    void rollBack(int k);

    QStringList m_targets;
    QStringList m_temporaries;
};
