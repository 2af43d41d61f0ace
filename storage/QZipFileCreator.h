#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

// Writes a new zip archive member by member over minizip, and sets the
// archive comment written at close. Every failure throws std::runtime_error
// with one of the fixed messages of the zip access:
// "Cannot create zip archive", "Cannot open new file in zip",
// "Cannot write data in zip file", "Cannot close file in zip",
// "Cannot close zip archive".
class QZipFileCreator : public QObject
{
public:
    static constexpr int ChunkSize = 32768;

    // Creates the archive at `path`, replacing any file there.
    explicit QZipFileCreator(const QString& path, QObject* parent = nullptr);
    // Closes the archive when it is still open. A failure there cannot be
    // reported (a destructor does not throw): call close() to see failures.
    ~QZipFileCreator() override;

    QZipFileCreator(const QZipFileCreator&) = delete;
    QZipFileCreator& operator=(const QZipFileCreator&) = delete;

    // Stored now, written as the archive's global comment (UTF-8) at close.
    void setComment(const QString& comment);
    QString comment() const { return m_comment; }

    // Adds the file at `sourcePath` as member `memberName`, deflated at the
    // default level, copied in chunks of ChunkSize bytes. A source that
    // cannot be opened or read throws "Cannot write data in zip file"
    // before any member is started for it.
    void addFile(const QString& sourcePath, const QString& memberName);
    // Adds the bytes as member `memberName`, written in one piece.
    void addData(const QByteArray& data, const QString& memberName);

    // Closes the archive and writes the comment.
    void close();
    bool isOpen() const { return m_handle != nullptr; }

    // Data chunks written for the member added last (for tests).
    int lastChunkCount() const { return m_lastChunkCount; }

private:
    void openMember(const QString& memberName, bool large);
    void closeMember();

    QFile m_file;
    void* m_handle = nullptr;
    QString m_comment;
    int m_lastChunkCount = 0;
};
