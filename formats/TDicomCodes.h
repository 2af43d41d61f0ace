#pragma once

#include <QString>

#include <optional>

class DcmItem;

// Coded entries of the DICOM ECG objects: the leads (MDC codes, the older
// SCP-ECG codes read too), the measurements with their UCUM units, and our
// own coding scheme for what no standard codes (the late potentials).
namespace TDicomCodes {

struct Code
{
    const char* value;
    const char* scheme;
    const char* meaning;
};

// Our private coding scheme (DICOM reserves designators beginning "99"
// for local schemes).
inline constexpr const char* PrivateScheme = "99PXVAROR";

// The code a lead is written with: MDC for the standard leads and CM5,
// the private scheme for CR5; nothing for a lead of another name.
std::optional<Code> leadCode(const QString& leadName);
// The lead of a channel source code in the MDC, SCP-ECG or private
// scheme; empty when the code names no lead we record.
QString leadOf(const QString& value, const QString& scheme);

// Writes a code item (value, scheme, meaning) into `item`.
void put(DcmItem& item, const Code& code);

} // namespace TDicomCodes
