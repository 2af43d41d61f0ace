#include "formats/TDicomEcgFile.h"

#include "formats/TDicomCodes.h"
#include "storage/TRecordingLimits.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <QDateTime>
#include <QFileInfo>

#include <cmath>

#include <stdexcept>

namespace {

// What real ECG channels state: a sensitivity per count in its unit, its
// correction factor, and a baseline in counts.
constexpr double MinimumSensitivity = 1e-9;
constexpr double MaximumSensitivity = 1e6;
constexpr double MinimumCorrection = 1e-3;
constexpr double MaximumCorrection = 1e3;
constexpr double MaximumBaseline = 1e6;

[[noreturn]] void fail(const QString& path, const QString& what)
{
    throw std::runtime_error(QStringLiteral("%1: %2").arg(path, what).toStdString());
}

QString text(DcmItem& item, const DcmTagKey& tag)
{
    OFString value;
    item.findAndGetOFString(tag, value);
    return QString::fromUtf8(value.c_str()).trimmed();
}

double number(DcmItem& item, const DcmTagKey& tag, double absent)
{
    Float64 value = 0.0;
    return item.findAndGetFloat64(tag, value).good() ? value : absent;
}

// A channel's number within the range real ECG channels use, else the
// file is refused naming the field: a sensitivity of 0, infinity or 1e308
// would scale every sample into garbage.
double checkedNumber(DcmItem& item, const DcmTagKey& tag, double absent, double least, double most,
                     const QString& path, const char* field)
{
    const double value = number(item, tag, absent);
    if (!std::isfinite(value) || std::fabs(value) < least || std::fabs(value) > most)
        fail(path, QStringLiteral("the channel %1 %2 is beyond the values of ECG channels").arg(QLatin1String(field)).arg(value));
    return value;
}

bool isEcgClass(const QString& sopClass)
{
    return sopClass == QLatin1String(UID_TwelveLeadECGWaveformStorage)
           || sopClass == QLatin1String(UID_GeneralECGWaveformStorage);
}

DcmItem* firstItem(DcmItem& item, const DcmTagKey& sequence)
{
    DcmItem* first = nullptr;
    return item.findAndGetSequenceItem(sequence, first, 0).good() ? first : nullptr;
}

// The first group holding the recording itself.
DcmItem* recordingGroup(DcmDataset& data)
{
    DcmSequenceOfItems* groups = nullptr;
    if (data.findAndGetSequence(DCM_WaveformSequence, groups).bad() || !groups)
        return nullptr;
    for (unsigned long i = 0; i < groups->card(); ++i) {
        if (text(*groups->getItem(i), DCM_WaveformOriginality) == QLatin1String("ORIGINAL"))
            return groups->getItem(i);
    }
    return nullptr;
}

// The lead a channel records, by its source code, else its label.
QString channelName(DcmItem& channel)
{
    if (DcmItem* source = firstItem(channel, DCM_ChannelSourceSequence)) {
        const QString lead = TDicomCodes::leadOf(text(*source, DCM_CodeValue), text(*source, DCM_CodingSchemeDesignator));
        if (!lead.isEmpty())
            return lead;
    }
    return text(channel, DCM_ChannelLabel);
}

// Millivolts per unit of the channel's sensitivity (UCUM "uV", "mV", "V").
double millivoltsPerUnit(DcmItem& channel, const QString& path)
{
    DcmItem* unit = firstItem(channel, DCM_ChannelSensitivityUnitsSequence);
    const QString code = unit ? text(*unit, DCM_CodeValue) : QStringLiteral("uV");
    if (code == QLatin1String("uV"))
        return 0.001;
    if (code == QLatin1String("mV"))
        return 1.0;
    if (code == QLatin1String("V"))
        return 1000.0;
    fail(path, QStringLiteral("a channel's sensitivity is in %1, not a voltage").arg(code));
}

void readSignals(TDicomEcgFile& file, DcmItem& group, const QString& path)
{
    if (text(group, DCM_WaveformSampleInterpretation) != QLatin1String("SS"))
        fail(path, QStringLiteral("only signed 16-bit waveform samples are read"));
    Uint16 channels = 0;
    Uint32 samples = 0;
    group.findAndGetUint16(DCM_NumberOfWaveformChannels, channels);
    group.findAndGetUint32(DCM_NumberOfWaveformSamples, samples);
    const double rate = number(group, DCM_SamplingFrequency, 0.0);
    if (channels == 0 || samples == 0 || !(rate > 0.0))
        fail(path, QStringLiteral("the recording has no channels, samples or sampling rate"));
    TRecordingLimits::requireSize(path, samples / rate, double(samples) * channels);
    const Uint16* data = nullptr;
    unsigned long count = 0;
    if (group.findAndGetUint16Array(DCM_WaveformData, data, &count).bad() || count < std::size_t(samples) * channels)
        fail(path, QStringLiteral("the waveform data are shorter than its channels and samples"));

    DcmSequenceOfItems* definitions = nullptr;
    if (group.findAndGetSequence(DCM_ChannelDefinitionSequence, definitions).bad() || !definitions
        || definitions->card() != channels)
        fail(path, QStringLiteral("the channel definitions do not match the channels"));
    file.record.header.samplingFrequency = rate;
    file.record.header.sampleCount = samples;
    for (Uint16 c = 0; c < channels; ++c) {
        DcmItem& channel = *definitions->getItem(c);
        TWfdbSignalInfo& info = file.record.header.signalInfos.emplace_back();
        info.fileName = QFileInfo(path).fileName();
        info.description = channelName(channel);
        const double millivoltsPerCount =
            checkedNumber(channel, DCM_ChannelSensitivity, 1.0, MinimumSensitivity, MaximumSensitivity, path,
                          "sensitivity")
            * checkedNumber(channel, DCM_ChannelSensitivityCorrectionFactor, 1.0, MinimumCorrection,
                            MaximumCorrection, path, "sensitivity correction factor")
            * millivoltsPerUnit(channel, path);
        const double baseline =
            checkedNumber(channel, DCM_ChannelBaseline, 0.0, 0.0, MaximumBaseline, path, "baseline");
        std::vector<double>& values = file.record.millivolts.emplace_back(samples);
        for (Uint32 s = 0; s < samples; ++s)
            values[s] = (Sint16(data[std::size_t(s) * channels + c]) + baseline) * millivoltsPerCount;
    }
}

// "Last^First^..." as DICOM writes person names; the recording's start.
void readPatient(TDicomEcgFile& file, DcmDataset& data)
{
    const QStringList name = text(data, DCM_PatientName).split(QLatin1Char('^'));
    file.patient.lastName = name.value(0).trimmed().toStdString();
    file.patient.firstName = name.value(1).trimmed().toStdString();
    const QString sex = text(data, DCM_PatientSex);
    if (sex == QLatin1String("M") || sex == QLatin1String("F"))
        file.patient.sex = sex.toStdString();
    file.patient.birthDate = text(data, DCM_PatientBirthDate).left(8).toStdString();
    file.patient.medicalHistoryNumber = text(data, DCM_PatientID).toStdString();
    // The acquisition's start, else the content's date and time.
    QString start = text(data, DCM_AcquisitionDateTime).left(14);
    if (start.size() < 14)
        start = QString(text(data, DCM_ContentDate) + text(data, DCM_ContentTime)).left(14);
    if (QDateTime::fromString(start, QStringLiteral("yyyyMMddHHmmss")).isValid())
        file.patient.recordingDateTime = start.toStdString();
}

} // namespace

TDicomEcgFile TDicomEcgFile::read(const QString& path)
{
    DcmFileFormat format;
    const OFCondition status = format.loadFile(path.toLocal8Bit().constData());
    if (status.bad())
        fail(path, QStringLiteral("not a DICOM file (%1)").arg(QLatin1String(status.text())));
    DcmDataset& data = *format.getDataset();
    const QString sopClass = text(data, DCM_SOPClassUID);
    if (!isEcgClass(sopClass))
        fail(path, QStringLiteral("not a 12-lead or general ECG (SOP class %1)").arg(sopClass));
    DcmItem* group = recordingGroup(data);
    if (!group)
        fail(path, QStringLiteral("the ECG holds no original recording"));
    TDicomEcgFile file;
    file.record.header.recordName = QFileInfo(path).completeBaseName();
    readSignals(file, *group, path);
    readPatient(file, data);
    return file;
}

bool TDicomEcgFile::isOtherObject(const QString& path)
{
    // Values longer than this stay on disk: the class is a short one.
    constexpr Uint32 ShortValues = 256;
    DcmFileFormat format;
    return format.loadFile(path.toLocal8Bit().constData(), EXS_Unknown, EGL_noChange, ShortValues).good()
           && !isEcgClass(text(*format.getDataset(), DCM_SOPClassUID));
}
