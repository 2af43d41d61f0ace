#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

struct TExportRecord;

// A study as DICOM objects for a hospital's archive, both of one DICOM
// study:
// - a General ECG Waveform object: the recorded leads at their rate as one
//   multiplex group of signed 16-bit samples (the device counts, with the
//   count's size as the channel sensitivity in uV), the averaged beat of
//   the same leads as a second, DERIVED group in whole microvolts, and the
//   measurements as waveform annotations: heart rate, PR, QRS, QT and QTc
//   with their MDC codes, and QRSD, RMS, LAS, the noise and the verdict of
//   the late potentials in our own coding scheme (TDicomCodes);
// - the report PDF as an Encapsulated PDF object referring to the ECG.
// The study instance UID is the order's when one was given, else made
// from the study's id and start; every other UID is made from the study
// UID and the object's content, so that the same study gives the same
// objects and a changed study new instances (a new version) of the same
// series.
namespace TDicomEcgExport {

// The General ECG class's limits, which a validator does not check: 1 to
// 24 channels per multiplex group, 200 to 1000 samples per second, and the
// waveform data within the largest value length DICOM can state.
inline constexpr int MaxChannels = 24;
inline constexpr int MinSamplingRate = 200;
inline constexpr int MaxSamplingRate = 1000;
inline constexpr std::size_t MaxWaveformBytes = 0xFFFFFFFEu;

// Throws std::runtime_error saying which limit the group breaks.
void checkLimits(int channels, int samplingRate, std::size_t samples);

struct Object
{
    QByteArray file; // a DICOM file (PS3.10 form)
    QString instanceUid;
};

// Throws std::runtime_error when the record does not fit the class.
Object encodeEcg(const TExportRecord& record);
Object encodeReport(const TExportRecord& record, const QByteArray& pdf, const QString& ecgInstanceUid);

QString studyInstanceUid(const TExportRecord& record);

} // namespace TDicomEcgExport
