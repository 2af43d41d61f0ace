#include "FuzzCase.h"

#include "FuzzSeeds.h"

#include "storage/QZipFileCreator.h"
#include "storage/QZipFileExtractor.h"
#include "storage/TEcgFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "storage/TStudyFiles.h"
#include "storage/TStudyJson.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <sys/stat.h>

#include <stdexcept>

namespace {

// Relative weights of the kinds, in Kind order: the storage cases are
// quick, the recordings go through the whole acquisition pipeline.
constexpr int KindWeights[] = {20, 8, 24, 2, 18, 12, 10, 6, 10, 4, 8, 4, 6};
// Values an ECG file header may not state: rates, resolutions and ranges
// of no recording.
const char* const ExtremeEcgHeaderFields[][2] = {
    {"\"samplingRate\":1000", "\"samplingRate\":2147483647"},
    {"\"samplingRate\":1000", "\"samplingRate\":1e308"},
    {"\"resolution\":16", "\"resolution\":2147483647"},
    {"\"gainMax\":300", "\"gainMax\":1e308"},
    {"\"gainMin\":-300", "\"gainMin\":300"},
};
// Rows a beats list may never hold: times that are no times.
const char* const GarbageRows[] = {"nan", "inf", "-9223372036854775808"};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error(QStringLiteral("Cannot write %1").arg(path).toStdString());
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files | QDir::Hidden))
        QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
    for (const QString& name : QDir(from).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        copyFolder(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
}

QByteArray member(const QString& archive, const char* name)
{
    QZipFileExtractor zip(archive);
    QBuffer content;
    zip.extract(QLatin1String(name), &content);
    return content.data();
}

// The archive's central-directory entry of a member: the offset of its
// "uncompressed size" field, -1 when not found.
int statedSizeField(const QByteArray& archive, const QByteArray& name)
{
    static const QByteArray signature("PK\x01\x02", 4);
    for (int at = archive.indexOf(signature); at >= 0; at = archive.indexOf(signature, at + 4)) {
        if (at + 46 > archive.size())
            return -1;
        const int nameLength = qFromLittleEndian<quint16>(archive.constData() + at + 28);
        if (archive.mid(at + 46, nameLength) == name)
            return at + 24;
    }
    return -1;
}

} // namespace

FuzzCase::FuzzCase(int number, unsigned seed, const FuzzSeeds& seeds, const QString& folder)
    : m_number(number), m_mutator(seed ^ (2654435761u * unsigned(number + 1))), m_seeds(seeds), m_folder(folder)
{
    int total = 0;
    for (int weight : KindWeights)
        total += weight;
    int draw = m_mutator.below(total);
    int kind = 0;
    while (draw >= KindWeights[kind])
        draw -= KindWeights[kind++];
    m_kind = Kind(kind);
}

QString FuzzCase::kindName(Kind kind)
{
    static const char* const names[] = {"study file",     "index",         "archive",      "archive bomb",
                                        "WFDB record",    "EDF file",      "study analysis", "special file",
                                        "extreme header", "plain EDF",     "appended bytes", "planted link",
                                        "reused id"};
    return QLatin1String(names[int(kind)]);
}

bool FuzzCase::usesDataFolder() const
{
    return m_kind == Kind::StudyFile || m_kind == Kind::Index || m_kind == Kind::Archive || m_kind == Kind::Bomb
           || m_kind == Kind::ReusedId || m_import || m_exports;
}

void FuzzCase::copySeedDataFolder() const
{
    copyFolder(m_seeds.dataFolder(), m_folder + QStringLiteral("/home/") + QLatin1String(FuzzSeeds::FolderName));
}

void FuzzCase::prepare(const QString& analyzer, const QString& self, QString& program, QStringList& arguments)
{
    for (const char* sub : {"input", "shared", "tmp", "config", "out", "home"})
        QDir().mkpath(m_folder + QLatin1Char('/') + QLatin1String(sub));
    const QString home = m_folder + QStringLiteral("/home");
    m_import = (m_kind == Kind::Wfdb || m_kind == Kind::Edf) && m_mutator.chance(30);
    bool storeCommand = false;
    QString input;
    switch (m_kind) {
    case Kind::StudyFile:
        input = prepareStudyFile();
        storeCommand = true;
        break;
    case Kind::Index:
        input = prepareIndex();
        storeCommand = true;
        break;
    case Kind::Archive:
    case Kind::Bomb:
        input = prepareArchive();
        storeCommand = true;
        break;
    case Kind::Wfdb:
    case Kind::Edf:
        input = prepareRecording(m_kind == Kind::Edf);
        break;
    case Kind::StudyAnalysis:
        input = prepareStudyFile();
        break;
    case Kind::ExtremeHeader:
        input = prepareExtremeHeader();
        break;
    case Kind::PlainEdf:
        input = m_folder + QStringLiteral("/input/rec.edf");
        writeFile(input, m_mutator.chance(70) ? FuzzMutator::plainEdf(readFile(m_seeds.edf()))
                                              : m_mutator.mutateEdf(FuzzMutator::plainEdf(readFile(m_seeds.edf()))));
        break;
    case Kind::AppendedGarbage:
        input = prepareGarbage();
        break;
    case Kind::PlantedLink:
        input = preparePlantedLinks(storeCommand);
        break;
    case Kind::ReusedId:
        input = prepareReusedId();
        storeCommand = true;
        break;
    case Kind::SpecialFile:
    case Kind::KindCount:
        input = prepareSpecialFile(storeCommand);
        break;
    }
    if (usesDataFolder() && !QFileInfo::exists(home + QLatin1Char('/') + QLatin1String(FuzzSeeds::FolderName)))
        copySeedDataFolder();
    if (storeCommand) {
        program = self;
        const QString shared = m_folder + QStringLiteral("/shared");
        if (m_exports)
            arguments = QStringList{QStringLiteral("--store-export"), home, shared, QString::number(m_seeds.idA())};
        else if (m_kind == Kind::ReusedId)
            arguments = QStringList{QStringLiteral("--store-import-keep"), home, input, shared};
        else if (input.endsWith(QLatin1String(".pxz")))
            arguments = QStringList{QStringLiteral("--store-import"), home, input, shared};
        else
            arguments = QStringList{QStringLiteral("--store-open"), home};
        return;
    }
    program = analyzer;
    const QString out = m_folder + QStringLiteral("/out/");
    arguments = QStringList{input, QStringLiteral("--beats"), out + QStringLiteral("beats.csv")};
    if (m_import)
        arguments << QStringLiteral("--import");
    if (m_kind == Kind::AppendedGarbage)
        arguments << QStringLiteral("--annotations") << out + QStringLiteral("beats.atr") << QStringLiteral("--export")
                  << out + (m_mutator.chance(50) ? QStringLiteral("x.edf") : QStringLiteral("x.hea"));
    if (m_kind == Kind::PlantedLink)
        arguments << QStringLiteral("--report") << out + QStringLiteral("r.pdf");
}

// One of study A's three files damaged, in the data folder (opened by the
// store) or as a study file given to the analysis.
QString FuzzCase::prepareStudyFile()
{
    const char* extension = TStudyFiles::StudyFileExtensions[m_mutator.below(3)];
    const bool inStore = m_kind == Kind::StudyFile;
    if (inStore)
        copySeedDataFolder();
    const QString folder = inStore ? QString(m_folder + QStringLiteral("/home/") + QLatin1String(FuzzSeeds::FolderName))
                                   : QString(m_folder + QStringLiteral("/input"));
    for (const char* other : TStudyFiles::StudyFileExtensions) {
        const QString name = QStringLiteral("%1/%2.%3").arg(folder, m_seeds.baseA(), QLatin1String(other));
        if (!inStore)
            writeFile(name, readFile(QStringLiteral("%1/%2.%3").arg(m_seeds.dataFolder(), m_seeds.baseA(),
                                                                   QLatin1String(other))));
    }
    const QString target = QStringLiteral("%1/%2.%3").arg(folder, m_seeds.baseA(), QLatin1String(extension));
    const QByteArray original = readFile(target);
    const int hotEnd = QByteArray(extension) == TStudyFiles::EcgExtension ? TEcgFile::DefaultHeaderSize : 600;
    writeFile(target, m_mutator.mutateBytes(original, hotEnd));
    return QStringLiteral("%1/%2.%3").arg(folder, m_seeds.baseA(), QLatin1String(TStudyFiles::StudyExtension));
}

QString FuzzCase::prepareIndex()
{
    copySeedDataFolder();
    const QString index = m_folder + QStringLiteral("/home/") + QLatin1String(FuzzSeeds::FolderName)
                          + QStringLiteral("/data/studies.sqlite");
    const QByteArray bytes = readFile(index);
    writeFile(index, m_mutator.mutateBytes(bytes, bytes.size()));
    return index;
}

QString FuzzCase::prepareArchive()
{
    const QString archive = m_folder + QStringLiteral("/shared/") + m_seeds.baseA() + QStringLiteral(".pxz");
    if (m_kind == Kind::Bomb) {
        QFile::copy(m_seeds.bombArchive(), archive);
        return archive;
    }
    QByteArray bytes = m_mutator.chance(50) ? readFile(m_seeds.archive()) : hostileArchive();
    if (m_mutator.chance(60))
        bytes = m_mutator.mutateBytes(bytes, bytes.size());
    writeFile(archive, bytes);
    return archive;
}

// An archive made to mislead: a study file without its patient, names that
// lead out of the data folder or onto study B, members missing, doubled,
// or stating sizes they do not have.
QByteArray FuzzCase::hostileArchive()
{
    QJsonObject info = QJsonDocument::fromJson(member(m_seeds.archive(), "info")).object();
    QByteArray study = member(m_seeds.archive(), "pxstudy");
    QByteArray ecg = member(m_seeds.archive(), "pxecg");
    const QByteArray beats = member(m_seeds.archive(), "pxbeats");
    const int trick = m_mutator.below(6);
    if (trick == 0) {
        QJsonDocument document;
        const QString path = m_folder + QStringLiteral("/tmp/s.pxstudy");
        writeFile(path, study);
        TStudyFiles::readStudyDocument(path, document);
        QJsonObject root = document.object();
        root.remove(QStringLiteral("patient"));
        study = QByteArray(TStudyFiles::StudyMagic) + TStudyFiles::compress(TStudyJson::compact(root));
    } else if (trick == 1) {
        const QString outside = QDir(m_folder).absoluteFilePath(QStringLiteral("../../outside/escape"));
        const QString names[] = {QStringLiteral("../../../../outside/escape"), outside, QStringLiteral(".."),
                                 QStringLiteral("a/b"), QStringLiteral("x\x01y"), QString(300, QLatin1Char('n'))};
        info.insert(QStringLiteral("baseFilename"), names[m_mutator.below(6)]);
    } else if (trick == 2) {
        info.insert(QStringLiteral("baseFilename"), m_seeds.baseB());
    }
    const QString path = m_folder + QStringLiteral("/tmp/hostile.pxz");
    {
        QZipFileCreator zip(path);
        zip.setComment(QLatin1String(TLocalStudyStore::ArchiveComment));
        zip.addData(study, QStringLiteral("pxstudy"));
        if (trick != 3)
            zip.addData(ecg, QStringLiteral("pxecg"));
        zip.addData(beats, QStringLiteral("pxbeats"));
        if (trick == 4)
            zip.addData(beats, QStringLiteral("pxecg"));
        zip.addData(TStudyJson::compact(info), QStringLiteral("info"));
        zip.close();
    }
    QByteArray bytes = readFile(path);
    const int field = statedSizeField(bytes, "pxecg");
    if (trick == 5 && field >= 0)
        qToLittleEndian<quint32>(m_mutator.chance(50) ? 100u : 0xfffffff0u, bytes.data() + field);
    return bytes;
}

void FuzzCase::copyRecord() const
{
    for (const QString& name : QDir(m_seeds.folder()).entryList({QStringLiteral("rec.*")}, QDir::Files)) {
        if (!name.endsWith(QLatin1String(".edf")))
            QFile::copy(m_seeds.folder() + QLatin1Char('/') + name, m_folder + QStringLiteral("/input/") + name);
    }
}

QString FuzzCase::prepareRecording(bool edf)
{
    const QString input = m_folder + QStringLiteral("/input/");
    if (edf) {
        writeFile(input + QStringLiteral("rec.edf"), m_mutator.mutateEdf(readFile(m_seeds.edf())));
        return input + QStringLiteral("rec.edf");
    }
    copyRecord();
    if (m_mutator.chance(60)) {
        writeFile(input + QStringLiteral("rec.hea"), m_mutator.mutateFields(readFile(input + QStringLiteral("rec.hea"))));
    } else {
        const QByteArray data = readFile(input + QStringLiteral("rec.dat"));
        writeFile(input + QStringLiteral("rec.dat"), m_mutator.mutateBytes(data, data.size()));
    }
    return input + QStringLiteral("rec.hea");
}

// Inputs that are not regular files: a pipe, a device, a folder, where a
// recording, a study file or an archive is expected.
QString FuzzCase::prepareSpecialFile(bool& storeCommand)
{
    static const char* const names[] = {"rec.hea", "rec.edf", "s.pxstudy", "x.pxz"};
    const QString name = QLatin1String(names[m_mutator.below(4)]);
    const bool archive = name.endsWith(QLatin1String(".pxz"));
    const QString path = m_folder + (archive ? QStringLiteral("/shared/") : QStringLiteral("/input/")) + name;
    const QByteArray encoded = QFile::encodeName(path);
    switch (m_mutator.below(4)) {
    case 0:
        mkfifo(encoded.constData(), 0600);
        break;
    case 1:
        QFile::link(QStringLiteral("/dev/zero"), path);
        break;
    case 2:
        QDir().mkpath(path);
        break;
    default:
        // A record whose signal file is the endless device.
        prepareRecording(false);
        QFile::remove(m_folder + QStringLiteral("/input/rec.dat"));
        QFile::link(QStringLiteral("/dev/zero"), m_folder + QStringLiteral("/input/rec.dat"));
        return m_folder + QStringLiteral("/input/rec.hea");
    }
    storeCommand = archive;
    if (archive)
        copySeedDataFolder();
    return path;
}

void FuzzCase::copyStudyA(const QString& folder) const
{
    for (const char* extension : TStudyFiles::StudyFileExtensions) {
        const QString name = QStringLiteral("/%1.%2").arg(m_seeds.baseA(), QLatin1String(extension));
        writeFile(folder + name, readFile(m_seeds.dataFolder() + name));
    }
}

// A WFDB record, an EDF file or a study's ECG header stating a value no
// recording has.
QString FuzzCase::prepareExtremeHeader()
{
    const QString input = m_folder + QStringLiteral("/input");
    switch (m_mutator.below(3)) {
    case 0:
        copyRecord();
        writeFile(input + QStringLiteral("/rec.hea"), m_mutator.extremeWfdbHeader(readFile(m_seeds.recordHeader())));
        return input + QStringLiteral("/rec.hea");
    case 1:
        writeFile(input + QStringLiteral("/rec.edf"), m_mutator.extremeEdf(readFile(m_seeds.edf())));
        return input + QStringLiteral("/rec.edf");
    default: {
        copyStudyA(input);
        const QString ecg = QStringLiteral("%1/%2.%3").arg(input, m_seeds.baseA(), QLatin1String(TStudyFiles::EcgExtension));
        QByteArray bytes = readFile(ecg);
        const auto& field = ExtremeEcgHeaderFields[m_mutator.below(int(std::size(ExtremeEcgHeaderFields)))];
        QByteArray header = bytes.left(TEcgFile::DefaultHeaderSize).replace(field[0], field[1]);
        header = header.left(TEcgFile::DefaultHeaderSize);
        bytes.replace(0, header.size(), header);
        writeFile(ecg, bytes);
        return QStringLiteral("%1/%2.%3").arg(input, m_seeds.baseA(), QLatin1String(TStudyFiles::StudyExtension));
    }
    }
}

// Study A with bytes appended to one of its files (most often the beats
// file), analysed with every output that reads its beats.
QString FuzzCase::prepareGarbage()
{
    const QString input = m_folder + QStringLiteral("/input");
    copyStudyA(input);
    const int which = m_mutator.chance(70) ? 2 : m_mutator.below(2);
    const int units[] = {64, 2 * 14, 56 + 80 * 14};
    const QString target = QStringLiteral("%1/%2.%3").arg(input, m_seeds.baseA(),
                                                         QLatin1String(TStudyFiles::StudyFileExtensions[which]));
    writeFile(target, m_mutator.appendGarbage(readFile(target), units[which]));
    return QStringLiteral("%1/%2.%3").arg(input, m_seeds.baseA(), QLatin1String(TStudyFiles::StudyExtension));
}

QString FuzzCase::outsidePath(const char* name) const
{
    return QDir(m_folder).absoluteFilePath(QStringLiteral("../../outside/%1-%2").arg(QLatin1String(name)).arg(m_number));
}

// Links planted where a writer might put its temporary files, aimed
// outside the case: an export of study A to the shared folder, or the
// outputs of an analysis. Whatever they lead to must stay untouched.
QString FuzzCase::preparePlantedLinks(bool& storeCommand)
{
    if (m_mutator.chance(40)) {
        m_exports = true;
        storeCommand = true;
        const QString archive = m_folder + QStringLiteral("/shared/") + m_seeds.baseA() + QStringLiteral(".pxz");
        QFile::link(outsidePath("archive"), archive + QStringLiteral(".part"));
        QFile::link(outsidePath("archive-tmp"), archive + QStringLiteral(".tmp"));
        return archive;
    }
    const QString out = m_folder + QStringLiteral("/out/");
    for (const char* name : {"beats.csv", "r.pdf"}) {
        QFile::link(outsidePath(name), out + QLatin1String(name) + QStringLiteral(".part"));
        QFile::link(outsidePath("hidden"), out + QLatin1Char('.') + QLatin1String(name) + QStringLiteral(".part"));
    }
    copyRecord();
    return m_folder + QStringLiteral("/input/rec.hea");
}

// Study A's own archive, its study changed and claiming to be exported in
// the far future; or naming other files inside than the archive does; or
// reusing study B's id under A's file names. The local studies stay as
// they are unless the operator chooses (here: never).
QByteArray FuzzCase::studyOfA(const std::function<void(QJsonObject&)>& change) const
{
    QJsonDocument document;
    const QString path = m_folder + QStringLiteral("/tmp/a.pxstudy");
    writeFile(path, member(m_seeds.archive(), "pxstudy"));
    TStudyFiles::readStudyDocument(path, document);
    QJsonObject root = document.object();
    change(root);
    return QByteArray(TStudyFiles::StudyMagic) + TStudyFiles::compress(TStudyJson::compact(root));
}

QString FuzzCase::prepareReusedId()
{
    QJsonObject info = QJsonDocument::fromJson(member(m_seeds.archive(), "info")).object();
    info.insert(QStringLiteral("exportDateTime"), QStringLiteral("99991231235959"));
    const auto edit = [](const char* key, const QJsonValue& value) {
        return [key, value](QJsonObject& root) {
            QJsonObject study = root.value(QStringLiteral("study")).toObject();
            study.insert(QLatin1String(key), value);
            root.insert(QStringLiteral("study"), study);
        };
    };
    QByteArray study;
    switch (m_mutator.below(3)) {
    case 0:
        study = studyOfA(edit("conclusion", QStringLiteral("replaced from outside")));
        break;
    case 1:
        study = studyOfA(edit("baseFilename", m_seeds.baseB()));
        break;
    default:
        study = studyOfA(edit("id", m_seeds.idB()));
        break;
    }
    const QString archive = m_folder + QStringLiteral("/shared/") + m_seeds.baseA() + QStringLiteral(".pxz");
    QZipFileCreator zip(archive);
    zip.setComment(QLatin1String(TLocalStudyStore::ArchiveComment));
    zip.addData(study, QStringLiteral("pxstudy"));
    zip.addData(member(m_seeds.archive(), "pxecg"), QStringLiteral("pxecg"));
    zip.addData(member(m_seeds.archive(), "pxbeats"), QStringLiteral("pxbeats"));
    zip.addData(TStudyJson::compact(info), QStringLiteral("info"));
    zip.close();
    return archive;
}

bool FuzzCase::localStudiesChanged() const
{
    const QString folder = m_folder + QStringLiteral("/home/") + QLatin1String(FuzzSeeds::FolderName);
    for (const QString& base : {m_seeds.baseA(), m_seeds.baseB()}) {
        for (const char* extension : TStudyFiles::StudyFileExtensions) {
            const QString name = QStringLiteral("/%1.%2").arg(base, QLatin1String(extension));
            if (readFile(folder + name) != readFile(m_seeds.dataFolder() + name))
                return true;
        }
    }
    return false;
}

bool FuzzCase::studyLost(int id, int samples) const
{
    TLocalStudyStore store(FuzzSeeds::FolderName, m_folder + QStringLiteral("/home"));
    TStudyInfo row;
    if (!store.getIndexRow(id, row))
        return true;
    TStudy* study = store.openStudy(id);
    const bool lost = study == nullptr || (samples > 0 ? study->ecgFile()->sampleCount() != samples
                                                       : study->ecgFile()->sampleCount() == 0);
    if (study)
        store.closeStudy(study);
    return lost;
}

FuzzCase::Verdict FuzzCase::judge(const FuzzRunner::Outcome& outcome, qint64 memoryBlowUpBytes) const
{
    Verdict verdict;
    const bool outOfMemory = outcome.errorText.contains(QLatin1String("bad_alloc"));
    verdict.hung = outcome.ending == FuzzRunner::Ending::TimedOut;
    verdict.crashed = outcome.ending == FuzzRunner::Ending::Crashed && !outOfMemory;
    verdict.memory = outOfMemory || outcome.maxResidentBytes > memoryBlowUpBytes;
    if (usesDataFolder()) {
        try {
            // Study A may be the damaged input itself; B never is.
            const bool aDamaged = m_kind == Kind::StudyFile;
            verdict.lost = studyLost(m_seeds.idB(), m_seeds.samplesB()) || (!aDamaged && studyLost(m_seeds.idA(), 0));
        } catch (const std::exception& error) {
            verdict.lost = true;
            verdict.detail = QString::fromUtf8(error.what());
        }
    }
    const bool succeeded = outcome.ending == FuzzRunner::Ending::Exited && outcome.exitCode == 0;
    if (m_kind == Kind::ReusedId && localStudiesChanged()) {
        verdict.lost = true;
        verdict.detail = QStringLiteral("a local study was replaced unasked");
    }
    if (m_kind == Kind::ExtremeHeader && succeeded) {
        verdict.accepted = true;
        verdict.detail = QStringLiteral("a header no recording has was taken in");
    }
    if (m_kind == Kind::AppendedGarbage && succeeded) {
        const QByteArray beats = readFile(m_folder + QStringLiteral("/out/beats.csv"));
        for (const char* row : GarbageRows) {
            if (beats.contains(row)) {
                verdict.accepted = true;
                verdict.detail = QStringLiteral("the beats list holds \"%1\"").arg(QLatin1String(row));
            }
        }
    }
    if (verdict.detail.isEmpty())
        verdict.detail = outcome.errorText.left(300).trimmed();
    return verdict;
}
