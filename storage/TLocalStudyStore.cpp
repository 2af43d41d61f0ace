#include "storage/TLocalStudyStore.h"

#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TPrivateFiles.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudy.h"
#include "storage/TStudyFileName.h"
#include "storage/TStudyFiles.h"
#include "storage/TStudyJson.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QFileInfo>
#include <QJsonObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStringList>

#include <stdexcept>

namespace {

const QString DriverName = QStringLiteral("QSQLITE");
// Another process may create the table at the same moment on first use.
const char* const CreateTable = "create table if not exists Study(id integer primary key, data text)";

[[noreturn]] void throwSqlError(const QSqlError& error)
{
    throw std::runtime_error(error.text().toStdString());
}

QString fromLocal(const std::string& path)
{
    return QString::fromLocal8Bit(path.data(), int(path.size()));
}

std::string toUtf8(const QString& text)
{
    return TStudyJson::toUtf8(text);
}

QString fromUtf8(const std::string& text)
{
    return TStudyJson::toQString(text);
}

[[noreturn]] void unimplemented()
{
    throw std::runtime_error("unimplemented");
}

} // namespace

TLocalStudyStore::TLocalStudyStore(const std::string& folderName)
{
    open(folderName, QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

TLocalStudyStore::TLocalStudyStore(const std::string& folderName, const QString& baseLocation)
{
    open(folderName, baseLocation);
}

void TLocalStudyStore::open(const std::string& folderName, const QString& baseLocation)
{
    if (!baseLocation.isEmpty()) {
        m_studyDataFolder = baseLocation + QLatin1Char('/') + fromUtf8(folderName);
        makeFolders();
        m_lock = std::make_unique<TDataFolderLock>(m_studyDataFolder);
        undoInterruptedImports();
        // What a killed writer left half-written (a report, a study file)
        // goes; the files it was replacing stay as they were.
        for (const QString& folder : privateFolders())
            TStagedFiles::clearStaleTemporariesIn(folder);
        openDatabase();
        indexUnlistedStudyFiles();
        finishInterruptedRecordings();
        tightenPermissions();
    }
    m_riskFactorNames = defaultRiskFactorNames();
}

TLocalStudyStore::~TLocalStudyStore()
{
    m_openStudies.clear();
    if (m_databaseOpen) {
        {
            QSqlDatabase database = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
            database.close();
        }
        QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    }
}

// --- Start-up -------------------------------------------------------------------

QStringList TLocalStudyStore::privateFolders() const
{
    return {m_studyDataFolder, m_studyDataFolder + QStringLiteral("/data"),
            m_studyDataFolder + QLatin1Char('/') + QLatin1String(ReportsFolder)};
}

void TLocalStudyStore::makeFolders()
{
    for (const QString& folder : privateFolders()) {
        if (!TPrivateFiles::makeFolder(folder))
            throw std::runtime_error(QStringLiteral("Cannot create the folder %1").arg(folder).toStdString());
    }
}

// An import cut off by a crash may have begun to replace a study's files:
// they are put back before its work folder goes.
void TLocalStudyStore::undoInterruptedImports()
{
    const QDir folder(m_studyDataFolder);
    const QStringList leftovers = folder.entryList({QLatin1String(ImportFolderPrefix) + QLatin1Char('*')},
                                                   QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : leftovers) {
        const QString path = folder.filePath(name);
        if (QFileInfo(path).isDir()) {
            TStagedFiles::undoInterrupted(path);
            QDir(path).removeRecursively();
        } else {
            QFile::remove(path);
        }
    }
}

void TLocalStudyStore::openDatabase()
{
    if (!QSqlDatabase::drivers().contains(DriverName))
        throw std::runtime_error("SQLite driver not available");
    const QString path = QStringLiteral("%1/data/studies.sqlite").arg(m_studyDataFolder);

    QSqlDatabase database = QSqlDatabase::addDatabase(DriverName);
    database.setDatabaseName(path);
    if (!database.open())
        throwSqlError(database.lastError());
    m_databaseOpen = true;
    TPrivateFiles::restrict(path);

    // A damaged index (cut off, overwritten) would hide studies whose
    // files are intact: it is set aside and rebuilt from the study files.
    if (!isIndexSound())
        setIndexAside();
    QSqlQuery create(QSqlDatabase::database());
    if (!create.exec(QLatin1String(CreateTable)))
        throwSqlError(create.lastError());
}

// Sound: SQLite finds its structure intact, and the table, when there is
// one, is the table of the index (a damaged definition reads every id as
// nothing).
bool TLocalStudyStore::isIndexSound() const
{
    QSqlQuery check(QSqlDatabase::database());
    if (!check.exec(QStringLiteral("pragma quick_check")) || !check.next()
        || check.value(0).toString() != QLatin1String("ok"))
        return false;
    QStringList columns;
    if (!check.exec(QStringLiteral("pragma table_info(Study)")))
        return false;
    while (check.next()) {
        columns << QStringLiteral("%1 %2 %3")
                       .arg(check.value(1).toString(), check.value(2).toString().toLower(), check.value(5).toString());
    }
    return columns.isEmpty() || columns == QStringList{QStringLiteral("id integer 1"), QStringLiteral("data text 0")};
}

void TLocalStudyStore::setIndexAside()
{
    QSqlDatabase database = QSqlDatabase::database();
    const QString path = database.databaseName();
    database.close();
    // Every damaged index is kept, one name each.
    const QString stamp = path + QStringLiteral(".broken-")
                          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    QString aside = stamp;
    for (int copy = 2; QFileInfo::exists(aside); ++copy)
        aside = stamp + QLatin1Char('-') + QString::number(copy);
    if (!QFile::rename(path, aside) || !database.open())
        throw std::runtime_error(QStringLiteral("Cannot set the damaged index %1 aside").arg(path).toStdString());
    TPrivateFiles::restrict(path);
}

// A file left without the table, an index set aside or study files copied
// into the folder: every study file that no row names is indexed, in one
// transaction.
void TLocalStudyStore::indexUnlistedStudyFiles()
{
    QSet<QString> listed;
    for (const TStudyInfo& row : listStudies())
        listed.insert(fromUtf8(row.baseFilename));
    QSqlDatabase database = QSqlDatabase::database();
    database.transaction();
    const QStringList files = QDir(m_studyDataFolder)
                                  .entryList(QStringList{QStringLiteral("*.") + TStudyFiles::StudyExtension},
                                             QDir::Files);
    for (const QString& name : files) {
        const QString base = QFileInfo(name).completeBaseName();
        if (listed.contains(base))
            continue;
        QJsonDocument document;
        if (!TStudyFiles::readStudyDocument(m_studyDataFolder + QLatin1Char('/') + name, document) || document.isEmpty())
            continue;
        const QJsonObject root = document.object();
        const QJsonObject study = root.value(QStringLiteral("study")).toObject();
        const QJsonObject patient = root.value(QStringLiteral("patient")).toObject();
        if (study.isEmpty() || patient.isEmpty())
            continue;
        TStudyInfo info;
        info.id = study.value(QStringLiteral("id")).toInt(0);
        info.baseFilename = toUtf8(study.value(QStringLiteral("baseFilename")).toString());
        info.status = toUtf8(study.value(QStringLiteral("status")).toString());
        info.studyType = toUtf8(study.value(QStringLiteral("studyType")).toString());
        info.studyDateTime = toUtf8(study.value(QStringLiteral("studyDateTime")).toString());
        info.firstName = toUtf8(TStudyJson::patientText(patient.value(QStringLiteral("firstName"))));
        info.lastName = toUtf8(TStudyJson::patientText(patient.value(QStringLiteral("lastName"))));
        // Only a row that opens this very file is of use.
        if (fromUtf8(info.baseFilename) != base || !TStudyFileName::staysInFolder(info.baseFilename))
            continue;
        try {
            // A row of this id that opens no study file (its text damaged)
            // names this file from now on; one that opens another file
            // keeps it, and this second file of the id stays unlisted.
            TStudyInfo existing;
            const bool indexed = getIndexRow(info.id, existing);
            if (indexed && TStudyFileName::staysInFolder(existing.baseFilename)
                && QFileInfo::exists(filePath(existing.baseFilename, TStudyFiles::StudyExtension)))
                continue;
            writeIndexRow(info, !indexed);
        } catch (const std::exception&) {
            continue;
        }
    }
    database.commit();
}

// Only studies whose ECG file was written after their study file (a
// recording in progress) or holds no sample are read; written within the
// same tick of the file clock counts as after.
void TLocalStudyStore::finishInterruptedRecordings()
{
    for (const TStudyInfo& row : listStudies()) {
        if (!TStudyFileName::staysInFolder(row.baseFilename))
            continue;
        const QFileInfo ecg(filePath(row.baseFilename, TStudyFiles::EcgExtension));
        const QFileInfo study(filePath(row.baseFilename, TStudyFiles::StudyExtension));
        if (ecg.isFile() && study.isFile()
            && (ecg.size() <= TEcgFile::DefaultHeaderSize || ecg.lastModified() >= study.lastModified()))
            finishInterruptedRecording(row);
    }
}

// A recording cut off by a crash keeps what reached the disk: its data
// files are cut to whole frames and records and it is marked interrupted
// (a study of an earlier version without a recording date-time too). One
// left while still monitoring, without a sample, is no study and goes.
void TLocalStudyStore::finishInterruptedRecording(const TStudyInfo& row)
{
    const QString studyPath = filePath(row.baseFilename, TStudyFiles::StudyExtension);
    std::unique_ptr<TStudy> study = TStudyFiles::loadStudyFile(studyPath);
    if (!study)
        return;
    const bool recording = study->propertyValue(TStudy::RecordingStateKey) == TStudy::RecordingInProgress;
    const bool neverDated = study->recordingDateTime().empty() || study->recordingDateTime() == TStudy::NoDateTime;
    if (!recording && !neverDated)
        return;
    const TEcgFile& ecg = *study->ecgFile();
    const qint64 ecgBytes = ecg.headerSize() + qint64(ecg.sampleCount()) * 2 * ecg.channelCount();
    const qint64 beatsBytes = study->beatsFile()->headerSize()
                              + qint64(study->beatsFile()->count()) * study->beatsFile()->recordSize();
    const bool empty = ecg.sampleCount() == 0;
    study->closeFiles();
    study->setId(row.id);
    if (empty && !recording)
        return;
    if (empty) {
        study.reset();
        deleteStudy(row.id);
        return;
    }
    QFile::resize(filePath(row.baseFilename, TStudyFiles::EcgExtension), ecgBytes);
    QFile::resize(filePath(row.baseFilename, TStudyFiles::BeatsExtension), beatsBytes);
    study->setProperty(TStudy::RecordingStateKey, TStudy::RecordingInterrupted);
    if (neverDated)
        study->setRecordingDateTime(study->studyDateTime());
    TStudyFiles::saveStudyFile(*study, studyPath);
    const TStudyInfo info = getStudyInfo(*study);
    writeIndexRow(info, false);
    m_interrupted.push_back(info);
}

void TLocalStudyStore::tightenPermissions()
{
    for (const QString& folder : privateFolders())
        TPrivateFiles::tightenFolder(folder);
}

// --- Index -------------------------------------------------------------------------

void TLocalStudyStore::writeIndexRow(const TStudyInfo& info, bool insert)
{
    QSqlQuery query(QSqlDatabase::database());
    query.prepare(insert ? QStringLiteral("insert into Study(id, data) values (:id, :data)")
                         : QStringLiteral("update Study set data = :data where id = :id"));
    query.bindValue(QStringLiteral(":id"), info.id);
    query.bindValue(QStringLiteral(":data"), QString::fromUtf8(TStudyJson::indexJson(info)));
    if (!query.exec())
        throwSqlError(query.lastError());
}

bool TLocalStudyStore::getIndexRow(int id, TStudyInfo& info)
{
    QSqlQuery query(QSqlDatabase::database());
    query.prepare(QStringLiteral("select data from Study where id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        throwSqlError(query.lastError());
    if (!query.next())
        return false;
    info.id = id;
    TStudyJson::readIndexJson(query.value(0).toString(), info);
    return true;
}

void TLocalStudyStore::deleteIndexRow(int id)
{
    QSqlQuery query(QSqlDatabase::database());
    query.prepare(QStringLiteral("delete from Study where id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        throwSqlError(query.lastError());
}

std::vector<TStudyInfo> TLocalStudyStore::listStudies()
{
    QSqlQuery query(QSqlDatabase::database());
    if (!query.prepare(QStringLiteral("select id, data from Study")) || !query.exec())
        throwSqlError(query.lastError());
    std::vector<TStudyInfo> studies;
    while (query.next()) {
        TStudyInfo info;
        info.id = query.value(0).toInt();
        TStudyJson::readIndexJson(query.value(1).toString(), info);
        studies.push_back(std::move(info));
    }
    return studies;
}

int TLocalStudyStore::newStudyId()
{
    for (;;) {
        const int id = m_ids.next();
        TStudyInfo existing;
        if (!getIndexRow(id, existing))
            return id;
    }
}

QString TLocalStudyStore::filePath(const std::string& baseFilename, const char* extension) const
{
    return TStudyFileName::studyPath(m_studyDataFolder, fromUtf8(baseFilename), QString::fromLatin1(extension));
}

bool TLocalStudyStore::isBaseFilenameUsed(const std::string& name) const
{
    for (const char* extension : TStudyFiles::StudyFileExtensions) {
        const QFileInfo file(filePath(name, extension));
        if (file.exists() || file.isSymLink())
            return true;
    }
    return false;
}

// The ECG file, created new only, claims the base name: a second process
// creating a study of the same name at the same moment fails there and
// takes the next suffix, so neither ever writes into the other's files.
std::unique_ptr<TEcgFile> TLocalStudyStore::claimEcgFile(TStudyInfo& info) const
{
    const std::string plain = TStudyFileName::baseFilename(info);
    for (int suffix = 1;; ++suffix) {
        info.baseFilename = suffix == 1 ? plain : plain + "-" + std::to_string(suffix);
        if (isBaseFilenameUsed(info.baseFilename))
            continue;
        const QString path = filePath(info.baseFilename, TStudyFiles::EcgExtension);
        try {
            return std::make_unique<TEcgFile>(path, info.channelCount, info.samplingRate,
                                              TEcgFile::DefaultHeaderSize, true);
        } catch (const std::runtime_error&) {
            if (!isBaseFilenameUsed(info.baseFilename))
                throw;
        }
    }
}

TStudy* TLocalStudyStore::createStudy(TStudyInfo& info)
{
    if (m_studyDataFolder.isEmpty())
        throw std::runtime_error("Undefined database path");

    info.id = newStudyId();
    auto study = std::make_unique<TStudy>(info.id);
    study->setEcgFile(claimEcgFile(info));
    const QString studyPath = filePath(info.baseFilename, TStudyFiles::StudyExtension);
    const QString ecgPath = filePath(info.baseFilename, TStudyFiles::EcgExtension);
    const QString beatsPath = filePath(info.baseFilename, TStudyFiles::BeatsExtension);
    try {
        TEcgFile& file = *study->ecgFile();
        file.setAmplitudeRange(-info.gain, info.gain);
        file.setResolution(info.resolution);
        const QStringList names = fromUtf8(info.channelNames).split(QLatin1Char(','));
        for (int c = 0; c < std::min(file.channelCount(), names.size()); ++c)
            file.setChannelName(c, names.at(c));

        study->setBeatsFile(std::make_unique<TBeatsFile>(&file, beatsPath, TBeatsFile::DefaultHeaderSize, true));

        setStudyInfo(*study, info);
        for (const TRiskFactorEntry& entry : info.riskFactors)
            study->addRiskFactor(entry.name, entry.present, entry.comment);

        if (!file.writeHeader(TStudyFiles::ecgHeader(*study, file))
            || !study->beatsFile()->writeHeader(TStudyFiles::beatsHeader()))
            throw std::runtime_error("Write error");
        TStudyFiles::saveStudyFile(*study, studyPath);
        writeIndexRow(info, true);
    } catch (...) {
        // Leave nothing half-made behind. The ECG file claimed the base
        // name, so these files are this call's own.
        study->closeFiles();
        QFile::remove(studyPath);
        QFile::remove(ecgPath);
        QFile::remove(beatsPath);
        throw;
    }

    TStudy* opened = study.get();
    m_openStudies[info.id] = std::move(study);
    return opened;
}

TStudy* TLocalStudyStore::openEntry(int id) const
{
    const auto at = m_openStudies.find(id);
    return at != m_openStudies.end() ? at->second.get() : nullptr;
}

TStudy* TLocalStudyStore::openStudy(int id)
{
    TStudyInfo info;
    if (m_studyDataFolder.isEmpty() || !getIndexRow(id, info))
        return nullptr;
    // Replacing an open study would pull it away from the window that
    // holds it: the study already open is answered instead.
    if (TStudy* open = openEntry(id))
        return open;
    if (!TStudyFileName::staysInFolder(info.baseFilename))
        return nullptr;
    std::unique_ptr<TStudy> study = TStudyFiles::loadStudyFile(filePath(info.baseFilename, TStudyFiles::StudyExtension));
    if (!study)
        return nullptr;
    study->setId(id);  // the index is the authority for the id of its file
    TStudy* opened = study.get();
    m_openStudies[id] = std::move(study);
    return opened;
}

void TLocalStudyStore::saveStudy(TStudy* study)
{
    if (study == nullptr || openEntry(study->id()) != study)
        return;
    const std::string baseFilename = study->propertyValue("baseFilename");
    if (!TStudyFileName::staysInFolder(baseFilename))
        throw std::runtime_error("Cannot create study file");
    TStudyFiles::saveStudyFile(*study, filePath(baseFilename, TStudyFiles::StudyExtension));
    writeIndexRow(getStudyInfo(*study), false);
}

void TLocalStudyStore::closeStudy(TStudy* study)
{
    if (study == nullptr || openEntry(study->id()) != study)
        return;
    m_openStudies.erase(study->id());
}

void TLocalStudyStore::deleteStudy(int id)
{
    if (isStudyOpen(id) || m_studyDataFolder.isEmpty())
        return;
    TStudyInfo info;
    if (!getIndexRow(id, info))
        return;
    if (TStudyFileName::staysInFolder(info.baseFilename)) {
        for (const char* extension : TStudyFiles::StudyFileExtensions)
            QFile::remove(filePath(info.baseFilename, extension));
    }
    deleteIndexRow(id);
}

bool TLocalStudyStore::isStudyOpen(int id)
{
    return m_openStudies.count(id) != 0;
}

TStudyInfo TLocalStudyStore::getStudyInfo(const TStudy& study)
{
    return studyInfoOf(study);
}

void TLocalStudyStore::setStudyInfo(TStudy& study, const TStudyInfo& info)
{
    applyStudyInfo(study, info);
}

std::unique_ptr<TStudy> TLocalStudyStore::loadStudyFile(const std::string& path)
{
    return TStudyFiles::loadStudyFile(fromLocal(path));
}

void TLocalStudyStore::saveStudyFile(const TStudy& study, const std::string& path)
{
    TStudyFiles::saveStudyFile(study, fromLocal(path));
}

std::string TLocalStudyStore::dataPath()
{
    return toUtf8(m_studyDataFolder);
}

bool TLocalStudyStore::hasFreeSpace()
{
    const qint64 available = availableBytes();
    return available < 0 || available >= MinimumFreeSpace;
}

qint64 TLocalStudyStore::availableBytes() const
{
    if (m_studyDataFolder.isEmpty())
        return -1;
    const QStorageInfo storage(m_studyDataFolder);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
}

bool TLocalStudyStore::isBaseFilenameOpen(const std::string& baseFilename) const
{
    for (const auto& entry : m_openStudies)
        if (entry.second->propertyValue("baseFilename") == baseFilename)
            return true;
    return false;
}

void TLocalStudyStore::reserved12() { unimplemented(); }
void TLocalStudyStore::reserved13() { unimplemented(); }
void TLocalStudyStore::reserved14() { unimplemented(); }
void TLocalStudyStore::reserved15() { unimplemented(); }
void TLocalStudyStore::reserved16() { unimplemented(); }
void TLocalStudyStore::reserved17() { unimplemented(); }
void TLocalStudyStore::reserved18() { unimplemented(); }
void TLocalStudyStore::reserved19() { unimplemented(); }
void TLocalStudyStore::reserved20() { unimplemented(); }
void TLocalStudyStore::reserved21() { unimplemented(); }
void TLocalStudyStore::reserved23() { unimplemented(); }
void TLocalStudyStore::reserved27() { unimplemented(); }
