#pragma once

#include <string>
#include <vector>

// One risk factor of a patient; the name is the key.
struct TRiskFactorEntry
{
    std::string name;
    bool present = false;
    std::string comment;
};

// The flat study record that dialogs and windows edit and the store lists
// and returns. Every text is a UTF-8 byte string; absent values are empty.
// The recording parameters (sampleFormat .. gain) are used only when the
// study files are created.
struct TStudyInfo
{
    int id = 0;
    std::string baseFilename;
    std::string status;
    std::string studyType;
    std::string studyDateTime;      // "yyyyMMddHHmmss", local time
    std::string recordingDateTime;  // "yyyyMMddHHmmss"
    std::string institutionName;
    std::string technicianName;
    std::string doctorName;
    std::string referringDoctorName;
    std::string treatment;
    std::string indication;
    std::string comments;
    std::string conclusion;
    // The hospital's order the study answers (its worklist entry): the
    // accession number and the DICOM study instance UID; empty without one.
    std::string accessionNumber;
    std::string studyInstanceUid;
    std::string sampleFormat;
    int samplingRate = 0;
    int channelCount = 0;
    std::string channelNames;  // joined with ","
    int resolution = 0;
    double gain = 0.0;  // the amplitude range is -gain .. +gain
    std::string firstName;
    std::string lastName;
    std::string sex;        // "M", "F" or ""
    std::string birthDate;  // "yyyyMMdd" or ""
    std::string personIdType;
    std::string personIdNumber;
    std::string medicalGroupName;
    std::string medicalGroupNumber;
    std::string medicalHistoryNumber;
    std::string address;
    std::string city;
    std::string state;
    std::string country;
    std::string phoneNumber;
    std::string age;
    std::string weight;
    std::string height;
    std::vector<TRiskFactorEntry> riskFactors;
};

// The eleven risk factor names, in dialog order, exactly as stored (data,
// never translated).
const std::vector<std::string>& defaultRiskFactorNames();

// The body-mass index from a weight in kilograms and a height in
// centimetres as typed: the leading number of each, a point or a comma
// separating its decimals ("72,5" is 72.5), as either is typed where the
// comma is the decimal sign. One decimal place; empty without a positive
// height.
std::string bodyMassIndexText(const std::string& weight, const std::string& height);
