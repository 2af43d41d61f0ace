#pragma once

#include "StorageTestSupport.h"

#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <vector>

// A new study's record as the main window fills it.
inline TStudyInfo newStudyInfo(const std::string& first, const std::string& last,
                               const std::string& dateTime = "20140312103000")
{
    TStudyInfo info;
    info.firstName = first;
    info.lastName = last;
    info.studyDateTime = dateTime;
    info.studyType = "VA ROR";
    info.sampleFormat = "short";
    info.samplingRate = 1000;
    info.channelCount = 14;
    info.channelNames = "I,II,III,aVR,aVL,aVF,V1,V2,V3,V4,V5,V6,CM5,CR5";
    info.resolution = 16;
    info.gain = 300.0;
    info.age = "57";
    info.riskFactors = {{"Diabetes", true, "tipo 2"}, {"Gota", false, ""}};
    return info;
}

// Records `count` samples per channel and `beats` beats into an open study.
inline void record(TStudy& study, int count, int beats)
{
    TEcgFile& ecg = *study.ecgFile();
    const int channels = ecg.channelCount();
    std::vector<std::vector<qint16>> data(channels, std::vector<qint16>(count));
    std::vector<const qint16*> pointers(channels);
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < count; ++i)
            data[c][i] = qint16((i * 31 + c * 7) % 4000 - 2000);
        pointers[c] = data[c].data();
    }
    ecg.append(pointers.data(), count);
    for (int b = 0; b < beats; ++b) {
        TBeat beat(&ecg);
        beat.setWindowStart(0.8 * b);
        beat.setWindowLength(0.6);
        beat.setValue(TBeat::QrsTime, 0.8 * b + 0.3);
        for (int lead = 0; lead < channels; ++lead) {
            beat.setMark(lead, TBeat::LeadUsable, 1);
            beat.setMark(lead, TBeat::MainQrsWave, 0.8 * b + 0.3);
        }
        study.beatsFile()->append(beat);
    }
}

// The raw data column of an index row, or "<none>".
inline QString indexData(int id)
{
    QSqlQuery query(QSqlDatabase::database());
    query.prepare(QStringLiteral("select data from Study where id = ?"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return QStringLiteral("<none>");
    return query.value(0).toString();
}

inline QString dataFolder(const TempStorageEnvironment& env)
{
    return env.path("PulsorixVAROR");
}
