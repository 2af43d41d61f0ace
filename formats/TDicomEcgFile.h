#pragma once

#include "formats/TWfdbRecord.h"
#include "storage/TStudyInfo.h"

#include <QString>

// A DICOM ECG taken in: a 12-lead ECG or General ECG Waveform object,
// from this application or another maker's cart. The recording is the
// first multiplex group marked ORIGINAL (a DERIVED group, such as a median
// beat, is not the recording); its channels are named by their source
// codes (MDC, SCP-ECG or our own, TDicomCodes), or by their labels where
// the code names no lead, and converted to millivolts with each channel's
// sensitivity, unit, baseline and correction factor. Its signals then
// pass as those of a WFDB record, so the same lead map and conversion to
// device counts serve every format.
struct TDicomEcgFile
{
    TWfdbRecord record;
    TStudyInfo patient; // names, sex, birth date, patient ID and recording start, as far as given

    // Throws std::runtime_error naming the file and what is wrong with it.
    static TDicomEcgFile read(const QString& path);
    // Whether the file is a readable DICOM object of a class read() does
    // not take (its large values are not loaded to tell); a damaged one is
    // not, so that reading it says what is wrong.
    static bool isOtherObject(const QString& path);
};
