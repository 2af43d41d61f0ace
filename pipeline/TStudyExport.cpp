#include "pipeline/TStudyExport.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/latepotentials/TLatePotentialsAssessment.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "formats/TDicomEcgExport.h"
#include "pipeline/TLatePotentialLimits.h"
#include "pipeline/TReviewAnalysis.h"
#include "analysis/signal/TWaveMarks.h"
#include "formats/TAecgExport.h"
#include "storage/TEcgFile.h"
#include "formats/TEdfExport.h"
#include "formats/TExportRecord.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudy.h"
#include "formats/TWfdbExport.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <stdexcept>

namespace {

const QString DateTimeFormat = QStringLiteral("yyyyMMddHHmmss");

struct FormatExtension
{
    TStudyExport::Format format;
    const char* extension;
};
constexpr FormatExtension Extensions[] = {
    {TStudyExport::Format::Edf, "edf"},
    {TStudyExport::Format::Bdf, "bdf"},
    {TStudyExport::Format::Wfdb, "hea"},
    {TStudyExport::Format::Aecg, "xml"},
    {TStudyExport::Format::Dicom, "dcm"},
};

QString property(const TStudy& study, const std::string& key)
{
    return QString::fromStdString(study.propertyValue(key));
}

// The recording's start; a study never recorded has only its own start.
QDateTime startOf(const TStudy& study)
{
    const QDateTime recorded = QDateTime::fromString(QString::fromStdString(study.recordingDateTime()), DateTimeFormat);
    return recorded.isValid() ? recorded
                              : QDateTime::fromString(QString::fromStdString(study.studyDateTime()), DateTimeFormat);
}

void addSignal(TExportRecord& record, const TStudy& study)
{
    const TEcgFile& ecg = *study.ecgFile();
    record.samplingRate = ecg.samplingRate();
    record.millivoltsPerCount = ecg.lsb();
    std::vector<double> values(std::size_t(ecg.sampleCount()));
    for (int lead = 0; lead < ecg.channelCount(); ++lead) {
        record.leadNames.append(ecg.channelName(lead));
        ecg.readRange(lead, 0, ecg.sampleCount(), values.data());
        record.leads.emplace_back(values.begin(), values.end());
    }
    record.beats = TExportRecord::beatsOf(*study.beatsFile());
}

// The stored marks, or the automatic ones with the recording's mean RR,
// in a registry from which the measurements are taken.
TWaveMarks marksOf(const TStudy& study, const TReviewAnalysis& analysis)
{
    if (analysis.storedMarks())
        return study.results();
    TWaveMarks marks;
    const TReviewAnalysis::Marks found = analysis.automaticMarks().value_or(TReviewAnalysis::Marks{});
    for (int mark = 0; mark < TReviewAnalysis::MarkCount; ++mark)
        marks.find(QLatin1String(TReviewAnalysis::markNames()[std::size_t(mark)]))->setValue(found[std::size_t(mark)]);
    marks.find(QLatin1String(TReviewAnalysis::MeanRrName))->setValue(analysis.recordingMeanRr());
    return marks;
}

void addAveragedBeat(TExportRecord& record, const TStudy& study, const TReviewAnalysis& analysis)
{
    const TLiveBeatAverager& averager = analysis.mainAverager();
    for (int lead = 0; lead < int(record.leads.size()); ++lead) {
        std::vector<double>& beat = record.averagedBeats.emplace_back(averager.average(lead));
        for (double& value : beat)
            value *= record.millivoltsPerCount;
    }
    record.averagedBeatCentre = analysis.alignmentTime();
    const TWaveMarks marks = marksOf(study, analysis);
    for (const char* name : TReviewAnalysis::markNames()) {
        const double value = marks.find(QLatin1String(name))->value();
        if (value != 0.0)
            record.marks[QLatin1String(name)] = value;
    }
    record.measures = TIntervalMeasures::fromWaveMarks(marks);
    const double meanRr = marks.find(QLatin1String(TReviewAnalysis::MeanRrName))->value();
    if (meanRr > 0.0)
        record.heartRate = std::round(600.0 / meanRr) / 10.0;
}

// The late potentials and their verdict, when the analysis computed them.
void addLatePotentials(TExportRecord& record, const TReviewAnalysis& analysis)
{
    const TLatePotentials& potentials = analysis.latePotentials();
    if (potentials.vectorMagnitude().empty())
        return;
    const TLatePotentialsAssessment assessment =
        TLatePotentialsAssessment::assess(potentials, TLatePotentialLimits::fromSettings());
    const double millisecondsPerSample = 1000.0 / record.samplingRate;
    TExportRecord::LatePotentials& late = record.latePotentials.emplace();
    late.qrsdMilliseconds = int(std::lround(potentials.QRSD() * millisecondsPerSample));
    late.rmsMicrovolts = potentials.RMS();
    late.lasMilliseconds = int(std::lround(potentials.LAS() * millisecondsPerSample));
    late.noiseMicrovolts = assessment.noiseMicrovolts;
    late.verdict = TLatePotentialsAssessment::verdictText(assessment.verdict);
}

// The patient ID a hospital knows: the clinical record number, else the
// identity document's number.
QString patientIdOf(const TStudy& study)
{
    const QString record = property(study, TStudy::patientKey("medicalHistoryNumber"));
    return record.isEmpty() ? property(study, TStudy::patientKey("personIdNumber")) : record;
}

TExportRecord exportRecord(const TStudy& study, const TReviewAnalysis& analysis)
{
    TExportRecord record;
    record.name = property(study, "baseFilename");
    record.lastName = property(study, TStudy::patientKey("lastName"));
    record.firstName = property(study, TStudy::patientKey("firstName"));
    record.sex = property(study, TStudy::patientKey("sex"));
    record.birthDate = QDate::fromString(property(study, TStudy::patientKey("birthDate")), QStringLiteral("yyyyMMdd"));
    record.start = startOf(study);
    addSignal(record, study);
    addAveragedBeat(record, study, analysis);
    addLatePotentials(record, analysis);
    record.studyId = study.id();
    record.studyStart = QDateTime::fromString(QString::fromStdString(study.studyDateTime()), DateTimeFormat);
    record.patientId = patientIdOf(study);
    record.institutionName = property(study, "institutionName");
    record.referringDoctorName = property(study, "referringDoctorName");
    record.accessionNumber = property(study, "accessionNumber");
    record.studyInstanceUid = property(study, "studyInstanceUid");
    return record;
}

QString siblingPath(const QString& path, const char* extension)
{
    const QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + QLatin1Char('.') + QLatin1String(extension));
}

void stageWfdb(TStagedFiles& files, const TExportRecord& record, const QString& path)
{
    const TWfdbExport::Files wfdb = TWfdbExport::encode(record, QFileInfo(path).completeBaseName());
    files.write(path, wfdb.header);
    files.write(siblingPath(path, "dat"), wfdb.samples);
    files.write(siblingPath(path, "atr"), wfdb.annotations);
}

TExportRecord exportRecordWithSamples(const TStudy& study, const TReviewAnalysis& analysis, const QString& path)
{
    TExportRecord record = exportRecord(study, analysis);
    if (record.length() == 0)
        throw std::runtime_error(QStringLiteral("Cannot export to %1: the study holds no samples").arg(path).toStdString());
    return record;
}

} // namespace

namespace TStudyExport {

std::vector<TDicomEcgExport::Object> dicomObjects(const TStudy& study, const TReviewAnalysis& analysis,
                                                  const QByteArray& reportPdf)
{
    const TExportRecord record = exportRecordWithSamples(study, analysis, property(study, "baseFilename"));
    TDicomEcgExport::Object ecg = TDicomEcgExport::encodeEcg(record);
    TDicomEcgExport::Object report = TDicomEcgExport::encodeReport(record, reportPdf, ecg.instanceUid);
    return {std::move(ecg), std::move(report)};
}

void stageDicom(TStagedFiles& files, const TStudy& study, const TReviewAnalysis& analysis, const QString& path,
                const QByteArray& reportPdf)
{
    const std::vector<TDicomEcgExport::Object> objects = dicomObjects(study, analysis, reportPdf);
    files.write(path, objects[0].file);
    files.write(dicomReportPath(path), objects[1].file);
}

QString dicomReportPath(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-report.dcm"));
}

std::optional<Format> formatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const FormatExtension& entry : Extensions) {
        if (suffix == QLatin1String(entry.extension))
            return entry.format;
    }
    return std::nullopt;
}

QString fileName(const QString& baseFilename, Format format)
{
    QString name = format == Format::Wfdb ? TWfdbExport::recordNameOf(baseFilename) : baseFilename;
    for (const FormatExtension& entry : Extensions) {
        if (entry.format == format)
            name += QLatin1Char('.') + QLatin1String(entry.extension);
    }
    return name;
}

void stage(TStagedFiles& files, const TStudy& study, const TReviewAnalysis& analysis, const QString& path)
{
    const std::optional<Format> format = formatOf(path);
    if (!format)
        throw std::runtime_error(
            QStringLiteral("Cannot export to %1: the name must end in .edf, .bdf, .hea, .xml or .dcm").arg(path).toStdString());
    const TExportRecord record = exportRecordWithSamples(study, analysis, path);
    switch (*format) {
    case Format::Edf:
    case Format::Bdf:
        TEdfExport::write(record, files.stage(path), *format == Format::Bdf);
        break;
    case Format::Wfdb:
        stageWfdb(files, record, path);
        break;
    case Format::Aecg:
        files.write(path, TAecgExport::encode(record));
        break;
    case Format::Dicom:
        files.write(path, TDicomEcgExport::encodeEcg(record).file);
        break;
    }
}

} // namespace TStudyExport
