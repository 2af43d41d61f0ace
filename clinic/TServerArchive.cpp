#include "clinic/TServerArchive.h"

#include "clinic/TServerDatabase.h"
#include "storage/TStudyFileName.h"
#include "storage/TStudyFiles.h"
#include "storage/TStudyJson.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <future>

namespace {

QString studyPath(const QString& folder, const std::string& baseFilename, const char* extension)
{
    return QStringLiteral("%1/%2.%3").arg(folder, TStudyJson::toQString(baseFilename), QLatin1String(extension));
}

QString text(const std::string& utf8)
{
    return TStudyJson::toQString(utf8);
}

} // namespace

TServerArchive::TServerArchive(TServerDatabase& database, std::string changedBy)
    : m_database(database), m_changedBy(std::move(changedBy))
{
}

std::vector<TStudyInfo> TServerArchive::list()
{
    QSqlQuery query = m_database.exec(QStringLiteral("select id, data from study"));
    std::vector<TStudyInfo> rows;
    while (query.next()) {
        TStudyInfo info;
        info.id = query.value(0).toInt();
        TStudyJson::readIndexJson(query.value(1).toString(), info);
        rows.push_back(info);
    }
    return rows;
}

bool TServerArchive::row(int id, TStudyInfo& info, int& revision)
{
    QSqlQuery query = m_database.exec(QStringLiteral("select data, revision from study where id = ?"), {id});
    if (!query.next())
        return false;
    info = TStudyInfo();
    info.id = id;
    TStudyJson::readIndexJson(query.value(0).toString(), info);
    revision = query.value(1).toInt();
    return true;
}

int TServerArchive::upload(const TStudyInfo& info, const QString& folder, int baseRevision)
{
    if (!TStudyFileName::staysInFolder(info.baseFilename))
        throw std::runtime_error(MissingFileMessage);
    m_database.begin();
    try {
        QSqlQuery current = m_database.exec(QStringLiteral("select revision from study where id = ? for update"),
                                            {info.id});
        const int serverRevision = current.next() ? current.value(0).toInt() : 0;
        if (serverRevision != baseRevision)
            throw TStaleSave();
        const int revision = baseRevision + 1;
        writeRow(info, baseRevision, revision);
        m_database.exec(QStringLiteral("delete from study_file where study_id = ?"), {info.id});
        for (const char* extension : TStudyFiles::StudyFileExtensions)
            writeFile(info.id, studyPath(folder, info.baseFilename, extension), extension);
        recordChange(info.id, revision, baseRevision == 0 ? "upload" : "save");
        m_database.commit();
        return revision;
    } catch (...) {
        m_database.rollback();
        throw;
    }
}

int TServerArchive::uploadVerified(const TStudyInfo& info, const QString& folder, int baseRevision)
{
    const int revision = upload(info, folder, baseRevision);
    verify(info, folder);
    return revision;
}

void TServerArchive::verify(const TStudyInfo& info, const QString& folder)
{
    verifyFiles(info, folder, {std::begin(TStudyFiles::StudyFileExtensions), std::end(TStudyFiles::StudyFileExtensions)});
}

void TServerArchive::verifyRecording(const TStudyInfo& info, const QString& folder)
{
    verifyFiles(info, folder, {TStudyFiles::EcgExtension, TStudyFiles::BeatsExtension});
}

void TServerArchive::verifyFiles(const TStudyInfo& info, const QString& folder,
                                 const std::vector<const char*>& extensions)
{
    const Checksums stored = storedChecksums(info.id);
    const Checksums local = localChecksums(info.baseFilename, folder);
    for (const char* extension : extensions) {
        const auto found = stored.find(extension);
        if (found == stored.end() || found->second != local.at(extension))
            throw std::runtime_error(MismatchMessage);
    }
    for (const char* extension : extensions) {
        QFile file(studyPath(folder, info.baseFilename, extension));
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(MissingFileMessage);
        QSqlQuery chunks = m_database.exec(
            QStringLiteral("select encode(sha256(data), 'hex') from study_chunk "
                           "where study_id = ? and extension = ? order by seq"),
            {info.id, QLatin1String(extension)});
        int count = 0;
        while (chunks.next()) {
            const QByteArray local = QCryptographicHash::hash(file.read(ChunkBytes), QCryptographicHash::Sha256);
            if (chunks.value(0).toString().toLatin1() != local.toHex())
                throw std::runtime_error(MismatchMessage);
            ++count;
        }
        if (count == 0 || !file.atEnd())
            throw std::runtime_error(MismatchMessage);
    }
}

void TServerArchive::writeRow(const TStudyInfo& info, int baseRevision, int revision)
{
    const QString data = QString::fromUtf8(TStudyJson::indexJson(info));
    if (baseRevision == 0) {
        m_database.exec(QStringLiteral("insert into study(id, data, revision, changed_by) values (?, ?, ?, ?)"),
                        {info.id, data, revision, text(m_changedBy)});
    } else {
        m_database.exec(QStringLiteral("update study set data = ?, revision = ?, changed_by = ?, changed_at = now() "
                                       "where id = ?"),
                        {data, revision, text(m_changedBy), info.id});
    }
}

void TServerArchive::writeFile(int id, const QString& path, const char* extension)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(MissingFileMessage);
    const QString ext = QLatin1String(extension);
    m_database.exec(QStringLiteral("insert into study_file(study_id, extension, size, sha256) values (?, ?, 0, '')"),
                    {id, ext});
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 size = 0;
    int seq = 0;
    do {
        const QByteArray chunk = file.read(ChunkBytes);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
            throw std::runtime_error(MissingFileMessage);
        hash.addData(chunk);
        size += chunk.size();
        m_database.exec(QStringLiteral("insert into study_chunk(study_id, extension, seq, data) values (?, ?, ?, ?)"),
                        {id, ext, seq++, chunk});
        if (m_observer)
            m_observer();
    } while (!file.atEnd());
    m_database.exec(QStringLiteral("update study_file set size = ?, sha256 = ? where study_id = ? and extension = ?"),
                    {size, QString::fromLatin1(hash.result().toHex()), id, ext});
}

void TServerArchive::recordChange(int id, int revision, const char* action)
{
    m_database.exec(QStringLiteral("insert into study_change(study_id, revision, action, changed_by) "
                                   "values (?, ?, ?, ?)"),
                    {id, revision, QLatin1String(action), text(m_changedBy)});
    // Delivered to every listener when the transaction commits.
    m_database.exec(QStringLiteral("select pg_notify(?, ?)"), {QLatin1String(Channel), QString::number(id)});
}

TServerArchive::Checksums TServerArchive::storedChecksums(int id)
{
    QSqlQuery query = m_database.exec(QStringLiteral("select extension, sha256 from study_file where study_id = ?"), {id});
    Checksums sums;
    while (query.next())
        sums[query.value(0).toString().toStdString()] = query.value(1).toString().toStdString();
    return sums;
}

TServerArchive::Checksums TServerArchive::localChecksums(const std::string& baseFilename, const QString& folder)
{
    Checksums sums;
    for (const char* extension : TStudyFiles::StudyFileExtensions) {
        QFile file(studyPath(folder, baseFilename, extension));
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(MissingFileMessage);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!hash.addData(&file))
            throw std::runtime_error(MissingFileMessage);
        sums[extension] = hash.result().toHex().toStdString();
    }
    return sums;
}

bool TServerArchive::download(int id, const QString& folder, TStudyInfo& info, int& revision, int cachedRevision)
{
    m_database.begin();
    try {
        m_database.exec(QStringLiteral("set transaction isolation level repeatable read"));
        const bool found = row(id, info, revision);
        if (found && revision != cachedRevision) {
            if (!TStudyFileName::staysInFolder(info.baseFilename))
                throw std::runtime_error(DamagedMessage);
            for (const char* extension : TStudyFiles::StudyFileExtensions)
                downloadFile(id, studyPath(folder, info.baseFilename, extension), extension);
        }
        m_database.commit();
        return found;
    } catch (...) {
        m_database.rollback();
        throw;
    }
}

void TServerArchive::downloadFile(int id, const QString& path, const char* extension)
{
    const QString ext = QLatin1String(extension);
    QSqlQuery sum = m_database.exec(QStringLiteral("select sha256 from study_file where study_id = ? and extension = ?"),
                                    {id, ext});
    if (!sum.next())
        throw std::runtime_error(DamagedMessage);
    const QByteArray expected = sum.value(0).toString().toLatin1();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot create file");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    // Each chunk is hashed on another thread while the next one is read:
    // hashing costs about as much as reading. Declared after the hash, the
    // task ends before the hash goes, also on the way out of a failure.
    std::future<void> hashing;
    // One chunk per query: the driver holds a whole result in memory, and
    // a day's recording must not be.
    for (int seq = 0;; ++seq) {
        QSqlQuery chunk = m_database.exec(
            QStringLiteral("select data from study_chunk where study_id = ? and extension = ? and seq = ?"),
            {id, ext, seq});
        if (!chunk.next())
            break;
        const QByteArray data = chunk.value(0).toByteArray();
        if (file.write(data) != data.size())
            throw std::runtime_error("Write error");
        if (hashing.valid())
            hashing.get();
        hashing = std::async(std::launch::async, [&hash, data] { hash.addData(data); });
        if (m_observer)
            m_observer();
    }
    if (hashing.valid())
        hashing.get();
    if (hash.result().toHex() != expected)
        throw std::runtime_error(DamagedMessage);
    if (!file.commit())
        throw std::runtime_error("Write error");
}

void TServerArchive::remove(int id)
{
    m_database.begin();
    try {
        QSqlQuery current = m_database.exec(QStringLiteral("delete from study where id = ? returning revision"), {id});
        if (current.next())
            recordChange(id, current.value(0).toInt(), "delete");
        m_database.commit();
    } catch (...) {
        m_database.rollback();
        throw;
    }
}

QString TServerArchive::lastChange(int id)
{
    QSqlQuery change = m_database.exec(QStringLiteral("select action, changed_by, changed_at from study_change "
                                                      "where study_id = ? order by id desc limit 1"),
                                       {id});
    if (!change.next())
        return QString();
    const QString verb = change.value(0).toString() == QLatin1String("delete") ? QStringLiteral("deleted")
                                                                               : QStringLiteral("changed");
    return QStringLiteral("%1 by %2 at %3")
        .arg(verb, change.value(1).toString(),
             change.value(2).toDateTime().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}
