#pragma once

#include <QFile>
#include <QObject>
#include <QString>

class QIODevice;

// Opens an existing zip archive over minizip, exposes its comment and
// extracts single members by name. Every failure throws std::runtime_error
// with one of the fixed messages of the zip access: "Cannot open zip
// archive", "Cannot read zip archive", "Cannot read comment in zip archive",
// "Cannot get file info from zip archive", "Cannot open file in zip
// archive", "Cannot read file in zip archive", "Corrupt file read from zip
// archive"; a target device that cannot be opened or written throws
// "Write error". A missing member is not an error. Only a regular file is
// opened (a pipe or a device would block or never end); a member inflates
// to no more than the size the archive states for it (minizip stops
// there, and the checksum then fails).
class QZipFileExtractor : public QObject
{
public:
    static constexpr int ChunkSize = 32768;

    explicit QZipFileExtractor(const QString& path, QObject* parent = nullptr);
    ~QZipFileExtractor() override;

    QZipFileExtractor(const QZipFileExtractor&) = delete;
    QZipFileExtractor& operator=(const QZipFileExtractor&) = delete;

    // The archive's global comment decoded from UTF-8; empty without one.
    QString comment() const { return m_comment; }
    // Members listed in the central directory.
    qint64 memberCount() const { return m_memberCount; }

    // The uncompressed size the archive states for the member; -1 when it
    // has no member of that name.
    qint64 memberSize(const QString& memberName);

    // Writes the member's content to the device (opened write-only here
    // and closed afterwards, unless the caller handed it over open and
    // writable). False, with the device untouched, when the archive has no
    // member of that name. The content reaches the device before a
    // checksum failure throws "Corrupt file read from zip archive".
    bool extract(const QString& memberName, QIODevice* device);
    // The same into the file at `targetPath` (overwritten).
    bool extract(const QString& memberName, const QString& targetPath);

private:
    bool locate(const QString& memberName);
    void extractCurrent(QIODevice* device);

    QFile m_file;
    void* m_handle = nullptr;
    qint64 m_memberCount = 0;
    QString m_comment;
};
