// varor-analyze run as a program: on the PTB record it finds the beats and
// measurements the application finds when the same signal is recorded
// through the acquisition pipeline and reviewed in the review window, and
// again when analysed from its EDF+ export; bad input gives a message, a
// failing exit code and no output file. On records of the Lobachevsky
// University database its PR, QRS and QT agree with the cardiologists'.
#include "tests/e2e/E2eSupport.h"

#include "acquisition/TFastReplaySource.h"
#include "pipeline/TStudyRecording.h"
#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatMatching.h"
#include "analysis/beats/TIntervalMeasures.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/latepotentials/TLatePotentialsAssessment.h"
#include "pipeline/TStudyLatePotentials.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/beats/TMultiLeadDelineator.h"
#include "pipeline/TReviewAnalysis.h"
#include "analysis/signal/TSignal.h"
#include "pipeline/TLatePotentialLimits.h"
#include "storage/TBeatsFile.h"
#include "storage/TDataFolderLock.h"
#include "storage/TFileNameCodec.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "formats/TWfdbAnnotations.h"
#include "formats/TWfdbDeviceRecording.h"

#include "tests/settings/TempSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace e2e;

const QString PtbHeader = QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea");

struct CommandResult {
    int exitCode = -1;
    QByteArray output;
    QString error;
};

// Runs the program with settings and data folders of its own.
class AnalyzeProgram {
public:
    void start(QProcess& process, const QStringList& arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_data.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VAROR_ANALYZE_PATH), arguments);
    }

    CommandResult run(const QStringList& arguments) const
    {
        QProcess process;
        start(process, arguments);
        process.waitForFinished(120000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
                QString::fromUtf8(process.readAllStandardError())};
    }
    QString dataFolder() const { return m_data.path(); }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_data;
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each of `keys` has the same value in both documents.
void expectSameValues(const QJsonObject& actual, const QJsonObject& expected, std::initializer_list<const char*> keys,
                      const QString& what = QString())
{
    for (const char* key : keys)
        EXPECT_EQ(actual.value(QLatin1String(key)), expected.value(QLatin1String(key))) << key << " " << what.toStdString();
}

// The PTB record recorded as the application records a study: its device
// frames replayed through the acquisition pipeline from the first sample
// to the last.
TStudy* recordPtbStudy(TLocalStudyStore& store)
{
    const TWfdbDeviceRecording recording = TWfdbDeviceRecording::read(PtbHeader);
    const int leads = TLeadSet::LeadCount;
    QByteArray frames;
    for (qint64 frame = 0; frame < recording.frameCount(); ++frame) {
        for (int lead = 0; lead < leads; ++lead) {
            const qint16 value = qToLittleEndian(recording.leads()[std::size_t(lead)][std::size_t(frame)]);
            frames.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
    }
    const int rate = TWfdbDeviceRecording::SampleRate;
    TFastReplaySource source(frames, leads, rate, recording.frameCount());

    TStudyInfo info;
    info.lastName = "Reference";
    info.firstName = "PTB";
    info.studyDateTime = "20240312103000";
    info.studyType = "VA ROR";
    info.sampleFormat = "short";
    info.samplingRate = rate;
    info.channelCount = leads;
    info.channelNames = TLeadSet::leadNamesText().toStdString();
    info.resolution = 16;
    info.gain = 300.0;
    TStudy* study = store.createStudy(info);
    TStudyRecording::recordReplay(source, study, "20240312103000");
    store.saveStudy(study);
    store.closeStudy(study);
    return store.openStudy(info.id);
}

std::vector<qint64> beatSamples(const TBeatsFile& beats)
{
    std::vector<qint64> samples;
    TBeat beat;
    for (int index = 0; beats.read(index, beat); ++index)
        samples.push_back(std::llround(beat.value(TBeat::QrsTime) * 1000.0));
    return samples;
}

std::vector<qint64> csvSamples(const QByteArray& csv)
{
    std::vector<qint64> samples;
    for (const QByteArray& line : csv.split('\n')) {
        if (!line.isEmpty())
            samples.push_back(line.split(',').front().toLongLong());
    }
    return samples;
}

TEST(AnalyzeCommand, PtbRecordGivesTheBeatsAndMeasurementsOfTheApplication)
{
    AnalyzeProgram program;
    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("beats.csv"));
    const QString annotations = out.filePath(QStringLiteral("beats.qrs"));
    const CommandResult result =
        program.run({PtbHeader, QStringLiteral("--cutoff"), QStringLiteral("25"), QStringLiteral("--beats"), csv,
                     QStringLiteral("--annotations"), annotations});
    ASSERT_EQ(result.exitCode, 0) << result.error.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(result.output).object();
    ASSERT_FALSE(json.isEmpty()) << result.output.toStdString();

    // The application: recorded, then reviewed (the review window opens
    // with the 25 Hz cutoff).
    TempSettings settings;
    QTemporaryDir base;
    TLocalStudyStore store("PulsorixVAROR", base.path());
    TStudy* study = recordPtbStudy(store);
    ASSERT_NE(study, nullptr);
    EcgReviewWindow review(nullptr, study, &store);
    review.show();
    ASSERT_TRUE(QTest::qWaitFor([&review] { return review.isAnalysed(); }, LongWaitMs));

    const std::vector<qint64> beats = beatSamples(*study->beatsFile());
    EXPECT_GT(beats.size(), 40u);
    EXPECT_EQ(csvSamples(readAll(csv)), beats);
    std::vector<qint64> annotated;
    for (const TWfdbAnnotation& annotation : TWfdbAnnotations::read(annotations))
        annotated.push_back(annotation.sample);
    EXPECT_EQ(annotated, beats) << "annotations at the record's own 1000 Hz";
    EXPECT_EQ(json.value(QStringLiteral("beats")).toObject().value(QStringLiteral("detected")).toInt(),
              int(beats.size()));

    const QJsonObject marks = json.value(QStringLiteral("marks")).toObject();
    for (const char* name : TReviewAnalysis::markNames())
        EXPECT_NEAR(marks.value(QLatin1String(name)).toDouble(), study->results().find(QLatin1String(name))->value() * 1000.0,
                    0.051)
            << name;
    const QJsonObject boundaries = json.value(QStringLiteral("boundaries")).toObject();
    for (const TMultiLeadBoundaries::Names& names : TMultiLeadBoundaries::names())
        EXPECT_NEAR(boundaries.value(QLatin1String(names.mark)).toDouble(),
                    study->results().find(QLatin1String(names.result))->value() * 1000.0, 0.051)
            << names.result;
    const TIntervalMeasures intervals = TIntervalMeasures::fromWaveMarks(study->results());
    const QJsonObject printed = json.value(QStringLiteral("intervals")).toObject();
    EXPECT_EQ(printed.value(QStringLiteral("PR")).toInt(), intervals.pr.value_or(-1));
    EXPECT_EQ(printed.value(QStringLiteral("QRS")).toInt(), intervals.qrs.value_or(-1));
    EXPECT_EQ(printed.value(QStringLiteral("QT")).toInt(), intervals.qt.value_or(-1));

    const QJsonObject late = json.value(QStringLiteral("latePotentials")).toObject();
    const TLatePotentials& potentials = review.latePotentials();
    EXPECT_EQ(potentials.highPassCutoff(), 25);
    EXPECT_EQ(late.value(QStringLiteral("QRSD")).toInt(), potentials.QRSD());
    EXPECT_EQ(late.value(QStringLiteral("RMS")).toInt(), potentials.RMS());
    EXPECT_EQ(late.value(QStringLiteral("LAS")).toInt(), potentials.LAS());

    // Quality, criteria and verdict as the review window judges them.
    const TLatePotentialsAssessment assessment =
        TStudyLatePotentials::assess(*study, potentials, TLatePotentialLimits::fromSettings());
    const QJsonObject quality = json.value(QStringLiteral("quality")).toObject();
    EXPECT_DOUBLE_EQ(quality.value(QStringLiteral("noise")).toDouble(), assessment.noiseMicrovolts);
    EXPECT_EQ(quality.value(QStringLiteral("beatsAveraged")).toInt(), assessment.beatsAveraged);
    const QJsonObject criteria = json.value(QStringLiteral("criteria")).toObject();
    EXPECT_EQ(criteria.value(QStringLiteral("verdict")).toString(),
              TLatePotentialsAssessment::verdictText(assessment.verdict));
    QStringList reasons;
    for (const QJsonValue& reason : criteria.value(QStringLiteral("reasons")).toArray())
        reasons << reason.toString();
    EXPECT_EQ(reasons, assessment.reasons);
    EXPECT_EQ(criteria.value(QStringLiteral("QRSD")).toObject().value(QStringLiteral("value")).toInt(),
              int(assessment.qrsd.value));
}

// --- Intervals against cardiologists' wave boundaries ---------------------

// The cardiologists' PR, QRS and QT of a record of data/ludb (README there):
// -1 for a record without P waves.
struct ReferenceIntervals {
    int pr;
    int qrs;
    int qt;
};

// The printed document of varor-analyze for a WFDB record.
QJsonObject analysedRecord(const QString& header)
{
    const CommandResult result = AnalyzeProgram().run({header});
    EXPECT_EQ(result.exitCode, 0) << result.error.toStdString();
    return QJsonDocument::fromJson(result.output).object();
}

QString ludbHeader(const char* record)
{
    return QStringLiteral(VAROR_DATA_DIR "/ludb/%1.hea").arg(QLatin1String(record));
}

// PR, QRS and QT within `tolerance` ms of the reference; no PR where the
// reference has none.
void expectIntervals(const QJsonObject& document, const ReferenceIntervals& reference, const ReferenceIntervals& tolerance,
                     const char* record)
{
    const QJsonObject intervals = document.value(QStringLiteral("intervals")).toObject();
    if (reference.pr < 0)
        EXPECT_TRUE(intervals.value(QStringLiteral("PR")).isNull()) << record;
    else
        EXPECT_NEAR(intervals.value(QStringLiteral("PR")).toDouble(-1000), reference.pr, tolerance.pr) << record;
    EXPECT_NEAR(intervals.value(QStringLiteral("QRS")).toDouble(-1000), reference.qrs, tolerance.qrs) << record;
    EXPECT_NEAR(intervals.value(QStringLiteral("QT")).toDouble(-1000), reference.qt, tolerance.qt) << record;
}

// Atrial flutter (35, 132 beats per minute: the next QRS follows the T wave
// closely) and atrial fibrillation (38) have no P wave: no PR, while QRS and
// QT, which do not depend on it, are reported.
TEST(AnalyzeCommand, RecordsWithoutPWavesReportQrsAndQtButNoPr)
{
    expectIntervals(analysedRecord(ludbHeader("35")), {-1, 102, 299}, {0, 10, 30}, "35");
    expectIntervals(analysedRecord(ludbHeader("38")), {-1, 96, 336}, {0, 10, 30}, "38");
}

// A paced record of ten beats (74), two of them timed on the pacemaker's
// spike: the running mean RR never fits the rhythm long enough for a
// template while it runs, and the regular beats still give one at the end.
// The spike 80 ms before the QRS gives no P onset (no PR), since no
// conducted P wave starts that close to the QRS.
TEST(AnalyzeCommand, APacedShortRecordIsMeasuredWithoutAPr)
{
    expectIntervals(analysedRecord(ludbHeader("74")), {-1, 147, 454}, {0, 10, 30}, "74");
}

// A complete right bundle branch block (10): the slurred end of the QRS
// shows in some leads only, and the QRS ends where most leads have ended it.
// A small P wave over a PR segment that atrial repolarisation depresses
// (92): its onset is not drawn back to the level of that segment.
TEST(AnalyzeCommand, QrsEndAndPOnsetFollowTheCardiologists)
{
    expectIntervals(analysedRecord(ludbHeader("10")), {195, 124, 421}, {15, 15, 30}, "10");
    expectIntervals(analysedRecord(ludbHeader("92")), {151, 84, 348}, {20, 10, 30}, "92");
}

// A recording of seven beats (1) is averaged and measured; noise on one of
// its twelve leads moves no boundary, since each is a median over the leads.
TEST(AnalyzeCommand, SevenBeatsAreMeasuredAndOneNoisyLeadMovesNoBoundary)
{
    const QJsonObject clean = analysedRecord(ludbHeader("1"));
    EXPECT_EQ(clean.value(QStringLiteral("beats")).toObject().value(QStringLiteral("detected")).toInt(), 7);
    EXPECT_EQ(clean.value(QStringLiteral("averagedBeats")).toObject().value(QStringLiteral("V5")).toInt(), 7);
    expectIntervals(clean, {140, 80, 482}, {10, 10, 30}, "1");

    // Lead V2 (the eighth of twelve 16-bit samples a frame) with uniform
    // noise of +-0.2 mV (gain 1572 per mV).
    QTemporaryDir folder;
    QByteArray samples = readAll(QStringLiteral(VAROR_DATA_DIR "/ludb/1.dat"));
    ASSERT_EQ(samples.size(), 5000 * 12 * 2);
    std::uint32_t state = 12345;
    for (int frame = 0; frame < 5000; ++frame) {
        char* sample = samples.data() + (frame * 12 + 7) * 2;
        state = state * 1664525u + 1013904223u;
        const int noise = int(state >> 16) % 629 - 314;
        qToLittleEndian<qint16>(qint16(qFromLittleEndian<qint16>(sample) + noise), sample);
    }
    QFile noisy(folder.filePath(QStringLiteral("1.dat")));
    ASSERT_TRUE(noisy.open(QIODevice::WriteOnly) && noisy.write(samples) == samples.size());
    noisy.close();
    ASSERT_TRUE(QFile::copy(ludbHeader("1"), folder.filePath(QStringLiteral("1.hea"))));
    const QJsonObject intervals =
        analysedRecord(folder.filePath(QStringLiteral("1.hea"))).value(QStringLiteral("intervals")).toObject();
    const QJsonObject cleanIntervals = clean.value(QStringLiteral("intervals")).toObject();
    for (const char* name : {"PR", "QRS", "QT"})
        EXPECT_NEAR(intervals.value(QLatin1String(name)).toDouble(-1000),
                    cleanIntervals.value(QLatin1String(name)).toDouble(), 4) << name;
}

// A run that fails after the record was imported (its beats file cannot be
// written) takes the study out again; a run that succeeds leaves it there.
TEST(AnalyzeCommand, TallPWavesOfARealRecordDoNotPushTheirQrsOut)
{
    // Record 108's MLII: P waves nearly as tall as the QRS, PR 0.2 s and
    // more. Every beat of the cardiologists' reference is stored.
    const QString header = QStringLiteral(VAROR_DATA_DIR "/mitdb/108x.hea");
    QTemporaryDir folder;
    const QString annotations = folder.filePath(QStringLiteral("108x.qrs"));
    const CommandResult result = AnalyzeProgram().run({header, QStringLiteral("--annotations"), annotations});
    ASSERT_EQ(result.exitCode, 0) << result.error.toStdString();
    const double rate = 360.0;
    const std::vector<double> reference =
        TWfdbAnnotations::beatTimes(QStringLiteral(VAROR_DATA_DIR "/mitdb/108x.atr"), rate);
    const TBeatMatching score = TBeatMatching::match(reference, TWfdbAnnotations::beatTimes(annotations, rate));
    ASSERT_EQ(reference.size(), 24u);
    EXPECT_EQ(score.falseNegatives, 0);
}

TEST(AnalyzeCommand, ImportedRecordIsAStudyOfTheDataFolder)
{
    AnalyzeProgram program;
    QTemporaryDir out;
    {
        // While the application holds the data folder, an import waits for
        // it, saying so, and goes on once it is free.
        const QString folder = program.dataFolder() + QStringLiteral("/PulsorixVAROR");
        ASSERT_TRUE(QDir().mkpath(folder));
        auto application = std::make_unique<TDataFolderLock>(folder);
        QProcess waiting;
        program.start(waiting, {PtbHeader, QStringLiteral("--import")});
        QByteArray told;
        while (!told.contains("waiting up to") && waiting.state() != QProcess::NotRunning) {
            waiting.waitForReadyRead(1000);
            told += waiting.readAllStandardError();
        }
        EXPECT_TRUE(told.contains("is in use by another copy of the program; waiting up to")) << told.toStdString();
        EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*.pxstudy")}).isEmpty());
        application.reset();
        ASSERT_TRUE(waiting.waitForFinished(120000));
        EXPECT_EQ(waiting.exitCode(), 0) << waiting.readAllStandardError().toStdString();
        TLocalStudyStore store("PulsorixVAROR", program.dataFolder());
        ASSERT_EQ(store.listStudies().size(), 1u);
        store.deleteStudy(store.listStudies().front().id);
    }
    const CommandResult failed = program.run(
        {PtbHeader, QStringLiteral("--import"), QStringLiteral("--beats"), out.filePath(QStringLiteral("gone/beats.csv"))});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.error.contains(QStringLiteral("Cannot write"))) << failed.error.toStdString();
    EXPECT_TRUE(TLocalStudyStore("PulsorixVAROR", program.dataFolder()).listStudies().empty());

    const CommandResult result = program.run({PtbHeader, QStringLiteral("--import")});
    ASSERT_EQ(result.exitCode, 0) << result.error.toStdString();
    const QJsonObject imported = QJsonDocument::fromJson(result.output).object();
    const int id = imported.value(QStringLiteral("importedStudy")).toInt(-1);
    QString studyFile;
    {
        TLocalStudyStore store("PulsorixVAROR", program.dataFolder());
        ASSERT_EQ(store.listStudies().size(), 1u);
        TStudy* study = store.openStudy(id);
        ASSERT_NE(study, nullptr);
        EXPECT_EQ(study->propertyValue(TStudy::patientKey("lastName")), "s0010_re");
        EXPECT_NE(study->results().find(QStringLiteral("QRSOnset"))->value(), 0.0) << "stored with its analysis";
        studyFile = QStringLiteral("%1/%2.pxstudy")
                        .arg(QString::fromStdString(store.dataPath()),
                             QString::fromStdString(study->propertyValue("baseFilename")));
        store.closeStudy(study);
    }

    // Analysed again as a stored study, by id and by file: its stored beats
    // and marks give the same figures.
    for (const QString& input : {QString::number(id), studyFile}) {
        const CommandResult again = program.run({input});
        ASSERT_EQ(again.exitCode, 0) << again.error.toStdString();
        const QJsonObject json = QJsonDocument::fromJson(again.output).object();
        expectSameValues(json, imported, {"beats", "marks", "intervals", "latePotentials", "criteria"},
                         QStringLiteral("of ") + input);
    }
}

// A recording with its start (EDF+) taken in a second time is refused,
// naming the study that holds it, and the store keeps one study.
TEST(AnalyzeCommand, ARecordingAlreadyInTheStoreIsNotImportedAgain)
{
    AnalyzeProgram program;
    QTemporaryDir out;
    const QString edf = out.filePath(QStringLiteral("s0010_re.edf"));
    ASSERT_EQ(program.run({PtbHeader, QStringLiteral("--export"), edf}).exitCode, 0);
    const CommandResult first = program.run({edf, QStringLiteral("--import")});
    ASSERT_EQ(first.exitCode, 0) << first.error.toStdString();
    const int id = QJsonDocument::fromJson(first.output).object().value(QStringLiteral("importedStudy")).toInt(-1);

    const CommandResult again = program.run({edf, QStringLiteral("--import")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.error.contains(QStringLiteral("already in the store as study %1").arg(id)))
        << again.error.toStdString();
    EXPECT_EQ(TLocalStudyStore("PulsorixVAROR", program.dataFolder()).listStudies().size(), 1u);
}

// The PTB record written out by one run and analysed from that file by
// the next: the same samples give the same figures.
void expectExportAnalysedAgainGivesTheSameFigures(const QString& exportFile)
{
    AnalyzeProgram program;
    const CommandResult first = program.run({PtbHeader, QStringLiteral("--export"), exportFile});
    ASSERT_EQ(first.exitCode, 0) << first.error.toStdString();
    const CommandResult again = program.run({exportFile});
    ASSERT_EQ(again.exitCode, 0) << again.error.toStdString();
    const QJsonObject recorded = QJsonDocument::fromJson(first.output).object();
    const QJsonObject exported = QJsonDocument::fromJson(again.output).object();
    expectSameValues(exported, recorded,
                     {"duration", "beats", "heartRate", "marks", "intervals", "latePotentials", "criteria"});
}

TEST(AnalyzeCommand, EdfExportAnalysedAgainGivesTheSameFigures)
{
    QTemporaryDir out;
    expectExportAnalysedAgainGivesTheSameFigures(out.filePath(QStringLiteral("s0010_re.edf")));
}

// DICOM too, with the report beside the ECG as an object of its own; both
// objects of a real recording pass dicom3tools' validator without error.
TEST(AnalyzeCommand, DicomExportAnalysedAgainGivesTheSameFigures)
{
    QTemporaryDir out;
    expectExportAnalysedAgainGivesTheSameFigures(out.filePath(QStringLiteral("s0010_re.dcm")));
    EXPECT_TRUE(readAll(out.filePath(QStringLiteral("s0010_re-report.dcm"))).contains("%PDF"));
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("dciodvfy"));
    if (validator.isEmpty())
        GTEST_SKIP() << "dciodvfy (dicom3tools) is not installed";
    for (const char* name : {"s0010_re.dcm", "s0010_re-report.dcm"}) {
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validator, {out.filePath(QLatin1String(name))});
        ASSERT_TRUE(check.waitForFinished(60000));
        const QString findings = QString::fromLocal8Bit(check.readAll());
        EXPECT_FALSE(findings.contains(QLatin1String("Error"))) << name << ":\n" << findings.toStdString();
    }
}

// A real cart's DICOM ECG opens as a recording: its twelve leads found by
// their codes, and the mean RR the cart itself annotated (982 ms).
TEST(AnalyzeCommand, CartDicomEcgOpensWithItsLeadsAndRhythm)
{
    const QJsonObject document = analysedRecord(QStringLiteral(VAROR_DATA_DIR "/dicom/waveform_ecg.dcm"));
    EXPECT_EQ(document.value(QStringLiteral("leads")).toArray().size(), 12);
    EXPECT_NEAR(document.value(QStringLiteral("intervals")).toObject().value(QStringLiteral("RR")).toDouble(), 982.0, 5.0);
}

TEST(AnalyzeCommand, BatchOfRecordsGivesEachOnesSingleRunTwiceOver)
{
    // A header, a folder of two records and an EDF file; the runs at once and
    // one at a time give the same files, each record's document that of
    // its single run, and a summary line per record.
    AnalyzeProgram program;
    QTemporaryDir out;
    const QString edf = out.filePath(QStringLiteral("ptb.edf"));
    const CommandResult single = program.run({PtbHeader, QStringLiteral("--export"), edf});
    ASSERT_EQ(single.exitCode, 0) << single.error.toStdString();
    const QStringList inputs{PtbHeader, QStringLiteral(VAROR_DATA_DIR "/mitdb"), edf};
    QStringList folders;
    for (const char* jobs : {"3", "1"}) {
        folders << out.filePath(QStringLiteral("batch-%1").arg(QLatin1String(jobs)));
        const CommandResult batch =
            program.run(QStringList{QStringLiteral("--batch"), folders.back(), QStringLiteral("--jobs"),
                                    QLatin1String(jobs)} + inputs);
        ASSERT_EQ(batch.exitCode, 0) << batch.error.toStdString();
        EXPECT_TRUE(batch.error.contains(QStringLiteral("[4/4]"))) << batch.error.toStdString();
    }
    const QStringList files{QStringLiteral("s0010_re.json"), QStringLiteral("106p.json"), QStringLiteral("108x.json"),
                            QStringLiteral("ptb.json"), QStringLiteral("summary.csv")};
    EXPECT_EQ(QDir(folders[0]).entryList(QDir::Files),
              (QStringList{QStringLiteral("106p.json"), QStringLiteral("108x.json"), QStringLiteral("ptb.json"),
                           QStringLiteral("s0010_re.json"), QStringLiteral("summary.csv")}));
    for (const QString& file : files)
        EXPECT_EQ(readAll(QDir(folders[0]).filePath(file)), readAll(QDir(folders[1]).filePath(file))) << file.toStdString();
    EXPECT_EQ(readAll(QDir(folders[0]).filePath(files[0])), single.output);
    const QList<QByteArray> summary = readAll(QDir(folders[0]).filePath(QStringLiteral("summary.csv"))).trimmed().split('\n');
    ASSERT_EQ(summary.size(), 5);
    for (int row = 1; row < 5; ++row)
        EXPECT_TRUE(summary[row].contains(",ok,")) << summary[row].toStdString();
    const QJsonObject ptb = QJsonDocument::fromJson(single.output).object();
    EXPECT_TRUE(summary[1].startsWith("s0010_re,")) << summary[1].toStdString();
    EXPECT_TRUE(summary[1].contains(QString::number(ptb.value(QStringLiteral("intervals")).toObject()
                                                        .value(QStringLiteral("QTc")).toInt()).toUtf8()));
}

// A folder of DICOM objects: its ECGs (ours and a cart's) are records, the
// report object written beside our ECG is not.
TEST(AnalyzeCommand, BatchTakesAFoldersDicomEcgsAndPassesOverOtherObjects)
{
    AnalyzeProgram program;
    QTemporaryDir out;
    const QString folder = out.filePath(QStringLiteral("dicom"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const CommandResult exported = program.run({PtbHeader, QStringLiteral("--export"), folder + QStringLiteral("/ptb.dcm")});
    ASSERT_EQ(exported.exitCode, 0) << exported.error.toStdString();
    ASSERT_TRUE(QFile::exists(folder + QStringLiteral("/ptb-report.dcm")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VAROR_DATA_DIR "/dicom/waveform_ecg.dcm"), folder + QStringLiteral("/cart.dcm")));
    const QString results = out.filePath(QStringLiteral("results"));
    const CommandResult batch = program.run({QStringLiteral("--batch"), results, folder});
    ASSERT_EQ(batch.exitCode, 0) << batch.error.toStdString();
    EXPECT_EQ(QDir(results).entryList(QDir::Files),
              (QStringList{QStringLiteral("cart.json"), QStringLiteral("ptb.json"), QStringLiteral("summary.csv")}));
}

// A document that cannot be written fails its record, with the reason,
// and the batch; the summary still says so, whole and for the owner only.
TEST(AnalyzeCommand, BatchRecordWhoseDocumentCannotBeWrittenFails)
{
    AnalyzeProgram program;
    QTemporaryDir out;
    const QString folder = out.filePath(QStringLiteral("batch"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/s0010_re.json")));
    const CommandResult batch = program.run({QStringLiteral("--batch"), folder, PtbHeader});
    EXPECT_EQ(batch.exitCode, 1) << batch.error.toStdString();
    const QString summaryPath = QDir(folder).filePath(QStringLiteral("summary.csv"));
    const QList<QByteArray> summary = readAll(summaryPath).trimmed().split('\n');
    ASSERT_EQ(summary.size(), 2);
    EXPECT_TRUE(summary[1].startsWith("s0010_re,")) << summary[1].toStdString();
    EXPECT_TRUE(summary[1].contains(",failed,")) << summary[1].toStdString();
    EXPECT_TRUE(summary[1].contains("Cannot write")) << summary[1].toStdString();
    EXPECT_EQ(QFileInfo(summaryPath).permissions() & 0x0077, 0) << "readable by its owner only";
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("summary.csv")});
}

// A record whose file names hold a byte that is not UTF-8 (a name made on
// a Latin-1 system): the program opens it by that name, and so does a
// directory listing read back through the local codec.
TEST(AnalyzeCommand, RecordNamedInBytesThatAreNotUtf8Opens)
{
    TFileNameCodec::install();
    QTemporaryDir folder;
    const QByteArray name = QByteArrayLiteral("s\xff\xe9-rec");
    const QByteArray base = QFile::encodeName(folder.path()) + '/' + name;
    QByteArray header = readAll(PtbHeader);
    header.replace("s0010_re", name);
    const auto write = [](const QByteArray& path, const QByteArray& bytes) {
        QFile file(QFile::decodeName(path));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write(base + ".hea", header));
    for (const char* suffix : {".dat", ".xyz"})
        ASSERT_TRUE(write(base + suffix, readAll(QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re") + suffix)));
    ASSERT_EQ(::access(QByteArray(base + ".dat").constData(), R_OK), 0); // the very bytes on disk
    const QStringList listed = QDir(folder.path()).entryList({QStringLiteral("*.hea")});
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(QFile::encodeName(listed.first()), name + ".hea");

    AnalyzeProgram program;
    const CommandResult renamed = program.run({QFile::decodeName(base + ".hea")});
    ASSERT_EQ(renamed.exitCode, 0) << renamed.error.toStdString();
    const CommandResult plain = program.run({PtbHeader});
    ASSERT_EQ(plain.exitCode, 0);
    expectSameValues(QJsonDocument::fromJson(renamed.output).object(), QJsonDocument::fromJson(plain.output).object(),
                     {"beats", "averagedBeats", "latePotentials"});
}

struct BadInput {
    const char* name;
    QByteArray header; // empty: no header file at all
    const char* message;
};

TEST(AnalyzeCommand, BadInputIsReportedAndWritesNothing)
{
    const BadInput cases[] = {
        {"missing", QByteArray(), "No such file"},
        {"format", "rec 1 360 100\nrec.dat 999 200 11 1024 0 0 0 MLII\n", "format 999 is not supported"},
        {"header", "not a header line\n", "line 1"},
        {"leads", "rec 1 360 100\nrec.dat 16 200 16 0 0 0 0 BP\n", "no usable ECG lead"},
        {"rate", "rec 1 1 100\nrec.dat 16 200 16 0 0 0 0 II\n", "is not that of an ECG recording"},
    };
    AnalyzeProgram program;
    for (const BadInput& bad : cases) {
        QTemporaryDir folder;
        const QString header = folder.filePath(QStringLiteral("rec.hea"));
        if (!bad.header.isEmpty()) {
            QFile file(header);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bad.header);
            QFile data(folder.filePath(QStringLiteral("rec.dat")));
            ASSERT_TRUE(data.open(QIODevice::WriteOnly));
            data.write(QByteArray(200, '\0'));
        }
        const QString csv = folder.filePath(QStringLiteral("beats.csv"));
        const QString pdf = folder.filePath(QStringLiteral("report.pdf"));
        const CommandResult result =
            program.run({header, QStringLiteral("--beats"), csv, QStringLiteral("--report"), pdf});
        EXPECT_EQ(result.exitCode, 1) << bad.name;
        EXPECT_TRUE(result.error.contains(QLatin1String(bad.message))) << bad.name << ": " << result.error.toStdString();
        EXPECT_TRUE(result.output.isEmpty()) << bad.name;
        EXPECT_FALSE(QFile::exists(csv)) << bad.name;
        EXPECT_FALSE(QFile::exists(pdf)) << bad.name;
    }
    // Inputs that are not regular files: a pipe would block forever, the
    // endless device would be read until memory runs out.
    QTemporaryDir special;
    const QString fifo = special.filePath(QStringLiteral("fifo.hea"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString header = special.filePath(QStringLiteral("rec.hea"));
    QFile headerFile(header);
    ASSERT_TRUE(headerFile.open(QIODevice::WriteOnly));
    headerFile.write("rec 1 360 100\nrec.dat 16 200 16 0 0 0 0 II\n");
    headerFile.close();
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), special.filePath(QStringLiteral("rec.dat"))));
    for (const QString& input : {fifo, header}) {
        const CommandResult refused = program.run({input});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.error.contains(QStringLiteral("not a regular file"))) << refused.error.toStdString();
    }

    const CommandResult usage = program.run({PtbHeader, QStringLiteral("--cutoff"), QStringLiteral("30")});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(usage.error.contains(QStringLiteral("--cutoff is 25 or 40"))) << usage.error.toStdString();
    const CommandResult batchReport = program.run(
        {QStringLiteral("--batch"), special.filePath(QStringLiteral("out")), QStringLiteral("--report"),
         special.filePath(QStringLiteral("r.pdf")), PtbHeader});
    EXPECT_EQ(batchReport.exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(special.filePath(QStringLiteral("out"))));
}

} // namespace
