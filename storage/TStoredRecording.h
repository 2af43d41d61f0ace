#pragma once

#include <QtGlobal>

#include <string>

struct TStudyInfo;
class TStudyStore;

// What a store's studies hold of their recordings: the length of a
// study's ECG file, and which study already holds a recording that is
// taken in again (the same patient, start and samples per lead), so that
// the application and the command line refuse the same duplicates.
class TStoredRecording
{
public:
    struct Length
    {
        qint64 samples = 0;  // per lead
        int seconds = 0;     // whole seconds of signal
    };

    TStoredRecording() = delete;

    // Nothing for a study closed before anything was recorded.
    static Length length(const std::string& dataPath, const TStudyInfo& info);
    // The identifier of the store's study with the patient's names, the
    // start and `samples` per lead of `info`; -1 when there is none.
    static int studyOf(TStudyStore& store, const TStudyInfo& info, qint64 samples);
};
