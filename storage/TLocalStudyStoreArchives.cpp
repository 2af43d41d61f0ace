// The archive operations of the local study store: export,
// import, archive info and archive listing.
#include "storage/TLocalStudyStore.h"

#include "storage/QZipFileCreator.h"
#include "storage/QZipFileExtractor.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TPrivateFiles.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudyFileName.h"
#include "storage/TStudyFiles.h"
#include "storage/TStudyJson.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <stdexcept>
#include <utility>

namespace {

// The "info" member is small; a larger one is not a study archive.
constexpr qint64 MaxInfoBytes = 1024 * 1024;
// The member of "info" that dates the archive.
constexpr const char* ExportDateTimeKey = "exportDateTime";

// A device that takes no more than a bound: a write reaching beyond it
// stores what fits and then fails, so a hostile member cannot exhaust
// memory or the disk, and the head of a member can be read alone.
template <typename Device>
class Bounded : public Device
{
public:
    template <typename... Arguments>
    explicit Bounded(qint64 limit, Arguments&&... arguments)
        : Device(std::forward<Arguments>(arguments)...), m_limit(limit)
    {
    }

protected:
    qint64 writeData(const char* data, qint64 length) override
    {
        const qint64 room = std::max<qint64>(0, m_limit - this->pos());
        if (room == 0 && length > 0)
            return -1;
        return Device::writeData(data, std::min(length, room));
    }

private:
    qint64 m_limit;
};

// The first `bytes` of a member (all of it when it is shorter).
QByteArray memberHead(QZipFileExtractor& zip, const QString& member, qint64 bytes)
{
    Bounded<QBuffer> head(bytes);
    try {
        zip.extract(member, &head);
    } catch (const std::runtime_error& error) {
        if (std::strcmp(error.what(), "Write error") != 0)
            throw;
    }
    return head.data();
}

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

// The folder an import extracts into inside the data folder, hidden (a
// leading dot) so no listing of study files ever sees it; what a crash
// leaves of it is undone and removed at the next start.
QString workFolderName()
{
    static std::random_device device;
    return QStringLiteral("%1%2").arg(QLatin1String(TLocalStudyStore::ImportFolderPrefix)).arg(device(), 8, 16, QLatin1Char('0'));
}

QString dateTimeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyyMMddHHmmss"));
}

bool sameContent(const QString& first, const QString& second)
{
    QFile a(first);
    QFile b(second);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    while (!a.atEnd()) {
        if (a.read(1 << 20) != b.read(1 << 20))
            return false;
    }
    return true;
}

// The "info" object of a study archive; empty for another archive, one
// without "info" or an oversized one.
QJsonObject archiveInfoObject(const std::string& archivePath)
{
    QZipFileExtractor zip(fromLocal(archivePath));
    if (zip.comment() != QLatin1String(TLocalStudyStore::ArchiveComment))
        return QJsonObject();
    Bounded<QBuffer> buffer(MaxInfoBytes);
    try {
        if (!zip.extract(QStringLiteral("info"), &buffer))
            return QJsonObject();
    } catch (const std::runtime_error& error) {
        if (std::strcmp(error.what(), "Write error") == 0)
            return QJsonObject();  // an oversized "info"
        throw;
    }
    return QJsonDocument::fromJson(buffer.data()).object();
}

} // namespace

void TLocalStudyStore::exportStudy(int id, const std::string& folder)
{
    TStudyInfo info;
    if (!getIndexRow(id, info) || !TStudyFileName::staysInFolder(info.baseFilename))
        return;
    writeArchive(info, m_studyDataFolder, folder);
}

void TLocalStudyStore::writeArchive(const TStudyInfo& info, const QString& studyFolder, const std::string& folder)
{
    if (!TStudyFileName::staysInFolder(info.baseFilename))
        return;
    const QString target = QStringLiteral("%1/%2.%3").arg(fromLocal(folder), fromUtf8(info.baseFilename),
                                                         QLatin1String(ArchiveExtension));
    // Written beside the target and moved over it when complete, so a
    // failed export never leaves a broken archive (nor destroys an older one).
    const QString partial = TStagedFiles::createTemporary(target, TStagedFiles::Access::Folder);

    QJsonObject patient;
    patient.insert(QStringLiteral("lastName"), fromUtf8(info.lastName));
    patient.insert(QStringLiteral("firstName"), fromUtf8(info.firstName));
    QJsonObject archiveInfo;
    archiveInfo.insert(QStringLiteral("baseFilename"), fromUtf8(info.baseFilename));
    archiveInfo.insert(QStringLiteral("studyDateTime"), fromUtf8(info.studyDateTime));
    archiveInfo.insert(QStringLiteral("studyType"), fromUtf8(info.studyType));
    archiveInfo.insert(QStringLiteral("patient"), patient);
    // When it was made, so that an import can tell a local copy changed since.
    archiveInfo.insert(QLatin1String(ExportDateTimeKey), dateTimeText(QDateTime::currentDateTime()));

    try {
        QZipFileCreator zip(partial);
        zip.setComment(QLatin1String(ArchiveComment));
        for (const char* extension : TStudyFiles::StudyFileExtensions) {
            zip.addFile(QStringLiteral("%1/%2.%3").arg(studyFolder, fromUtf8(info.baseFilename), QLatin1String(extension)),
                        QLatin1String(extension));
        }
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
    const QJsonObject object = archiveInfoObject(archivePath);
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
    return importArchive(archivePath, false);
}

int TLocalStudyStore::importStudyReplacing(const std::string& archivePath)
{
    return importArchive(archivePath, true);
}

void TLocalStudyStore::extractStudyFiles(const std::string& archivePath, const QString& folder,
                                         const std::string& baseFilename)
{
    QZipFileExtractor zip(fromLocal(archivePath));
    // What each member may hold: the ECG file's own header states its
    // channels and rate, which with the longest recording taken in bound
    // the ECG and beats files. A member stating more is refused; one
    // inflating beyond what it states fails as it is written.
    const QByteArray ecgHead = memberHead(zip, QLatin1String(TStudyFiles::EcgExtension), TEcgFile::DefaultHeaderSize);
    const qint64 ecgLimit = TStudyFiles::maximumEcgFileSize(ecgHead);
    if (ecgLimit < 0)
        throw std::runtime_error(NotAnArchiveMessage);
    // In the order of StudyFileExtensions: study, ECG, beats.
    const qint64 limits[] = {TStudyFiles::MaxStudyDocumentBytes, ecgLimit, TStudyFiles::maximumBeatsFileSize(ecgHead)};
    static_assert(std::size(limits) == std::size(TStudyFiles::StudyFileExtensions));
    qint64 stated = 0;
    for (std::size_t k = 0; k < std::size(limits); ++k) {
        const qint64 size = zip.memberSize(QLatin1String(TStudyFiles::StudyFileExtensions[k]));
        if (size < 0)
            throw std::runtime_error(NotAnArchiveMessage);
        if (size > limits[k])
            throw std::runtime_error(ImportOversizeMessage);
        stated += size;
    }
    // All of them must leave the room a recording needs.
    const qint64 available = availableBytes();
    if (available >= 0 && stated > available - MinimumFreeSpace)
        throw std::runtime_error(ImportSpaceMessage);
    for (const char* name : TStudyFiles::StudyFileExtensions) {
        const QLatin1String extension(name);
        Bounded<QFile> target(zip.memberSize(extension), TStudyFileName::studyPath(folder, fromUtf8(baseFilename), extension));
        if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw std::runtime_error("Write error");
        TPrivateFiles::restrict(target);
        try {
            zip.extract(extension, &target);
        } catch (const std::runtime_error& error) {
            if (std::strcmp(error.what(), "Write error") == 0 && target.pos() >= zip.memberSize(extension))
                throw std::runtime_error(ImportOversizeMessage);
            throw;
        }
    }
}

bool TLocalStudyStore::checkLocalCopy(const TStudyInfo& local, const QString& extracted, const std::string& archivePath)
{
    bool same = true;
    for (const char* extension : TStudyFiles::StudyFileExtensions) {
        const QString name = TStudyFiles::siblingPath(extracted, QLatin1String(extension));
        same = same && sameContent(name, filePath(local.baseFilename, extension));
    }
    if (same)
        return false;
    const QFileInfo localFile(filePath(local.baseFilename, TStudyFiles::StudyExtension));
    if (!localFile.exists())
        return true;
    // The dates are shown to the operator, never trusted to decide: an
    // archive can state any export date, and clocks differ.
    QString made = archiveInfoObject(archivePath).value(QLatin1String(ExportDateTimeKey)).toString();
    if (made.isEmpty())
        made = dateTimeText(QFileInfo(fromLocal(archivePath)).lastModified());
    throw TImportConflict(dateTimeText(localFile.lastModified()).toStdString(), made.toStdString());
}

// Everything is extracted into a work folder and opened there with the
// readers that open a study before any file of the data folder is
// replaced; the three files are then replaced as one step.
int TLocalStudyStore::importArchive(const std::string& archivePath, bool replaceChanged)
{
    TStudyInfo info;
    if (!readArchiveInfo(archivePath, info))
        throw std::runtime_error(NotAnArchiveMessage);
    if (m_studyDataFolder.isEmpty())
        throw std::runtime_error("Undefined database path");
    if (isBaseFilenameOpen(info.baseFilename))
        throw std::runtime_error(ImportOpenMessage);

    const QString work = m_studyDataFolder + QLatin1Char('/') + workFolderName();
    if (!TPrivateFiles::makeFolder(work))
        throw std::runtime_error("Write error");
    const auto removeWork = qScopeGuard([&work] { QDir(work).removeRecursively(); });
    extractStudyFiles(archivePath, work, info.baseFilename);
    const QString extracted = TStudyFileName::studyPath(work, fromUtf8(info.baseFilename),
                                                        QLatin1String(TStudyFiles::StudyExtension));
    int id = 0;
    {
        const std::unique_ptr<TStudy> study = TStudyFiles::loadStudyFile(extracted);
        if (!study)
            throw std::runtime_error(NotAnArchiveMessage);
        id = study->id();
        // Saving the study writes to the files its own study file names.
        if (study->propertyValue("baseFilename") != info.baseFilename)
            throw std::runtime_error(ImportForeignNameMessage);
    }
    if (isStudyOpen(id))
        throw std::runtime_error(ImportOpenMessage);
    for (const TStudyInfo& local : listStudies()) {
        if (local.id != id && local.baseFilename == info.baseFilename)
            throw std::runtime_error(ImportClashMessage);
    }

    TStudyInfo existing;
    const bool indexed = getIndexRow(id, existing);
    // Files of that name that no indexed study owns are someone's study
    // too (one not listed since the index was made): never replaced.
    // An id already given to a study of other files is another study's.
    if (indexed && existing.baseFilename != info.baseFilename)
        throw std::runtime_error(ImportClashMessage);
    if (!indexed) {
        for (const char* extension : TStudyFiles::StudyFileExtensions) {
            if (QFileInfo::exists(filePath(info.baseFilename, extension)))
                throw std::runtime_error(ImportClashMessage);
        }
    }
    const bool replace = !indexed || replaceChanged || checkLocalCopy(existing, extracted, archivePath);
    if (replace) {
        // The study file goes last: until it is in place, the old study
        // file still describes the study.
        TStagedFiles staged;
        for (const char* extension : {TStudyFiles::EcgExtension, TStudyFiles::BeatsExtension, TStudyFiles::StudyExtension})
            staged.adopt(TStudyFiles::siblingPath(extracted, QLatin1String(extension)), filePath(info.baseFilename, extension));
        staged.commit();
    }
    info.id = id;
    writeIndexRow(info, !indexed);
    return id;
}
