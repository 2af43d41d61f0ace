#pragma once

#include "storage/TStudyInfo.h"
#include "formats/TWfdbDeviceRecording.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <string>

// A recording from another system taken in as the acquisition device would
// have delivered it (TWfdbDeviceRecording: the fourteen leads at 1000 Hz
// as device counts): a WFDB record (its ".hea" header) or an EDF, EDF+,
// BDF or BDF+ file (".edf", ".bdf") or a DICOM ECG (TDicomEcgFile: ".dcm",
// or any other name when the file starts with the DICOM prefix), whose
// signals are matched to the leads by label (a DICOM channel by its source
// code) with the names and aliases of TWfdbLeadMap.
class TImportedRecording
{
public:
    // Whether the file is a recording this class reads: by its name, or
    // by its first 132 bytes for a DICOM object named otherwise.
    static bool isRecordingFile(const QString& path);
    // The recordings of a folder in name order: its WFDB headers, EDF and
    // BDF files and DICOM ECGs (also those without ".dcm"); DICOM objects
    // of other kinds (the report beside an ECG, images) are no recordings,
    // while a damaged DICOM file is listed, to be reported as failed.
    static QStringList recordingsIn(const QString& folder);
    // Throws std::runtime_error naming the file and what is wrong with it.
    static TImportedRecording read(const QString& path);

    const TWfdbDeviceRecording& recording() const { return m_recording; }

    // The record of a new study holding the recording, dated at the
    // recording's start when its header gives it, else at `now`
    // ("yyyyMMddHHmmss"): the patient's name, sex and birth date when an
    // EDF+ or BDF+ header or a DICOM ECG gives them (a DICOM ECG also the
    // patient ID, as clinical record number); otherwise the recording's
    // name as last name and its format ("WFDB", "EDF", "BDF", "DICOM") as
    // first name. Its recording date-time is the recording's own start
    // when the file gives it (EDF+, BDF+, DICOM), else empty.
    TStudyInfo studyInfo(const std::string& now) const;

private:
    // A patient without a name is named after the recording and its format.
    TImportedRecording(const TWfdbDeviceRecording& recording, const TStudyInfo& patient, const char* format,
                       const QDateTime& start);

    TWfdbDeviceRecording m_recording;
    TStudyInfo m_patient; // names, sex, birth date, record number and recording start only
    QDateTime m_start;    // invalid when the file does not give it
};
