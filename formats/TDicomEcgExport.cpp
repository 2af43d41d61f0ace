#include "formats/TDicomEcgExport.h"

#include "formats/TDicomCodes.h"
#include "formats/TExportRecord.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcvrobow.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace TDicomEcgExport {
namespace {

using TDicomCodes::Code;

constexpr Code Microvolt{"uV", "UCUM", "microvolt"};
constexpr Code Millisecond{"ms", "UCUM", "millisecond"};
constexpr Code PerMinute{"/min", "UCUM", "per minute"};

// The global measurements of the averaged beat.
constexpr Code HeartRate{"2:16770", "MDC", "ECG Heart Rate"};
constexpr Code PrInterval{"2:15872", "MDC", "PR interval"};
constexpr Code QrsDuration{"2:16156", "MDC", "QRS duration"};
constexpr Code QtInterval{"2:16160", "MDC", "QT interval"};
constexpr Code QtcInterval{"2:16164", "MDC", "QTc interval"};

// The late potentials, in our own scheme (README: "DICOM codes").
constexpr Code FilteredQrsDuration{"QRSD", TDicomCodes::PrivateScheme, "Filtered QRS duration"};
constexpr Code TerminalRms{"RMS", TDicomCodes::PrivateScheme, "RMS voltage of the terminal filtered QRS"};
constexpr Code LowAmplitudeSignal{"LAS", TDicomCodes::PrivateScheme, "Duration of the low-amplitude terminal signal"};
constexpr Code LatePotentialNoise{"NOISE", TDicomCodes::PrivateScheme, "Noise level of the late-potential analysis"};
constexpr Code LatePotentialVerdict{"VERDICT", TDicomCodes::PrivateScheme, "Late potentials verdict"};
constexpr Code Verdicts[] = {
    {"POSITIVE", TDicomCodes::PrivateScheme, "positive"},
    {"NEGATIVE", TDicomCodes::PrivateScheme, "negative"},
    {"NOTASSESSABLE", TDicomCodes::PrivateScheme, "not assessable"},
};

const char* const Manufacturer = "Pulsorix";
const char* const ModelName = "VA ROR";
const char* const SoftwareVersion = "1.05b";

// A UID under the root for UUID-derived UIDs (2.25): the 128 bits of an
// MD5 digest as one decimal number.
QString uidOf(const QByteArray& text)
{
    QByteArray digest = QCryptographicHash::hash(text, QCryptographicHash::Md5);
    QString decimal;
    // Long division of the big-endian digest by 10, one digit per pass.
    while (std::any_of(digest.begin(), digest.end(), [](char byte) { return byte != 0; })) {
        unsigned remainder = 0;
        for (char& byte : digest) {
            const unsigned value = remainder * 256 + static_cast<unsigned char>(byte);
            byte = char(value / 10);
            remainder = value % 10;
        }
        decimal.prepend(QChar('0' + int(remainder)));
    }
    return QStringLiteral("2.25.") + (decimal.isEmpty() ? QStringLiteral("0") : decimal);
}

void put(DcmItem& item, const DcmTagKey& tag, const QString& value)
{
    const OFCondition status = item.putAndInsertString(tag, value.toUtf8().constData());
    if (status.bad())
        throw std::runtime_error(QStringLiteral("Cannot write DICOM attribute %1: %2")
                                     .arg(QString::fromLatin1(DcmTag(tag).getTagName()), QLatin1String(status.text()))
                                     .toStdString());
}

DcmItem& newItem(DcmItem& parent, const DcmTagKey& sequence)
{
    DcmItem* item = nullptr;
    if (parent.findOrCreateSequenceItem(sequence, item, -2).bad() || !item)
        throw std::runtime_error("Cannot add a DICOM sequence item");
    return *item;
}

void putCode(DcmItem& parent, const DcmTagKey& sequence, const Code& code)
{
    TDicomCodes::put(newItem(parent, sequence), code);
}

// A decimal string (at most 16 characters) for a DS attribute.
QString decimalText(double value)
{
    for (int digits = 12; digits > 1; --digits) {
        const QString text = QString::number(value, 'g', digits);
        if (text.size() <= 16)
            return text;
    }
    return QString::number(std::round(value));
}

QString dateOf(const QDateTime& time) { return time.isValid() ? time.toString(QStringLiteral("yyyyMMdd")) : QString(); }
QString timeOf(const QDateTime& time) { return time.isValid() ? time.toString(QStringLiteral("HHmmss")) : QString(); }

QDateTime studyStartOf(const TExportRecord& record)
{
    return record.studyStart.isValid() ? record.studyStart : record.start;
}

void putPatientAndStudy(DcmItem& data, const TExportRecord& record)
{
    put(data, DCM_SpecificCharacterSet, QStringLiteral("ISO_IR 192"));
    put(data, DCM_PatientName, record.lastName + QLatin1Char('^') + record.firstName);
    put(data, DCM_PatientID, record.patientId);
    put(data, DCM_PatientBirthDate, record.birthDate.isValid() ? record.birthDate.toString(QStringLiteral("yyyyMMdd")) : QString());
    put(data, DCM_PatientSex, record.sex == QLatin1String("M") || record.sex == QLatin1String("F") ? record.sex : QString());
    put(data, DCM_StudyInstanceUID, studyInstanceUid(record));
    put(data, DCM_StudyDate, dateOf(studyStartOf(record)));
    put(data, DCM_StudyTime, timeOf(studyStartOf(record)));
    put(data, DCM_ReferringPhysicianName, record.referringDoctorName);
    put(data, DCM_StudyID, record.studyId > 0 ? QString::number(record.studyId % 10000000) : QString());
    put(data, DCM_AccessionNumber, record.accessionNumber);
    put(data, DCM_InstitutionName, record.institutionName);
    put(data, DCM_Manufacturer, QLatin1String(Manufacturer));
    put(data, DCM_ManufacturerModelName, QLatin1String(ModelName));
    put(data, DCM_SoftwareVersions, QLatin1String(SoftwareVersion));
    // Our own scheme declared, so that a reader can tell whose codes they are.
    DcmItem& scheme = newItem(data, DCM_CodingSchemeIdentificationSequence);
    put(scheme, DCM_CodingSchemeDesignator, QLatin1String(TDicomCodes::PrivateScheme));
    put(scheme, DCM_CodingSchemeName, QStringLiteral("Pulsorix VA ROR signal-averaged ECG"));
    put(scheme, DCM_CodingSchemeResponsibleOrganization, QLatin1String(Manufacturer));
}

void putSeries(DcmItem& data, const TExportRecord& record, const char* modality, const char* role, int number)
{
    put(data, DCM_Modality, QLatin1String(modality));
    put(data, DCM_SeriesInstanceUID, uidOf(studyInstanceUid(record).toLatin1() + ':' + role));
    put(data, DCM_SeriesNumber, QString::number(number));
    put(data, DCM_InstanceNumber, QStringLiteral("1"));
    put(data, DCM_ContentDate, dateOf(record.start));
    put(data, DCM_ContentTime, timeOf(record.start));
    put(data, DCM_AcquisitionDateTime, record.start.isValid() ? record.start.toString(QStringLiteral("yyyyMMddHHmmss")) : QString());
}

// One multiplex group: channels of the named leads, samples interleaved
// channel by channel, each count `microvoltsPerCount` uV.
void addGroup(DcmItem& data, const char* originality, const char* label, int samplingRate, const QStringList& leads,
              const std::vector<std::vector<qint16>>& samples, double microvoltsPerCount)
{
    const std::size_t length = samples.empty() ? 0 : samples.front().size();
    checkLimits(int(samples.size()), samplingRate, length);
    DcmItem& group = newItem(data, DCM_WaveformSequence);
    put(group, DCM_WaveformOriginality, QLatin1String(originality));
    group.putAndInsertUint16(DCM_NumberOfWaveformChannels, Uint16(samples.size()));
    group.putAndInsertUint32(DCM_NumberOfWaveformSamples, Uint32(length));
    put(group, DCM_SamplingFrequency, QString::number(samplingRate));
    put(group, DCM_MultiplexGroupLabel, QLatin1String(label));
    for (const QString& lead : leads) {
        DcmItem& channel = newItem(group, DCM_ChannelDefinitionSequence);
        put(channel, DCM_ChannelLabel, lead);
        putCode(channel, DCM_ChannelSourceSequence, *TDicomCodes::leadCode(lead));
        put(channel, DCM_ChannelSensitivity, decimalText(microvoltsPerCount));
        putCode(channel, DCM_ChannelSensitivityUnitsSequence, Microvolt);
        put(channel, DCM_ChannelSensitivityCorrectionFactor, QStringLiteral("1"));
        put(channel, DCM_ChannelBaseline, QStringLiteral("0"));
        put(channel, DCM_ChannelSampleSkew, QStringLiteral("0"));
        channel.putAndInsertUint16(DCM_WaveformBitsStored, 16);
    }
    group.putAndInsertUint16(DCM_WaveformBitsAllocated, 16);
    put(group, DCM_WaveformSampleInterpretation, QStringLiteral("SS"));
    std::vector<Uint16> interleaved(length * samples.size());
    for (std::size_t sample = 0; sample < length; ++sample) {
        for (std::size_t channel = 0; channel < samples.size(); ++channel)
            interleaved[sample * samples.size() + channel] = Uint16(samples[channel][sample]);
    }
    auto* waveform = new DcmOtherByteOtherWord(DcmTag(DCM_WaveformData, EVR_OW));
    waveform->putUint16Array(interleaved.data(), static_cast<unsigned long>(interleaved.size()));
    group.insert(waveform, true);
}

// The leads of the record that have a code, by index.
std::vector<int> codedLeads(const TExportRecord& record)
{
    std::vector<int> leads;
    for (int lead = 0; lead < record.leadNames.size(); ++lead) {
        if (TDicomCodes::leadCode(record.leadNames[lead]))
            leads.push_back(lead);
    }
    return leads;
}

// The averaged beat in whole microvolts, within the 16 bits.
std::vector<qint16> microvoltsOf(const std::vector<double>& millivolts)
{
    std::vector<qint16> counts(millivolts.size());
    std::transform(millivolts.begin(), millivolts.end(), counts.begin(), [](double value) {
        return qint16(std::clamp(std::lround(value * 1000.0), -32768L, 32767L));
    });
    return counts;
}

void addWaveforms(DcmItem& data, const TExportRecord& record)
{
    const std::vector<int> leads = codedLeads(record);
    QStringList names;
    std::vector<std::vector<qint16>> recorded;
    for (int lead : leads) {
        names.append(record.leadNames[lead]);
        recorded.push_back(record.leads[std::size_t(lead)]);
    }
    addGroup(data, "ORIGINAL", "RHYTHM", record.samplingRate, names, recorded, record.millivoltsPerCount * 1000.0);
    if (record.averagedBeats.size() < record.leads.size() || record.averagedBeats.front().empty())
        return;
    std::vector<std::vector<qint16>> averaged;
    for (int lead : leads)
        averaged.push_back(microvoltsOf(record.averagedBeats[std::size_t(lead)]));
    addGroup(data, "DERIVED", "AVERAGED BEAT", record.samplingRate, names, averaged, 1.0);
}

// An annotation of the whole averaged beat (group 2, channel 0: all its
// channels), or of the recording when there is no averaged beat.
DcmItem& newAnnotation(DcmItem& data, const Code& concept, int group)
{
    DcmItem& annotation = newItem(data, DCM_WaveformAnnotationSequence);
    putCode(annotation, DCM_ConceptNameCodeSequence, concept);
    const Uint16 channels[] = {Uint16(group), 0};
    annotation.putAndInsertUint16Array(DCM_ReferencedWaveformChannels, channels, 2);
    return annotation;
}

void addMeasurement(DcmItem& data, const Code& concept, std::optional<double> value, const Code& unit, int group)
{
    if (!value)
        return;
    DcmItem& annotation = newAnnotation(data, concept, group);
    put(annotation, DCM_NumericValue, decimalText(*value));
    putCode(annotation, DCM_MeasurementUnitsCodeSequence, unit);
}

std::optional<double> optional(std::optional<int> value)
{
    return value ? std::optional<double>(*value) : std::nullopt;
}

void addAnnotations(DcmItem& data, const TExportRecord& record)
{
    DcmSequenceOfItems* groups = nullptr;
    data.findAndGetSequence(DCM_WaveformSequence, groups);
    const int group = groups && groups->card() > 1 ? 2 : 1;
    addMeasurement(data, HeartRate, record.heartRate > 0.0 ? std::optional<double>(record.heartRate) : std::nullopt,
                   PerMinute, group);
    addMeasurement(data, PrInterval, optional(record.measures.pr), Millisecond, group);
    addMeasurement(data, QrsDuration, optional(record.measures.qrs), Millisecond, group);
    addMeasurement(data, QtInterval, optional(record.measures.qt), Millisecond, group);
    addMeasurement(data, QtcInterval, optional(record.measures.qtc), Millisecond, group);
    if (!record.latePotentials)
        return;
    const TExportRecord::LatePotentials& late = *record.latePotentials;
    addMeasurement(data, FilteredQrsDuration, double(late.qrsdMilliseconds), Millisecond, group);
    addMeasurement(data, TerminalRms, double(late.rmsMicrovolts), Microvolt, group);
    addMeasurement(data, LowAmplitudeSignal, double(late.lasMilliseconds), Millisecond, group);
    addMeasurement(data, LatePotentialNoise, late.noiseMicrovolts, Microvolt, group);
    for (const Code& verdict : Verdicts) {
        if (late.verdict == QLatin1String(verdict.meaning))
            putCode(newAnnotation(data, LatePotentialVerdict, group), DCM_ConceptCodeSequence, verdict);
    }
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot read %1").arg(path).toStdString());
    return file.readAll();
}

// The object with its instance UID made from its content (without the
// UID), as a DICOM file (PS3.10 form).
Object finish(DcmFileFormat& file, const QString& role)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        throw std::runtime_error("Cannot create a temporary folder for a DICOM object");
    DcmDataset& data = *file.getDataset();
    const QString contentPath = folder.filePath(QStringLiteral("content.dcm"));
    if (data.saveFile(contentPath.toLocal8Bit().constData(), EXS_LittleEndianExplicit).bad())
        throw std::runtime_error("Cannot encode a DICOM object");
    Object object;
    object.instanceUid = uidOf(role.toLatin1() + ':' + readAll(contentPath));
    put(data, DCM_SOPInstanceUID, object.instanceUid);
    const QString path = folder.filePath(QStringLiteral("object.dcm"));
    const OFCondition status = file.saveFile(path.toLocal8Bit().constData(), EXS_LittleEndianExplicit);
    if (status.bad())
        throw std::runtime_error(QStringLiteral("Cannot encode a DICOM object: %1").arg(QLatin1String(status.text())).toStdString());
    object.file = readAll(path);
    return object;
}

} // namespace

void checkLimits(int channels, int samplingRate, std::size_t samples)
{
    if (channels < 1 || channels > MaxChannels)
        throw std::runtime_error(
            QStringLiteral("A DICOM ECG holds 1 to %1 leads per group, not %2").arg(MaxChannels).arg(channels).toStdString());
    if (samplingRate < MinSamplingRate || samplingRate > MaxSamplingRate)
        throw std::runtime_error(QStringLiteral("A DICOM ECG is sampled at %1 to %2 Hz, not %3")
                                     .arg(MinSamplingRate)
                                     .arg(MaxSamplingRate)
                                     .arg(samplingRate)
                                     .toStdString());
    if (samples == 0 || samples > MaxWaveformBytes / 2 / std::size_t(channels))
        throw std::runtime_error(
            QStringLiteral("A DICOM ECG cannot hold %1 samples per lead").arg(qulonglong(samples)).toStdString());
}

QString studyInstanceUid(const TExportRecord& record)
{
    if (!record.studyInstanceUid.isEmpty())
        return record.studyInstanceUid;
    return uidOf(QStringLiteral("study:%1:%2:%3")
                     .arg(record.studyId)
                     .arg(studyStartOf(record).toString(QStringLiteral("yyyyMMddHHmmss")), record.name)
                     .toUtf8());
}

Object encodeEcg(const TExportRecord& record)
{
    DcmFileFormat file;
    DcmDataset& data = *file.getDataset();
    put(data, DCM_SOPClassUID, QLatin1String(UID_GeneralECGWaveformStorage));
    putPatientAndStudy(data, record);
    putSeries(data, record, "ECG", "ecg", 1);
    data.insertEmptyElement(DCM_AcquisitionContextSequence);
    addWaveforms(data, record);
    addAnnotations(data, record);
    return finish(file, QStringLiteral("ecg"));
}

Object encodeReport(const TExportRecord& record, const QByteArray& pdf, const QString& ecgInstanceUid)
{
    DcmFileFormat file;
    DcmDataset& data = *file.getDataset();
    put(data, DCM_SOPClassUID, QLatin1String(UID_EncapsulatedPDFStorage));
    putPatientAndStudy(data, record);
    putSeries(data, record, "DOC", "report", 2);
    put(data, DCM_ConversionType, QStringLiteral("WSD"));
    put(data, DCM_BurnedInAnnotation, QStringLiteral("YES"));
    put(data, DCM_DocumentTitle, QStringLiteral("Signal-averaged ECG report"));
    data.insertEmptyElement(DCM_ConceptNameCodeSequence);
    DcmItem& source = newItem(data, DCM_SourceInstanceSequence);
    put(source, DCM_ReferencedSOPClassUID, QLatin1String(UID_GeneralECGWaveformStorage));
    put(source, DCM_ReferencedSOPInstanceUID, ecgInstanceUid);
    put(data, DCM_MIMETypeOfEncapsulatedDocument, QStringLiteral("application/pdf"));
    // An odd-sized document is padded to even length; its true length says
    // where the PDF ends.
    if (pdf.size() % 2 != 0)
        data.putAndInsertUint32(DCM_EncapsulatedDocumentLength, Uint32(pdf.size()));
    data.putAndInsertUint8Array(DCM_EncapsulatedDocument, reinterpret_cast<const Uint8*>(pdf.constData()),
                                static_cast<unsigned long>(pdf.size()));
    return finish(file, QStringLiteral("report"));
}

} // namespace TDicomEcgExport
