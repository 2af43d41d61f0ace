#include "FuzzSeeds.h"

#include "pipeline/TReviewAnalysis.h"
#include "pipeline/TStudyExport.h"
#include "pipeline/TStudyRecording.h"
#include "storage/QZipFileCreator.h"
#include "storage/QZipFileExtractor.h"
#include "storage/TEcgFile.h"
#include "formats/TImportedRecording.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudy.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>

#include <stdexcept>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot read %1").arg(path).toStdString());
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error(QStringLiteral("Cannot write %1").arg(path).toStdString());
}

} // namespace

FuzzSeeds::FuzzSeeds(const QString& folder, const QString& ptbHeader) : m_folder(folder)
{
    if (!QDir().mkpath(dataFolder()))
        throw std::runtime_error(QStringLiteral("Cannot create %1").arg(dataFolder()).toStdString());
    makeRecord(ptbHeader);
    makeStudies();
    makeBomb();
}

// The record's first seconds: the frame count of the header's first line
// cut, and each signal file cut to as many frames.
void FuzzSeeds::makeRecord(const QString& ptbHeader)
{
    QList<QByteArray> lines = readFile(ptbHeader).split('\n');
    QList<QByteArray> record = lines[0].split(' ');
    const int rate = record.value(2).toInt();
    const int frames = SeedSeconds * rate;
    record[0] = "rec";
    record[3] = QByteArray::number(frames);
    lines[0] = record.join(' ');
    std::map<QByteArray, int> signalsPerFile;
    for (int i = 1; i < lines.size(); ++i) {
        QList<QByteArray> fields = lines[i].split(' ');
        if (lines[i].startsWith('#') || fields.size() < 2)
            continue;
        const QByteArray file = fields[0];
        ++signalsPerFile[file];
        fields[0] = "rec." + file.mid(file.lastIndexOf('.') + 1);
        lines[i] = fields.join(' ');
    }
    const QString source = QFileInfo(ptbHeader).absolutePath();
    for (const auto& [file, count] : signalsPerFile) {
        const QByteArray bytes = readFile(source + QLatin1Char('/') + QString::fromUtf8(file));
        writeFile(m_folder + QStringLiteral("/rec.") + QString::fromUtf8(file.mid(file.lastIndexOf('.') + 1)),
                  bytes.left(frames * count * 2));
    }
    writeFile(recordHeader(), lines.join('\n'));
}

void FuzzSeeds::makeStudies()
{
    TLocalStudyStore store(FolderName, home());
    const TImportedRecording imported = TImportedRecording::read(recordHeader());
    TStudyInfo info = imported.studyInfo("20240312103000");
    info.lastName = "Fuzz";
    info.firstName = "A";
    m_idA = TStudyRecording::recordStudy(store, imported.recording().leads(), info);
    m_baseA = QString::fromStdString(info.baseFilename);
    info.firstName = "B";
    m_idB = TStudyRecording::recordStudy(store, imported.recording().leads(), info);
    m_baseB = QString::fromStdString(info.baseFilename);
    store.exportStudy(m_idA, m_folder.toLocal8Bit().toStdString());
    QFile::rename(m_folder + QLatin1Char('/') + m_baseA + QStringLiteral(".pxz"), archive());

    TStudy* study = store.openStudy(m_idA);
    TReviewAnalysis analysis(*study);
    analysis.addStoredBeats();
    TStagedFiles files;
    TStudyExport::stage(files, *study, analysis, edf());
    files.commit();
    store.closeStudy(study);
    TStudy* victim = store.openStudy(m_idB);
    m_samplesB = victim->ecgFile()->sampleCount();
    store.closeStudy(victim);
}

// The study of A with an ECG member of zeros that inflates a thousandfold:
// the import must refuse it or bound it, never fill the disk.
void FuzzSeeds::makeBomb() const
{
    QZipFileExtractor source(archive());
    QZipFileCreator bomb(bombArchive());
    bomb.setComment(source.comment());
    for (const char* member : {"pxstudy", "pxbeats", "info"}) {
        QBuffer content;
        source.extract(QLatin1String(member), &content);
        bomb.addData(content.data(), QLatin1String(member));
    }
    bomb.addData(QByteArray(256 * 1024 * 1024, '\0'), QStringLiteral("pxecg"));
    bomb.close();
}

std::map<QString, QByteArray> FuzzSeeds::snapshot() const
{
    std::map<QString, QByteArray> files;
    QDirIterator it(m_folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(QLatin1String(".lock")))
            files[QDir(m_folder).relativeFilePath(path)] = readFile(path);
    }
    return files;
}
