#include "storage/TStoredRecording.h"

#include "storage/TEcgFile.h"
#include "storage/TStudyFileName.h"
#include "storage/TStudyFiles.h"
#include "storage/TStudyInfo.h"
#include "storage/TStudyJson.h"
#include "storage/TStudyStore.h"

#include <memory>

TStoredRecording::Length TStoredRecording::length(const std::string& dataPath, const TStudyInfo& info)
{
    const std::unique_ptr<TEcgFile> ecg = TStudyFiles::openEcgFile(
        TStudyFileName::studyPath(TStudyJson::toQString(dataPath), TStudyJson::toQString(info.baseFilename),
                                  QString::fromLatin1(TStudyFiles::EcgExtension)));
    if (!ecg || ecg->samplingRate() <= 0)
        return {};
    return {ecg->sampleCount(), int(ecg->sampleCount() / ecg->samplingRate())};
}

int TStoredRecording::studyOf(TStudyStore& store, const TStudyInfo& info, qint64 samples)
{
    const std::string dataPath = store.dataPath();
    for (const TStudyInfo& study : store.listStudies()) {
        if (study.lastName == info.lastName && study.firstName == info.firstName
            && study.studyDateTime == info.studyDateTime && length(dataPath, study).samples == samples)
            return study.id;
    }
    return -1;
}
