#pragma once

#include <QString>

// One scheduled procedure of the modality worklist: who is to be examined
// and the order the study is filed under.
struct TWorklistEntry
{
    QString lastName;
    QString firstName;
    QString patientId;
    QString birthDate; // "yyyyMMdd" or empty
    QString sex;       // "M", "F" or empty
    QString accessionNumber;
    QString studyInstanceUid;
    QString procedure; // the requested procedure's description
    QString scheduledStart; // "yyyyMMddHHmmss" as far as given
};
