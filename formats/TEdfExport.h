#pragma once

#include <QString>

struct TExportRecord;

// A study as an EDF+ file (16-bit samples) or a BDF+ file (24-bit), for
// EDF viewers and analysis packages:
// - every lead as a signal labelled "ECG <lead>" in mV, its digital values
//   the device counts and its physical range chosen so that EDF's
//   eight-character fields state it exactly: every value reads back as
//   the count times the device's step. On the 16-bit scale that range ends
//   a little below the device's maximum (295.3 of 300 mV); the counts
//   above it, which only a saturated input reaches, are stored at its end;
// - data records of one second, the last one completed with the last
//   sample and the end of the recording marked by the annotation
//   TEdfFile::RecordingEnds;
// - the patient's name ("Last,First", in ASCII), sex and birth date and
//   the recording start in the header's structured fields;
// - the stored beats as annotations "Normal beat" and "Rejected beat" at
//   their QRS times, and each wave mark found on the averaged beat as an
//   annotation at the start, e.g. "Averaged beat QRSOnset -48.0 ms".
namespace TEdfExport {

constexpr const char* NormalBeat = "Normal beat";
constexpr const char* RejectedBeat = "Rejected beat";

// Throws std::runtime_error naming the file and what failed; what was
// written then is for the caller to remove.
void write(const TExportRecord& record, const QString& path, bool bdf);

} // namespace TEdfExport
