// The archive operations of the local study store: export,
// import, archive info and archive listing.
#include "storage/TLocalStudyStore.h"

#include "storage/QZipFileCreator.h"
#include "storage/QZipFileExtractor.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TStudyFileName.h"
#include "storage/TStudyFiles.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudyJson.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <random>
#include <stdexcept>

namespace {

// The "info" member is small; a larger one is not a study archive.
constexpr qint64 MaxInfoBytes = 1024 * 1024;

// A memory buffer that refuses to grow beyond a bound (a write beyond it
// fails), so a hostile "info" member cannot exhaust memory.
class BoundedBuffer : public QBuffer
{
public:
    explicit BoundedBuffer(qint64 limit) : m_limit(limit) {}

protected:
    qint64 writeData(const char* data, qint64 length) override
    {
        if (pos() + length > m_limit)
            return -1;
        return QBuffer::writeData(data, length);
    }

private:
    qint64 m_limit;
};

QString fromLocal(const std::string& path)
{
    return QString::fromLocal8Bit(path.data(), int(path.size()));
}

QString fromUtf8(const std::string& text)
{
    return TStudyJson::toQString(text);
}

std::string toUtf8(const QString& text)
{
    return TStudyJson::toUtf8(text);
}

// Names of the temporary files an import extracts into, hidden (a leading
// dot) so no listing of study files ever sees them.
QString temporaryName(const QString& folder, const char* extension)
{
    static std::random_device device;
    return QStringLiteral("%1/.import-%2.%3").arg(folder).arg(device(), 8, 16, QLatin1Char('0')).arg(QLatin1String(extension));
}

// Removes the temporary files of an import unless they were moved into place.
class TemporaryFiles
{
public:
    void add(const QString& path) { m_paths.append(path); }
    void release() { m_paths.clear(); }
    ~TemporaryFiles()
    {
        for (const QString& path : m_paths)
            QFile::remove(path);
    }

private:
    QStringList m_paths;
};

} // namespace

void TLocalStudyStore::exportStudy(int id, const std::string& folder)
{
    TStudyInfo info;
    if (!getIndexRow(id, info) || !TStudyFileName::staysInFolder(info.baseFilename))
        return;
    const QString target = QStringLiteral("%1/%2.%3").arg(fromLocal(folder), fromUtf8(info.baseFilename),
                                                         QLatin1String(ArchiveExtension));
    // Written beside the target and moved over it when complete, so a
    // failed export never leaves a broken archive (nor destroys an older one).
    const QString partial = target + QStringLiteral(".part");

    QJsonObject patient;
    patient.insert(QStringLiteral("lastName"), fromUtf8(info.lastName));
    patient.insert(QStringLiteral("firstName"), fromUtf8(info.firstName));
    QJsonObject archiveInfo;
    archiveInfo.insert(QStringLiteral("baseFilename"), fromUtf8(info.baseFilename));
    archiveInfo.insert(QStringLiteral("studyDateTime"), fromUtf8(info.studyDateTime));
    archiveInfo.insert(QStringLiteral("studyType"), fromUtf8(info.studyType));
    archiveInfo.insert(QStringLiteral("patient"), patient);

    try {
        QZipFileCreator zip(partial);
        zip.setComment(QLatin1String(ArchiveComment));
        zip.addFile(filePath(info.baseFilename, TStudyFiles::StudyExtension), QLatin1String(TStudyFiles::StudyExtension));
        zip.addFile(filePath(info.baseFilename, TStudyFiles::EcgExtension), QLatin1String(TStudyFiles::EcgExtension));
        zip.addFile(filePath(info.baseFilename, TStudyFiles::BeatsExtension), QLatin1String(TStudyFiles::BeatsExtension));
        zip.addData(TStudyJson::compact(archiveInfo), QStringLiteral("info"));
        zip.close();
    } catch (...) {
        QFile::remove(partial);
        throw;
    }
    if (!TStagedFiles::replaceFile(partial, target)) {
        QFile::remove(partial);
        throw std::runtime_error("Cannot close zip archive");
    }
}

bool TLocalStudyStore::readArchiveInfo(const std::string& archivePath, TStudyInfo& info)
{
    QZipFileExtractor zip(fromLocal(archivePath));
    if (zip.comment() != QLatin1String(ArchiveComment))
        return false;
    BoundedBuffer buffer(MaxInfoBytes);
    try {
        if (!zip.extract(QStringLiteral("info"), &buffer))
            return false;
    } catch (const std::runtime_error& error) {
        if (std::strcmp(error.what(), "Write error") == 0)
            return false;  // an oversized "info"
        throw;
    }

    const QJsonObject object = QJsonDocument::fromJson(buffer.data()).object();
    const QJsonObject patient = object.value(QStringLiteral("patient")).toObject();
    const std::string baseFilename = toUtf8(object.value(QStringLiteral("baseFilename")).toString());
    // The name comes from outside: only a plain safe file name is accepted.
    if (object.isEmpty() || baseFilename.empty() || patient.isEmpty()
        || !TStudyFileName::isSafeBaseFilename(baseFilename))
        return false;

    info.id = 0;
    info.baseFilename = baseFilename;
    info.studyDateTime = toUtf8(object.value(QStringLiteral("studyDateTime")).toString());
    info.studyType = toUtf8(object.value(QStringLiteral("studyType")).toString());
    info.lastName = toUtf8(patient.value(QStringLiteral("lastName")).toString());
    info.firstName = toUtf8(patient.value(QStringLiteral("firstName")).toString());
    return true;
}

std::vector<TStudyStore::ArchiveEntry> TLocalStudyStore::listArchives(const std::string& folder)
{
    const QString directory = fromLocal(folder);
    const QStringList names = QDir(directory).entryList(
        QStringList{QStringLiteral("*.") + QLatin1String(ArchiveExtension)}, QDir::Files);
    std::vector<ArchiveEntry> archives;
    for (const QString& name : names) {
        try {
            TStudyInfo info;
            const QByteArray path = (directory + QLatin1Char('/') + name).toLocal8Bit();
            if (readArchiveInfo(path.toStdString(), info))
                archives.emplace_back(name.toLocal8Bit().toStdString(), info);
        } catch (...) {
            // Unreadable and foreign archives are skipped silently.
        }
    }
    return archives;
}

int TLocalStudyStore::importStudy(const std::string& archivePath)
{
    TStudyInfo info;
    if (!readArchiveInfo(archivePath, info))
        throw std::runtime_error(NotAnArchiveMessage);
    if (m_studyDataFolder.isEmpty())
        throw std::runtime_error("Undefined database path");
    if (isBaseFilenameOpen(info.baseFilename))
        throw std::runtime_error(ImportOpenMessage);

    // Everything is extracted and checked before any file of the data
    // folder is replaced.
    const char* const extensions[] = {TStudyFiles::StudyExtension, TStudyFiles::EcgExtension,
                                      TStudyFiles::BeatsExtension};
    QString extracted[3];
    TemporaryFiles temporaries;
    {
        QZipFileExtractor zip(fromLocal(archivePath));
        for (int i = 0; i < 3; ++i) {
            extracted[i] = temporaryName(m_studyDataFolder, extensions[i]);
            temporaries.add(extracted[i]);
            if (!zip.extract(QLatin1String(extensions[i]), extracted[i]))
                throw std::runtime_error(NotAnArchiveMessage);
        }
    }

    QJsonDocument document;
    if (!TStudyFiles::readStudyDocument(extracted[0], document))
        throw std::runtime_error(NotAnArchiveMessage);
    const QJsonObject root = document.object();
    const QJsonObject studyObject = root.value(QStringLiteral("study")).toObject();
    if (root.isEmpty() || studyObject.isEmpty())
        throw std::runtime_error(NotAnArchiveMessage);
    {
        // The data files must open, or the import would replace a good
        // local copy with one that cannot be reviewed.
        std::unique_ptr<TEcgFile> ecg = TStudyFiles::openEcgFile(extracted[1]);
        if (!ecg || !TStudyFiles::openBeatsFile(ecg.get(), extracted[2]))
            throw std::runtime_error(NotAnArchiveMessage);
    }
    const int id = studyObject.value(QStringLiteral("id")).toInt(0);
    if (isStudyOpen(id))
        throw std::runtime_error(ImportOpenMessage);
    for (const TStudyInfo& local : listStudies()) {
        if (local.id != id && local.baseFilename == info.baseFilename)
            throw std::runtime_error(ImportClashMessage);
    }

    // The study file goes last: until it is in place, the old study file
    // still describes the study.
    for (int i : {1, 2, 0}) {
        if (!TStagedFiles::replaceFile(extracted[i], filePath(info.baseFilename, extensions[i])))
            throw std::runtime_error("Write error");
    }
    temporaries.release();

    TStudyInfo existing;
    const bool indexed = getIndexRow(id, existing);
    info.id = id;
    writeIndexRow(info, !indexed);
    return id;
}
