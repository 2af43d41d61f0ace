#include "AnalyzeCommand.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TIntervalMeasures.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/latepotentials/TLatePotentialsAssessment.h"
#include "pipeline/TStudyLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/beats/TMultiLeadDelineator.h"
#include "clinic/TServerStudyStore.h"
#include "pipeline/TReviewAnalysis.h"
#include "pipeline/TStudyExport.h"
#include "pipeline/TStudyRecording.h"
#include "settings/TSettings.h"
#include "pipeline/TLatePotentialLimits.h"
#include "storage/TBeatsFile.h"
#include "storage/TDataFolderLock.h"
#include "hospital/TDicomPeer.h"
#include "hospital/TPacsOutbox.h"
#include "report/TReportPdf.h"
#include "storage/TEcgFile.h"
#include "formats/TExportRecord.h"
#include "formats/TImportedRecording.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStagedFiles.h"
#include "storage/TStoredRecording.h"
#include "storage/TStudy.h"
#include "storage/TStudyFiles.h"
#include "formats/TWfdbExport.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace AnalyzeCommand {

namespace {

constexpr const char* StoreFolder = "PulsorixVAROR";
constexpr const char* DateTimeFormat = "yyyyMMddHHmmss";

// A recording is analysed at 40 Hz unless told otherwise: the cutoff the
// late-potential criteria are defined at.
constexpr int RecordingCutoff = 40;

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.c_str());
}

int positiveNumber(const QCommandLineParser& parser, const QString& name, int fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value <= 0)
        throw UsageError(QStringLiteral("--%1 needs a positive whole number").arg(name).toStdString());
    return value;
}

// --- Input -----------------------------------------------------------------

enum class InputKind { Recording, StudyFile, StudyId };

InputKind inputKind(const QString& input)
{
    bool isNumber = false;
    input.toInt(&isNumber);
    if (isNumber)
        return InputKind::StudyId;
    if (TImportedRecording::isRecordingFile(input))
        return InputKind::Recording;
    if (QFileInfo(input).suffix().toLower() == QLatin1String(TStudyFiles::StudyExtension))
        return InputKind::StudyFile;
    throw UsageError(QStringLiteral("Unknown input %1: give a WFDB header (.hea), an EDF or BDF file (.edf, .bdf), "
                                    "a DICOM ECG (.dcm, or any name with the DICOM prefix), a study file (.%2) or a study id")
                         .arg(input, QLatin1String(TStudyFiles::StudyExtension))
                         .toStdString());
}

// How long an import waits for the data folder while another program
// holds it (another import of a batch, or the application).
constexpr int LockWaitSeconds = 300;
constexpr int LockRetryMilliseconds = 200;

} // namespace

std::unique_ptr<TLocalStudyStore> openUserStore()
{
    QElapsedTimer waited;
    waited.start();
    bool told = false;
    for (;;) {
        try {
            auto store = std::make_unique<TLocalStudyStore>(StoreFolder);
            if (store->dataPath().empty())
                throw std::runtime_error("The study store cannot be opened");
            return store;
        } catch (const TDataFolderLock::InUse& inUse) {
            if (waited.elapsed() >= LockWaitSeconds * 1000)
                throw;
            if (!told)
                std::fprintf(stderr, "%s; waiting up to %d s for it\n", inUse.what(), LockWaitSeconds);
            told = true;
            QThread::msleep(LockRetryMilliseconds);
        }
    }
}

namespace {

// The store the application would open: the clinic server's when the
// settings choose it, recording into the user's data folder.
std::unique_ptr<TStudyStore> openStudyStore()
{
    if (!TServerAddress::serverChosen())
        return openUserStore();
    return std::make_unique<TServerStudyStore>(TServerAddress::fromSettings(), openUserStore());
}

// The study being analysed: a recording is recorded into a temporary
// store of its own; a stored study is read from its file or opened in the
// user's store. A recording to be imported goes into the user's store (the
// clinic server's when chosen) only
// once the whole run has succeeded, as an archive is imported: a failed or
// killed run leaves nothing there.
class InputStudy
{
public:
    explicit InputStudy(const Options& options) : m_kind(inputKind(options.input)) {}

    // Closes the study; an import that did not get through the whole run
    // leaves the user's store again.
    ~InputStudy()
    {
        if (m_store && m_study)
            m_store->closeStudy(m_study);
        if (m_userStudyStore && m_study)
            m_userStudyStore->closeStudy(m_study);
        if (m_userStore && m_importedId >= 0 && !m_kept)
            m_userStore->deleteStudy(m_importedId);
    }

    // Records, reads or opens the study of the input. Kept out of the
    // constructor so that the destructor cleans up after a failure here.
    void open(const Options& options)
    {
        switch (m_kind) {
        case InputKind::Recording:
            recordRecording(options);
            break;
        case InputKind::StudyFile:
            loadStudyFile(options.input);
            break;
        case InputKind::StudyId:
            openUserStudy(options.input.toInt());
            break;
        }
    }

    InputStudy(const InputStudy&) = delete;
    InputStudy& operator=(const InputStudy&) = delete;

    TStudy& study() const { return *m_study; }
    // A recording taken in now, rather than a stored study.
    bool isRecording() const { return m_kind == InputKind::Recording; }
    QString recordName() const { return m_recordName; }
    double inputRate() const { return m_inputRate; }
    QStringList leadsFound() const { return m_leadsFound; }
    int importedId() const { return m_kept ? m_importedId : -1; }

    // A recording to be imported is saved with its analysis and imported
    // into the user's store; it leaves it again unless keep() follows. The
    // study is closed then: nothing may use it any more.
    void save()
    {
        if (!m_import)
            return;
        m_store->saveStudy(m_study);
        m_store->exportStudy(m_study->id(), m_temporary->path().toLocal8Bit().toStdString());
        const QString archive = QStringLiteral("%1/%2.%3").arg(m_temporary->path(),
                                                               fromUtf8(m_study->propertyValue("baseFilename")),
                                                               QLatin1String(TLocalStudyStore::ArchiveExtension));
        // One store at a time holds the process's database connection.
        m_store->closeStudy(std::exchange(m_study, nullptr));
        m_store.reset();
        // With the clinic server chosen, through its outbox: up at once
        // when it answers, else once the application finds it again.
        m_userStore = openStudyStore();
        m_importedId = m_userStore->importStudy(archive.toLocal8Bit().toStdString());
    }

    // The run succeeded: an imported study stays.
    void keep() { m_kept = true; }

private:
    void recordRecording(const Options& options)
    {
        const TImportedRecording imported = TImportedRecording::read(options.input);
        const TWfdbDeviceRecording& recording = imported.recording();
        m_recordName = recording.header().recordName;
        m_inputRate = recording.header().samplingFrequency;
        m_leadsFound = recording.leadMap().foundLeadNames();
        m_import = options.import;
        const QString now = QDateTime::currentDateTime().toString(QLatin1String(DateTimeFormat));
        TStudyInfo info = imported.studyInfo(now.toStdString());
        if (m_import)
            refuseRecordingInStore(info, recording.leads().empty() ? 0 : qint64(recording.leads().front().size()));
        m_temporary = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<TLocalStudyStore>(StoreFolder, m_temporary->path());
        if (m_store->dataPath().empty())
            throw std::runtime_error("The study store cannot be opened");
        const int id = TStudyRecording::recordStudy(*m_store, recording.leads(), info);
        // Opened again, as a study is reviewed after its recording.
        m_study = m_store->openStudy(id);
        if (!m_study)
            throw std::runtime_error("The recorded study cannot be opened again");
    }

    // The same recording (patient, start and samples) is not taken in a
    // second time: the run stops before anything is analysed, naming the
    // study that holds it. The user's store is closed again at once, as one
    // store at a time holds the process's database connection.
    static void refuseRecordingInStore(const TStudyInfo& info, qint64 samples)
    {
        const int existing = TStoredRecording::studyOf(*openUserStore(), info, samples);
        if (existing < 0)
            return;
        const QDateTime start = QDateTime::fromString(fromUtf8(info.studyDateTime), QLatin1String(DateTimeFormat));
        throw std::runtime_error(QStringLiteral("The recording is already in the store as study %1 (%2, %3, "
                                                "started %4); it was not imported again")
                                     .arg(existing)
                                     .arg(fromUtf8(info.lastName), fromUtf8(info.firstName),
                                          start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                     .toStdString());
    }

    void loadStudyFile(const QString& path)
    {
        if (!QFileInfo::exists(path))
            throw std::runtime_error(QStringLiteral("Cannot open %1: no such file").arg(path).toStdString());
        QString refusal;
        m_ownStudy = TStudyFiles::loadStudyFile(path, &refusal);
        if (!m_ownStudy)
            throw std::runtime_error(QStringLiteral("Cannot read the study file %1: %2").arg(path, refusal).toStdString());
        m_study = m_ownStudy.get();
        describeStoredStudy();
    }

    void openUserStudy(int id)
    {
        m_userStudyStore = openStudyStore();
        m_study = m_userStudyStore->openStudy(id);
        if (!m_study)
            throw std::runtime_error(
                QStringLiteral("No study %1 in %2").arg(id).arg(fromUtf8(m_userStudyStore->dataPath())).toStdString());
        describeStoredStudy();
    }

    void describeStoredStudy()
    {
        m_recordName = fromUtf8(m_study->propertyValue("baseFilename"));
        m_inputRate = m_study->ecgFile()->samplingRate();
        for (int lead = 0; lead < m_study->ecgFile()->channelCount(); ++lead)
            m_leadsFound << m_study->ecgFile()->channelName(lead);
    }

    InputKind m_kind;
    bool m_import = false;
    std::unique_ptr<QTemporaryDir> m_temporary;
    std::unique_ptr<TLocalStudyStore> m_store;
    std::unique_ptr<TStudyStore> m_userStore; // an import's destination
    std::unique_ptr<TStudyStore> m_userStudyStore; // a study id's
    std::unique_ptr<TStudy> m_ownStudy;
    TStudy* m_study = nullptr;
    int m_importedId = -1;
    bool m_kept = false;
    QString m_recordName;
    double m_inputRate = 0.0;
    QStringList m_leadsFound;
};

// --- Analysis ----------------------------------------------------------------

struct BeatCounts {
    int normal = 0;
    int rejected = 0;
};

BeatCounts countBeats(const TBeatsFile& beats)
{
    BeatCounts counts;
    TBeat beat;
    for (int index = 0; beats.read(index, beat); ++index)
        ++(beat.isValid() ? counts.normal : counts.rejected);
    return counts;
}

// Stored marks, or automatic ones stored with the recording's mean RR.
// Answers the lead the marks were found on, empty for stored marks.
QString settleMarks(TReviewAnalysis& analysis, const TStudy& study)
{
    if (analysis.storedMarks())
        return QString();
    const std::optional<TReviewAnalysis::Marks> found = analysis.automaticMarks();
    if (!found)
        return QString();
    analysis.storeMarks(*found, analysis.recordingMeanRr());
    analysis.storeMultiLeadBoundaries();
    return study.ecgFile()->channelName(analysis.automaticMarksLead());
}

int samplesOf(int milliseconds, int rate)
{
    return int(std::lround(milliseconds * rate / 1000.0));
}

double millisecondsOf(int samples, int rate)
{
    return samples * 1000.0 / rate;
}

// The analysis as the review window would run it for this study, with
// the settings given on the command line in place of the study's own (a
// recording has none: it starts at 40 Hz).
void settleLatePotentials(TReviewAnalysis& analysis, const Options& options, bool recording, int rate)
{
    analysis.restoreLatePotentialSettings(
        recording ? RecordingCutoff : TSettings::whole(TSettings::LatePotentialsCutoff));
    TLatePotentials& potentials = analysis.latePotentials();
    if (options.cutoff > 0)
        potentials.setHighPassCutoff(options.cutoff);
    if (options.lasThreshold > 0)
        potentials.setLasThreshold(options.lasThreshold);
    if (options.rmsDuration > 0)
        potentials.setRmsDuration(samplesOf(options.rmsDuration, rate));
    analysis.computeLatePotentials();
}

QJsonObject latePotentialsJson(const TReviewAnalysis& analysis, int rate)
{
    const TLatePotentials& potentials = analysis.latePotentials();
    return QJsonObject{
        {QStringLiteral("cutoff"), potentials.highPassCutoff()},
        {QStringLiteral("lasThreshold"), potentials.lasThreshold()},
        {QStringLiteral("rmsDuration"), millisecondsOf(potentials.rmsDuration(), rate)},
        {QStringLiteral("limitsByHand"), analysis.latePotentialLimitsByHand()},
        {QStringLiteral("QRSD"), millisecondsOf(potentials.QRSD(), rate)},
        {QStringLiteral("RMS"), potentials.RMS()},
        {QStringLiteral("LAS"), millisecondsOf(potentials.LAS(), rate)},
    };
}

QJsonObject qualityJson(const TLatePotentialsAssessment& assessment)
{
    return QJsonObject{
        {QStringLiteral("noise"), assessment.noiseMicrovolts},
        {QStringLiteral("beatsAveraged"), assessment.beatsAveraged},
        {QStringLiteral("missingLeads"), QJsonArray::fromStringList(assessment.missingLeads)},
        {QStringLiteral("onsetAtRangeEnd"), assessment.onsetAtRangeEnd},
        {QStringLiteral("offsetAtRangeEnd"), assessment.offsetAtRangeEnd},
        {QStringLiteral("lasMargin"), assessment.lasMarginMicrovolts},
    };
}

QJsonObject criteriaJson(const TLatePotentialsAssessment& assessment)
{
    const auto criterion = [](const TLatePotentialsAssessment::Criterion& figures) {
        return QJsonObject{{QStringLiteral("value"), figures.value},
                           {QStringLiteral("limit"), figures.limit},
                           {QStringLiteral("holds"), figures.holds}};
    };
    return QJsonObject{
        {QStringLiteral("cutoff"), TLatePotentialsAssessment::CriteriaCutoff},
        {QStringLiteral("QRSD"), criterion(assessment.qrsd)},
        {QStringLiteral("RMS"), criterion(assessment.rms)},
        {QStringLiteral("LAS"), criterion(assessment.las)},
        {QStringLiteral("holding"), assessment.criteriaHolding},
        {QStringLiteral("verdict"), TLatePotentialsAssessment::verdictText(assessment.verdict)},
        {QStringLiteral("reasons"), QJsonArray::fromStringList(assessment.reasons)},
    };
}

// A result in milliseconds to a tenth, null when it is not set.
QJsonValue resultJson(const TStudy& study, const char* name)
{
    const TWaveMark* mark = study.results().find(QLatin1String(name));
    const double value = mark ? mark->value() : 0.0;
    return value == 0.0 ? QJsonValue() : QJsonValue(std::round(value * 1e4) / 10.0);
}

QJsonObject marksJson(const TStudy& study)
{
    QJsonObject json;
    for (const char* name : TReviewAnalysis::markNames())
        json.insert(QLatin1String(name), resultJson(study, name));
    return json;
}

// The boundaries found over all leads, named as the marks they stand for.
QJsonObject boundariesJson(const TStudy& study)
{
    QJsonObject json;
    for (const TMultiLeadBoundaries::Names& names : TMultiLeadBoundaries::names())
        json.insert(QLatin1String(names.mark), resultJson(study, names.result));
    return json;
}

QJsonObject intervalsJson(const TStudy& study)
{
    const TIntervalMeasures measures = TIntervalMeasures::fromWaveMarks(study.results());
    const auto value = [](const std::optional<int>& measure) { return measure ? QJsonValue(*measure) : QJsonValue(); };
    return QJsonObject{
        {QStringLiteral("PR"), value(measures.pr)},   {QStringLiteral("QRS"), value(measures.qrs)},
        {QStringLiteral("QT"), value(measures.qt)},   {QStringLiteral("QTc"), value(measures.qtc)},
        {QStringLiteral("RR"), value(measures.rr)},
    };
}

double milliRounded(double seconds)
{
    return std::round(seconds * 1000.0) / 1000.0;
}

// Every pause of the rhythm, its start and length in seconds.
QJsonArray pausesJson(const std::vector<TBeatPauses::Pause>& pauses)
{
    QJsonArray json;
    for (const TBeatPauses::Pause& pause : pauses)
        json.append(QJsonObject{{QStringLiteral("start"), milliRounded(pause.seconds)},
                                {QStringLiteral("length"), milliRounded(pause.lengthSeconds)}});
    return json;
}

QJsonObject averagedBeatsJson(const TLiveBeatAverager& averager, const TEcgFile& ecg)
{
    QJsonObject json;
    for (int lead = 0; lead < ecg.channelCount(); ++lead)
        json.insert(ecg.channelName(lead), averager.count(lead));
    return json;
}

// --- Output files --------------------------------------------------------------

QByteArray beatsCsv(const TBeatsFile& beats, int rate)
{
    QByteArray csv;
    TBeat beat;
    for (int index = 0; beats.read(index, beat); ++index) {
        const double time = beat.value(TBeat::QrsTime);
        csv += QStringLiteral("%1,%2,%3\n")
                   .arg(std::llround(time * rate))
                   .arg(time, 0, 'f', 3)
                   .arg(beat.isValid() ? QStringLiteral("normal") : QStringLiteral("rejected"))
                   .toUtf8();
    }
    return csv;
}

QByteArray beatAnnotations(const TBeatsFile& beats, double inputRate)
{
    return TWfdbAnnotations::encode(TWfdbExport::beatAnnotations(TExportRecord::beatsOf(beats), inputRate));
}

} // namespace

Options parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    const auto option = [&parser](const char* name, const char* description, const char* valueName) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description),
                                            QString::fromLatin1(valueName)));
    };
    option("cutoff", "Late-potential high-pass cutoff, 25 or 40 Hz (default: 40 for a recording, a study's own).",
           "hertz");
    option("las-threshold", "LAS threshold in microvolts (default: 40, a study's own).", "uV");
    option("rms-duration", "RMS duration in milliseconds (default: 40, a study's own).", "ms");
    option("beats", "Write the stored beats as CSV: sample at 1000 Hz, time (s), class.", "file");
    option("annotations", "Write the beats as an MIT-format annotation file at the input's rate.", "file");
    option("report", "Write the application's PDF report.", "file");
    option("export", "Write the study as EDF+ (.edf), BDF+ (.bdf), a WFDB record (.hea), HL7 aECG (.xml) or DICOM (.dcm, the ECG and beside it the report as FILE-report.dcm).", "file");
    parser.addOption(QCommandLineOption(QStringLiteral("import"),
                                        QStringLiteral("Keep the recording as a study in the data folder; refused when the folder holds it already.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("send"),
        QStringLiteral("Send the study with its report to the configured PACS (through the data folder's outbox).")));
    option("batch", "Analyse every input (records, or folders of them) into this folder: one JSON per record "
                    "and summary.csv.", "folder");
    option("jobs", "Records analysed at once in batch mode (default: one per core).", "count");
    if (!parser.parse(arguments))
        throw UsageError(parser.errorText().toStdString());

    Options options;
    options.batchFolder = parser.value(QStringLiteral("batch"));
    options.jobs = positiveNumber(parser, QStringLiteral("jobs"), options.jobs);
    if (!options.batchFolder.isEmpty()) {
        options.inputs = parser.positionalArguments();
        if (options.inputs.isEmpty())
            throw UsageError("--batch needs at least one input: records or folders of records");
        for (const char* single : {"beats", "annotations", "report", "export"}) {
            if (parser.isSet(QString::fromLatin1(single)))
                throw UsageError(QStringLiteral("--%1 is for one input, not for --batch").arg(QLatin1String(single))
                                     .toStdString());
        }
    } else if (parser.positionalArguments().size() != 1) {
        throw UsageError("Give one input: a WFDB header (.hea), an EDF or BDF file, a study file or a study id");
    } else {
        options.input = parser.positionalArguments().front();
    }
    options.cutoff = positiveNumber(parser, QStringLiteral("cutoff"), options.cutoff);
    if (options.cutoff != 0 && options.cutoff != 25 && options.cutoff != 40)
        throw UsageError("--cutoff is 25 or 40");
    options.lasThreshold = positiveNumber(parser, QStringLiteral("las-threshold"), options.lasThreshold);
    options.rmsDuration = positiveNumber(parser, QStringLiteral("rms-duration"), options.rmsDuration);
    options.beatsFile = parser.value(QStringLiteral("beats"));
    options.annotationsFile = parser.value(QStringLiteral("annotations"));
    options.reportFile = parser.value(QStringLiteral("report"));
    options.exportFile = parser.value(QStringLiteral("export"));
    if (!options.exportFile.isEmpty() && !TStudyExport::formatOf(options.exportFile))
        throw UsageError("--export takes a file ending in .edf, .bdf, .hea, .xml or .dcm");
    options.import = parser.isSet(QStringLiteral("import"));
    options.send = parser.isSet(QStringLiteral("send"));
    if (options.send && !options.batchFolder.isEmpty())
        throw UsageError("--send takes one input, not a batch");
    for (const QString& input : options.batchFolder.isEmpty() ? QStringList{options.input} : options.inputs) {
        if (options.import && !QFileInfo(input).isDir() && inputKind(input) != InputKind::Recording)
            throw UsageError("--import takes WFDB records, EDF or BDF files or DICOM ECGs");
    }
    return options;
}

QStringList recordArguments(const Options& options, const QString& input)
{
    QStringList arguments;
    const auto add = [&arguments](const char* name, int value) {
        if (value != 0)
            arguments << QStringLiteral("--%1").arg(QLatin1String(name)) << QString::number(value);
    };
    add("cutoff", options.cutoff);
    add("las-threshold", options.lasThreshold);
    add("rms-duration", options.rmsDuration);
    if (options.import)
        arguments << QStringLiteral("--import");
    return arguments << input;
}

namespace {

// The results of the input's study as one document, with the files asked
// for staged and, with --send, its DICOM objects made; the study's
// analysis ends with it.
QJsonObject analyse(const InputStudy& input, const Options& options, TStagedFiles& staged,
                    std::vector<TDicomEcgExport::Object>& toSend)
{
    TStudy& study = input.study();
    const TEcgFile& ecg = *study.ecgFile();
    const int rate = ecg.samplingRate();

    TReviewAnalysis analysis(study);
    analysis.configureAveraging(TSettings::flag(TSettings::BeatAveragingNotchFilter),
                                TSettings::flag(TSettings::BeatAveragingLowpassFilter));
    analysis.addStoredBeats();
    const QString marksLead = settleMarks(analysis, study);
    settleLatePotentials(analysis, options, input.isRecording(), rate);
    const TLatePotentialsAssessment assessment =
        TStudyLatePotentials::assess(study, analysis.latePotentials(), TLatePotentialLimits::fromSettings());

    const BeatCounts beats = countBeats(*study.beatsFile());
    const double meanRr = analysis.recordingMeanRr();
    const double longestRr = analysis.longestRr();
    QJsonObject json{
        {QStringLiteral("record"), input.recordName()},
        {QStringLiteral("input"), options.input},
        {QStringLiteral("inputSamplingRate"), input.inputRate()},
        {QStringLiteral("leads"), QJsonArray::fromStringList(input.leadsFound())},
        {QStringLiteral("duration"), std::round(ecg.appendedCount() * 1000.0 / rate) / 1000.0},
        {QStringLiteral("beats"),
         QJsonObject{{QStringLiteral("detected"), beats.normal + beats.rejected},
                     {QStringLiteral("normal"), beats.normal},
                     {QStringLiteral("rejected"), beats.rejected}}},
        {QStringLiteral("heartRate"), meanRr > 0.0 ? QJsonValue(std::round(600.0 / meanRr) / 10.0) : QJsonValue()},
        {QStringLiteral("longestRr"), longestRr > 0.0 ? QJsonValue(milliRounded(longestRr)) : QJsonValue()},
        {QStringLiteral("pauses"), pausesJson(analysis.pauses())},
        {QStringLiteral("averagedBeats"), averagedBeatsJson(analysis.mainAverager(), ecg)},
        {QStringLiteral("marksLead"), marksLead.isEmpty() ? QJsonValue() : QJsonValue(marksLead)},
        {QStringLiteral("marks"), marksJson(study)},
        {QStringLiteral("boundaries"), boundariesJson(study)},
        {QStringLiteral("intervals"), intervalsJson(study)},
        {QStringLiteral("latePotentials"), latePotentialsJson(analysis, rate)},
        {QStringLiteral("quality"), qualityJson(assessment)},
        {QStringLiteral("criteria"), criteriaJson(assessment)},
    };

    // The report is made once, for whichever output wants it.
    std::optional<QByteArray> report;
    const auto reportPdf = [&]() -> const QByteArray& {
        if (!report)
            report = TReportPdf::of(study, analysis.latePotentials());
        return *report;
    };
    std::vector<std::pair<QString, QByteArray>> files;
    if (!options.beatsFile.isEmpty())
        files.emplace_back(options.beatsFile, beatsCsv(*study.beatsFile(), rate));
    if (!options.annotationsFile.isEmpty())
        files.emplace_back(options.annotationsFile, beatAnnotations(*study.beatsFile(), input.inputRate()));
    if (!options.reportFile.isEmpty())
        files.emplace_back(options.reportFile, reportPdf());
    for (const auto& [path, bytes] : files)
        staged.write(path, bytes);
    if (options.send)
        toSend = TStudyExport::dicomObjects(study, analysis, reportPdf());
    if (TStudyExport::formatOf(options.exportFile) == TStudyExport::Format::Dicom)
        TStudyExport::stageDicom(staged, study, analysis, options.exportFile, reportPdf());
    else if (!options.exportFile.isEmpty())
        TStudyExport::stage(staged, study, analysis, options.exportFile);
    return json;
}

// The study's objects into the outbox of the user's data folder, sent at
// once; what became of them goes into the document (a study the PACS
// could not take stays queued for the application to retry).
QJsonObject sendToPacs(int studyId, const std::vector<TDicomEcgExport::Object>& objects)
{
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                               + QLatin1Char('/') + QLatin1String(StoreFolder);
    TPacsOutbox outbox(TPacsOutbox::folderIn(dataFolder));
    const QDateTime now = QDateTime::currentDateTime();
    outbox.enqueue(studyId, objects, now);
    outbox.sendDue(TDicomPeer::fromSettings(), now);
    const TPacsOutbox::Status status = outbox.status(studyId);
    return QJsonObject{{QStringLiteral("study"), studyId}, {QStringLiteral("state"), TPacsOutbox::stateText(status)}};
}

} // namespace

QJsonObject run(const Options& options)
{
    InputStudy input(options);
    input.open(options);
    // The files asked for are made first and reach their places together.
    TStagedFiles staged;
    std::vector<TDicomEcgExport::Object> toSend;
    QJsonObject json = analyse(input, options, staged, toSend);
    const int analysedId = input.study().id();
    // Every write that can fail comes before the outputs are moved into
    // place, and moving them is undone as a whole when one cannot be.
    input.save();
    staged.commit();
    input.keep();
    if (input.importedId() >= 0)
        json.insert(QStringLiteral("importedStudy"), input.importedId());
    if (options.send)
        json.insert(QStringLiteral("pacs"), sendToPacs(input.importedId() >= 0 ? input.importedId() : analysedId, toSend));
    return json;
}

} // namespace AnalyzeCommand
