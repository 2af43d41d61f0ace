#pragma once

// Shared by the report tests: a temporary home for settings and data, and
// a real study recorded from the demo recording (data/ecg1000.dat), opened
// for review and analysed as the review window analyses it.

#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace reporttest {

// Settings and the data folder's base location in temporary folders.
class TempEnvironment
{
public:
    TempEnvironment();
    QString base() const { return m_base.path(); }

private:
    QTemporaryDir m_settings;
    QTemporaryDir m_base;
};

// The frames of the demo recording (14 leads, 1000 Hz).
QByteArray demoFrames();

// R-peak times (s) of 14-lead frames at 1000 Hz: the peaks of the summed
// slope of the twelve standard leads, at least 300 ms apart.
std::vector<double> findRPeaks(const QByteArray& frames);

// A study of the demo recording in a temporary data folder: recorded with
// beats at the R peaks, saved, reopened for review, averaged (live
// averager on the 40 Hz low-pass chain), delineated on V5 into the study's
// results, with the late potentials computed.
class DemoStudy
{
public:
    DemoStudy();
    ~DemoStudy();

    TStudy* study() const { return m_study; }
    TLocalStudyStore& store() const { return *m_store; }
    const TLatePotentials& latePotentials() const { return *m_latePotentials; }
    const std::vector<double>& beatTimes() const { return m_beatTimes; }
    double meanRr() const { return m_meanRr; }
    QString reportsFolder() const;
    // Sets one of the study's results.
    void setResult(const char* name, double value);
    double result(const char* name) const;

private:
    void record();
    void analyse();

    TempEnvironment m_environment;
    std::unique_ptr<TLocalStudyStore> m_store;
    TStudy* m_study = nullptr;
    std::vector<double> m_beatTimes;
    double m_meanRr = 0.0;
    std::unique_ptr<TReviewFilterChain> m_chain;
    std::unique_ptr<TLiveBeatAverager> m_averager;
    std::unique_ptr<TLatePotentials> m_latePotentials;
};

} // namespace reporttest
