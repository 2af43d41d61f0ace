#pragma once

#include "analysis/signal/TWaveMarks.h"
#include "storage/TStudyInfo.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TBeatsFile;
class TEcgFile;

// The open study, owned by the study store while it is recorded or
// reviewed: key/value properties, risk factors, the named results and the
// two data files. Texts are UTF-8 byte strings; maps order their keys
// byte-wise.
class TStudy
{
public:
    using Properties = std::map<std::string, std::string>;
    using RiskFactors = std::map<std::string, std::pair<bool, std::string>>;

    static constexpr const char* NoDateTime = "00000000000000";
    // Where a recording stands, in the study object's "recordingState"
    // member: "recording" from the start of the recording until it ends,
    // "interrupted" once a recording cut off by a crash has been finished
    // at the next start; empty (no member) for a complete recording.
    static constexpr const char* RecordingStateKey = "recordingState";
    static constexpr const char* RecordingInProgress = "recording";
    static constexpr const char* RecordingInterrupted = "interrupted";

    explicit TStudy(int id = 0);
    ~TStudy();
    TStudy(const TStudy&) = delete;
    TStudy& operator=(const TStudy&) = delete;

    int id() const { return m_id; }
    void setId(int id) { m_id = id; }

    // The value of a key; an absent key reads as empty and is inserted with
    // an empty value (map subscript semantics).
    std::string property(const std::string& key);
    // The same without inserting.
    std::string propertyValue(const std::string& key) const;
    void setProperty(const std::string& key, const std::string& value);
    const Properties& properties() const { return m_properties; }

    // Inserts or replaces the entry with that name.
    void addRiskFactor(const std::string& name, bool present, const std::string& comment);
    // Whether the patient has the risk factor; false, with the comment left
    // untouched, when there is no entry of that name.
    bool riskFactor(const std::string& name, std::string& comment) const;
    bool hasRiskFactor(const std::string& name) const;
    std::vector<std::string> riskFactorNames() const;
    const RiskFactors& riskFactors() const { return m_riskFactors; }

    const std::string& studyDateTime() const { return m_studyDateTime; }
    void setStudyDateTime(const std::string& value) { m_studyDateTime = value; }
    const std::string& recordingDateTime() const { return m_recordingDateTime; }
    void setRecordingDateTime(const std::string& value) { m_recordingDateTime = value; }

    TWaveMarks& results() { return m_results; }
    const TWaveMarks& results() const { return m_results; }

    TEcgFile* ecgFile() const { return m_ecgFile.get(); }
    TBeatsFile* beatsFile() const { return m_beatsFile.get(); }
    void setEcgFile(std::unique_ptr<TEcgFile> file);
    void setBeatsFile(std::unique_ptr<TBeatsFile> file);
    // Closes the beats file, then the ECG file.
    void closeFiles();

    // The eleven study-level property keys (also the study object's text
    // members) and the seventeen patient fields (keys "patient/" + field).
    static const std::vector<std::string>& studyKeys();
    static const std::vector<std::string>& patientFields();
    static std::string patientKey(const std::string& field) { return "patient/" + field; }

private:
    int m_id;
    Properties m_properties;
    RiskFactors m_riskFactors;
    std::unique_ptr<TEcgFile> m_ecgFile;
    std::unique_ptr<TBeatsFile> m_beatsFile;
    TWaveMarks m_results;
    std::string m_studyDateTime = NoDateTime;
    std::string m_recordingDateTime = NoDateTime;
};

// getStudyInfo: id, the two date-times, every text field from its property
// and the risk factors in name order; the recording parameters stay empty.
TStudyInfo studyInfoOf(const TStudy& study);
// setStudyInfo: the two date-times and every property from the record
// (empty values included), then every risk factor entry. The id is kept.
void applyStudyInfo(TStudy& study, const TStudyInfo& info);

// The text fields of TStudyInfo by their property names, so the mapping is
// written once.
struct TStudyInfoTextField
{
    const char* name;
    std::string TStudyInfo::*field;
};
const std::vector<TStudyInfoTextField>& studyInfoStudyFields();    // the eleven study keys
const std::vector<TStudyInfoTextField>& studyInfoPatientFields();  // the seventeen patient fields
