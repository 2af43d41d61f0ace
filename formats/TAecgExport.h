#pragma once

#include <QByteArray>

struct TExportRecord;

// A study as an HL7 v3 annotated ECG (aECG), the regulatory exchange
// format of annotated ECGs:
// - the patient (name, sex, birth date) as the trial subject;
// - a rhythm series holding the whole recording of the twelve standard
//   leads (absolute time from the recording start, the device counts at
//   the device's step in uV, so the values are exact), annotated with
//   the global measurements (heart rate, PR, QRS, QT, QTc, RR) and the
//   stored beats (normal, or unclassified for a rejected beat);
// - derived from it, the representative (averaged) beat of the same leads
//   in whole microvolts, annotated with its P, QRS and T waves (onset to
//   offset, the P peak inside the P wave) as far as they were found.
// Codes are MDC (ISO/IEEE 11073-10101) and HL7 ActCode terms.
namespace TAecgExport {

QByteArray encode(const TExportRecord& record);

} // namespace TAecgExport
