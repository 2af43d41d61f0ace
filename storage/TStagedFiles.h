#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Files written beside their targets under temporary names and moved into
// place together once all are complete, so that a failed write leaves
// neither a partial file nor a partial set of files behind. Whatever was
// not moved into place is removed with this object.
class TStagedFiles
{
public:
    TStagedFiles() = default;
    ~TStagedFiles();
    TStagedFiles(const TStagedFiles&) = delete;
    TStagedFiles& operator=(const TStagedFiles&) = delete;

    // The temporary path to write the target's content to.
    QString stage(const QString& target);
    // Stages the target with these bytes; throws std::runtime_error
    // naming the file when they cannot be written.
    void write(const QString& target, const QByteArray& bytes);
    // Moves every staged file over its target. Throws std::runtime_error
    // when one cannot be moved; the targets already moved are removed.
    void commit();

    // Moves `from` over `to`, replacing it in one step where the system can.
    static bool replaceFile(const QString& from, const QString& to);

private:
    QStringList m_targets;
    QStringList m_temporaries;
};
