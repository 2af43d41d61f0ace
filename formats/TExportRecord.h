#pragma once

#include "analysis/beats/TIntervalMeasures.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <map>
#include <optional>
#include <vector>

class TBeatsFile;

// A stored beat as the exchange formats carry it.
struct TExportBeat
{
    double seconds = 0.0; // QRS time from the first sample
    bool normal = true;   // false: rejected, excluded from averaging
};

// What the exchange formats (EDF+ and BDF+, WFDB, HL7 aECG) take from a
// study, gathered once so that each writer is a plain mapping of it.
struct TExportRecord
{
    QString name; // the study's base file name
    QString lastName;
    QString firstName;
    QString sex;      // "M", "F" or empty
    QDate birthDate;  // invalid when unknown
    QDateTime start;  // start of the recording; invalid when unknown

    int samplingRate = 1000;
    double millivoltsPerCount = 600.0 / 65536.0;
    QStringList leadNames;
    std::vector<std::vector<qint16>> leads; // counts, one vector per lead, all of length()
    std::vector<TExportBeat> beats;

    // The averaged beat: one vector of millivolts per lead (leadNames
    // order) at the sampling rate, its centre (the alignment point) some
    // seconds after its first sample, the wave marks found on it (names of
    // TWaveMarks, seconds from the centre; marks not found are absent),
    // the interval measurements and the heart rate (0 when unknown).
    std::vector<std::vector<double>> averagedBeats;
    double averagedBeatCentre = 0.0;
    std::map<QString, double> marks;
    TIntervalMeasures measures;
    double heartRate = 0.0;

    // The late potentials of the averaged beat, when they were computed:
    // QRSD and LAS in ms, RMS and the noise in uV, and the verdict
    // ("positive", "negative" or "not assessable").
    struct LatePotentials
    {
        int qrsdMilliseconds = 0;
        int rmsMicrovolts = 0;
        int lasMilliseconds = 0;
        double noiseMicrovolts = 0.0;
        QString verdict;
    };
    std::optional<LatePotentials> latePotentials;

    // What a hospital's archive files the study under: the study's own id
    // and start (from which a stable study UID is made when no order gave
    // one), the patient ID, the order's accession number and study
    // instance UID (empty when unknown), the institution and the
    // referring physician.
    int studyId = 0;
    QDateTime studyStart;
    QString patientId;
    QString accessionNumber;
    QString studyInstanceUid;
    QString institutionName;
    QString referringDoctorName;

    std::size_t length() const { return leads.empty() ? 0 : leads.front().size(); }

    static std::vector<TExportBeat> beatsOf(const TBeatsFile& beats);
};
