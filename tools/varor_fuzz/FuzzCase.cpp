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
constexpr int KindWeights[] = {20, 8, 24, 2, 18, 12, 10, 6};

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
    static const char* const names[] = {"study file", "index", "archive", "archive bomb", "WFDB record",
                                        "EDF file", "study analysis", "special file"};
    return QLatin1String(names[int(kind)]);
}

bool FuzzCase::usesDataFolder() const
{
    return m_kind == Kind::StudyFile || m_kind == Kind::Index || m_kind == Kind::Archive || m_kind == Kind::Bomb
           || m_import;
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
    case Kind::SpecialFile:
    case Kind::KindCount:
        input = prepareSpecialFile(storeCommand);
        break;
    }
    if (usesDataFolder() && !QFileInfo::exists(home + QLatin1Char('/') + QLatin1String(FuzzSeeds::FolderName)))
        copySeedDataFolder();
    if (storeCommand) {
        program = self;
        arguments = input.endsWith(QLatin1String(".pxz"))
                        ? QStringList{QStringLiteral("--store-import"), home, input, m_folder + QStringLiteral("/shared")}
                        : QStringList{QStringLiteral("--store-open"), home};
        return;
    }
    program = analyzer;
    arguments = QStringList{input, QStringLiteral("--beats"), m_folder + QStringLiteral("/out/beats.csv")};
    if (m_import)
        arguments << QStringLiteral("--import");
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

QString FuzzCase::prepareRecording(bool edf)
{
    const QString input = m_folder + QStringLiteral("/input/");
    if (edf) {
        writeFile(input + QStringLiteral("rec.edf"), m_mutator.mutateEdf(readFile(m_seeds.edf())));
        return input + QStringLiteral("rec.edf");
    }
    for (const QString& name : QDir(m_seeds.folder()).entryList({QStringLiteral("rec.*")}, QDir::Files)) {
        if (!name.endsWith(QLatin1String(".edf")))
            QFile::copy(m_seeds.folder() + QLatin1Char('/') + name, input + name);
    }
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
    if (verdict.detail.isEmpty())
        verdict.detail = outcome.errorText.left(300).trimmed();
    return verdict;
}
