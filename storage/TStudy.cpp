#include "storage/TStudy.h"

#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"

TStudy::TStudy(int id)
    : m_id(id)
{
}

TStudy::~TStudy()
{
    closeFiles();
}

std::string TStudy::property(const std::string& key)
{
    return m_properties[key];
}

std::string TStudy::propertyValue(const std::string& key) const
{
    const auto at = m_properties.find(key);
    return at != m_properties.end() ? at->second : std::string();
}

void TStudy::setProperty(const std::string& key, const std::string& value)
{
    m_properties[key] = value;
}

void TStudy::addRiskFactor(const std::string& name, bool present, const std::string& comment)
{
    m_riskFactors[name] = {present, comment};
}

bool TStudy::riskFactor(const std::string& name, std::string& comment) const
{
    const auto at = m_riskFactors.find(name);
    if (at == m_riskFactors.end())
        return false;
    comment = at->second.second;
    return at->second.first;
}

bool TStudy::hasRiskFactor(const std::string& name) const
{
    return m_riskFactors.count(name) != 0;
}

std::vector<std::string> TStudy::riskFactorNames() const
{
    std::vector<std::string> names;
    names.reserve(m_riskFactors.size());
    for (const auto& entry : m_riskFactors)
        names.push_back(entry.first);
    return names;
}

void TStudy::setEcgFile(std::unique_ptr<TEcgFile> file)
{
    m_beatsFile.reset();  // the beats file refers to the ECG file's channels
    m_ecgFile = std::move(file);
}

void TStudy::setBeatsFile(std::unique_ptr<TBeatsFile> file)
{
    m_beatsFile = std::move(file);
}

void TStudy::closeFiles()
{
    m_beatsFile.reset();
    m_ecgFile.reset();
}

const std::vector<std::string>& TStudy::studyKeys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> names;
        for (const TStudyInfoTextField& field : studyInfoStudyFields())
            names.emplace_back(field.name);
        return names;
    }();
    return keys;
}

const std::vector<std::string>& TStudy::patientFields()
{
    static const std::vector<std::string> fields = [] {
        std::vector<std::string> names;
        for (const TStudyInfoTextField& field : studyInfoPatientFields())
            names.emplace_back(field.name);
        return names;
    }();
    return fields;
}

const std::vector<TStudyInfoTextField>& studyInfoStudyFields()
{
    static const std::vector<TStudyInfoTextField> fields{
        {"baseFilename", &TStudyInfo::baseFilename},
        {"status", &TStudyInfo::status},
        {"studyType", &TStudyInfo::studyType},
        {"institutionName", &TStudyInfo::institutionName},
        {"technicianName", &TStudyInfo::technicianName},
        {"doctorName", &TStudyInfo::doctorName},
        {"referringDoctorName", &TStudyInfo::referringDoctorName},
        {"treatment", &TStudyInfo::treatment},
        {"indication", &TStudyInfo::indication},
        {"comments", &TStudyInfo::comments},
        {"conclusion", &TStudyInfo::conclusion},
        {"accessionNumber", &TStudyInfo::accessionNumber},
        {"studyInstanceUid", &TStudyInfo::studyInstanceUid},
    };
    return fields;
}

const std::vector<TStudyInfoTextField>& studyInfoPatientFields()
{
    static const std::vector<TStudyInfoTextField> fields{
        {"firstName", &TStudyInfo::firstName},
        {"lastName", &TStudyInfo::lastName},
        {"sex", &TStudyInfo::sex},
        {"age", &TStudyInfo::age},
        {"weight", &TStudyInfo::weight},
        {"height", &TStudyInfo::height},
        {"birthDate", &TStudyInfo::birthDate},
        {"personIdType", &TStudyInfo::personIdType},
        {"personIdNumber", &TStudyInfo::personIdNumber},
        {"medicalGroupName", &TStudyInfo::medicalGroupName},
        {"medicalGroupNumber", &TStudyInfo::medicalGroupNumber},
        {"medicalHistoryNumber", &TStudyInfo::medicalHistoryNumber},
        {"address", &TStudyInfo::address},
        {"city", &TStudyInfo::city},
        {"state", &TStudyInfo::state},
        {"country", &TStudyInfo::country},
        {"phoneNumber", &TStudyInfo::phoneNumber},
    };
    return fields;
}

TStudyInfo studyInfoOf(const TStudy& study)
{
    TStudyInfo info;
    info.id = study.id();
    info.studyDateTime = study.studyDateTime();
    info.recordingDateTime = study.recordingDateTime();
    for (const TStudyInfoTextField& field : studyInfoStudyFields())
        info.*field.field = study.propertyValue(field.name);
    for (const TStudyInfoTextField& field : studyInfoPatientFields())
        info.*field.field = study.propertyValue(TStudy::patientKey(field.name));
    for (const auto& [name, entry] : study.riskFactors())
        info.riskFactors.push_back({name, entry.first, entry.second});
    return info;
}

void applyStudyInfo(TStudy& study, const TStudyInfo& info)
{
    study.setStudyDateTime(info.studyDateTime);
    study.setRecordingDateTime(info.recordingDateTime);
    for (const TStudyInfoTextField& field : studyInfoStudyFields())
        study.setProperty(field.name, info.*field.field);
    for (const TStudyInfoTextField& field : studyInfoPatientFields())
        study.setProperty(TStudy::patientKey(field.name), info.*field.field);
    for (const TRiskFactorEntry& entry : info.riskFactors)
        study.addRiskFactor(entry.name, entry.present, entry.comment);
}
