#include "formats/TImportedRecording.h"

#include "formats/TDicomEcgFile.h"
#include "formats/TEdfFile.h"
#include "storage/TRegularFile.h"
#include "formats/TWfdbRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// EDF+ writes "X" for a patient field it does not know.
constexpr const char* UnknownField = "X";

const char* const DicomSuffix = "dcm";
// The formats told by their names alone.
const char* const OtherRecordingSuffixes[] = {"hea", "edf", "bdf"};

// DICOM part 10: a 128-byte preamble, then "DICM".
constexpr qint64 DicomPrefixBytes = 132;

QString suffixOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

bool hasOtherRecordingSuffix(const QString& path)
{
    const QString suffix = suffixOf(path);
    for (const char* recording : OtherRecordingSuffixes) {
        if (suffix == QLatin1String(recording))
            return true;
    }
    return false;
}

// Only the prefix of a regular file is read: a folder scan must not read
// whole recordings, and a pipe or a device would keep it waiting.
bool hasDicomPrefix(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray prefix = file.read(DicomPrefixBytes);
    return prefix.size() == DicomPrefixBytes && prefix.endsWith("DICM");
}

// A ".dcm" file, or one named otherwise that carries the DICOM prefix:
// archives export their objects without extension, or named by their
// instance UID, whose last digits pass for an extension.
bool isDicomFile(const QString& path)
{
    if (suffixOf(path) == QLatin1String(DicomSuffix))
        return true;
    return !hasOtherRecordingSuffix(path) && hasDicomPrefix(path);
}

// The channels as the signals of a WFDB record: the same lead map and
// conversion to device counts then serve both formats.
TWfdbRecord recordOf(const TEdfFile& file, const QString& path)
{
    TWfdbRecord record;
    record.header.recordName = QFileInfo(path).completeBaseName();
    record.header.samplingFrequency = file.samplingRate();
    const std::size_t length = file.recordedLength();
    for (const TEdfFile::Signal& channel : file.channels) {
        TWfdbSignalInfo& info = record.header.signalInfos.emplace_back();
        info.fileName = QFileInfo(path).fileName();
        info.description = channel.label;
        info.units = channel.dimension;
        const double unit = info.isVoltage() ? info.millivoltsPerUnit() : 1.0;
        std::vector<double>& values = record.millivolts.emplace_back();
        values.reserve(length);
        for (std::size_t i = 0; i < length; ++i)
            values.push_back(channel.physical(channel.samples[i]) * unit);
    }
    record.header.sampleCount = qint64(record.length());
    return record;
}

// "Last,First" as this application writes it; a name without a comma is
// taken whole as the last name.
TStudyInfo patientOf(const TEdfFile& file)
{
    TStudyInfo patient;
    if (!file.patientName.isEmpty() && file.patientName != QLatin1String(UnknownField)) {
        const int comma = file.patientName.indexOf(QLatin1Char(','));
        patient.lastName = file.patientName.left(comma).trimmed().toStdString();
        if (comma >= 0)
            patient.firstName = file.patientName.mid(comma + 1).trimmed().toStdString();
    }
    patient.sex = file.sex.toStdString();
    if (file.birthDate.isValid())
        patient.birthDate = file.birthDate.toString(QStringLiteral("yyyyMMdd")).toStdString();
    if (file.start.isValid())
        patient.recordingDateTime = file.start.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString();
    return patient;
}

} // namespace

TImportedRecording::TImportedRecording(const TWfdbDeviceRecording& recording, const TStudyInfo& patient,
                                       const char* format, const QDateTime& start)
    : m_recording(recording), m_patient(patient), m_start(start)
{
    if (m_patient.lastName.empty() && m_patient.firstName.empty()) {
        m_patient.lastName = recording.header().recordName.toStdString();
        m_patient.firstName = format;
    }
}

bool TImportedRecording::isRecordingFile(const QString& path)
{
    return hasOtherRecordingSuffix(path) || isDicomFile(path);
}

QStringList TImportedRecording::recordingsIn(const QString& folder)
{
    const QDir dir(folder);
    QStringList found;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        const QString path = dir.filePath(name);
        if (isDicomFile(path) ? !TDicomEcgFile::isOtherObject(path) : hasOtherRecordingSuffix(path))
            found << path;
    }
    return found;
}

TImportedRecording TImportedRecording::read(const QString& path)
{
    TRegularFile::require(path);
    if (suffixOf(path) == QLatin1String("hea")) {
        const TWfdbDeviceRecording recording = TWfdbDeviceRecording::read(path);
        return TImportedRecording(recording, TStudyInfo(), "WFDB", recording.header().start);
    }
    if (isDicomFile(path)) {
        const TDicomEcgFile file = TDicomEcgFile::read(path);
        const QDateTime start = QDateTime::fromString(QString::fromStdString(file.patient.recordingDateTime),
                                                      QStringLiteral("yyyyMMddHHmmss"));
        return TImportedRecording(TWfdbDeviceRecording::fromRecord(file.record), file.patient, "DICOM", start);
    }
    const TEdfFile file = TEdfFile::read(path);
    return TImportedRecording(TWfdbDeviceRecording::fromRecord(recordOf(file, path)), patientOf(file),
                              file.is24Bit ? "BDF" : "EDF", file.start);
}

TStudyInfo TImportedRecording::studyInfo(const std::string& now) const
{
    TStudyInfo info = m_patient;
    info.studyType = "VA ROR";
    const std::string start = m_start.isValid() ? m_start.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() : "";
    info.studyDateTime = start.empty() ? now : start;
    if (info.recordingDateTime.empty())
        info.recordingDateTime = start;
    return info;
}
