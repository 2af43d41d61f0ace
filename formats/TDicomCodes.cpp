#include "formats/TDicomCodes.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>

namespace TDicomCodes {
namespace {

// MDC (ISO/IEEE 11073-10101) codes are written partition:code, as DICOM
// carries them; SCP-ECG codes are those older carts write.
struct Lead
{
    const char* name;
    Code code;
    const char* scpEcgCode; // nullptr: none
};
constexpr Lead Leads[] = {
    {"I", {"2:1", "MDC", "Lead I"}, "5.6.3-9-1"},
    {"II", {"2:2", "MDC", "Lead II"}, "5.6.3-9-2"},
    {"III", {"2:61", "MDC", "Lead III"}, "5.6.3-9-61"},
    {"aVR", {"2:62", "MDC", "Lead aVR"}, "5.6.3-9-62"},
    {"aVL", {"2:63", "MDC", "Lead aVL"}, "5.6.3-9-63"},
    {"aVF", {"2:64", "MDC", "Lead aVF"}, "5.6.3-9-64"},
    {"V1", {"2:3", "MDC", "Lead V1"}, "5.6.3-9-3"},
    {"V2", {"2:4", "MDC", "Lead V2"}, "5.6.3-9-4"},
    {"V3", {"2:5", "MDC", "Lead V3"}, "5.6.3-9-5"},
    {"V4", {"2:6", "MDC", "Lead V4"}, "5.6.3-9-6"},
    {"V5", {"2:7", "MDC", "Lead V5"}, "5.6.3-9-7"},
    {"V6", {"2:8", "MDC", "Lead V6"}, "5.6.3-9-8"},
    {"CM5", {"2:20", "MDC", "Lead CM5"}, nullptr},
    {"CR5", {"CR5", PrivateScheme, "Lead CR5"}, nullptr},
};

} // namespace

std::optional<Code> leadCode(const QString& leadName)
{
    for (const Lead& lead : Leads) {
        if (leadName == QLatin1String(lead.name))
            return lead.code;
    }
    return std::nullopt;
}

QString leadOf(const QString& value, const QString& scheme)
{
    for (const Lead& lead : Leads) {
        if (scheme == QLatin1String(lead.code.scheme) && value == QLatin1String(lead.code.value))
            return QLatin1String(lead.name);
        if (scheme == QLatin1String("SCPECG") && lead.scpEcgCode && value == QLatin1String(lead.scpEcgCode))
            return QLatin1String(lead.name);
    }
    return QString();
}

void put(DcmItem& item, const Code& code)
{
    item.putAndInsertString(DCM_CodeValue, code.value);
    item.putAndInsertString(DCM_CodingSchemeDesignator, code.scheme);
    item.putAndInsertString(DCM_CodeMeaning, code.meaning);
}

} // namespace TDicomCodes
