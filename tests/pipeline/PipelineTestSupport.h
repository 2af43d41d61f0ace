#pragma once

// Helpers shared by the pipeline tests and the pipeline benchmark: a study
// for a replayed recording in a temporary data folder, a listener that
// keeps the fast source's lead bounded, and running the GUI thread's events
// until a condition holds.
#include "acquisition/TFastReplaySource.h"
#include "pipeline/TAnalysisPipeline.h"
#include "pipeline/TAnalysisPipelineListener.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/signal/TSignal.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudyInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace pipelinetest {

// A study store in a temporary data folder with one new study recorded in
// the source's format.
class TemporaryStudy
{
public:
    explicit TemporaryStudy(const TAcqSource& source)
        : m_store(std::make_unique<TLocalStudyStore>("PulsorixVAROR", m_folder.path()))
    {
        TStudyInfo info;
        info.firstName = "Ana";
        info.lastName = "Garcia";
        info.studyDateTime = "20240312103000";
        info.studyType = "VA ROR";
        info.sampleFormat = "short";
        info.samplingRate = source.sampleRate();
        info.channelCount = source.channelCount();
        info.channelNames = TLeadSet::leadNamesText().toStdString();
        info.resolution = source.resolutionBits();
        info.gain = source.maximumValue();
        m_study = m_store->createStudy(info);
        m_id = info.id;
    }

    TLocalStudyStore& store() { return *m_store; }
    TStudy* study() const { return m_study; }
    int id() const { return m_id; }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<TLocalStudyStore> m_store;
    TStudy* m_study = nullptr;
    int m_id = 0;
};

// Tells the fast source how far the pipeline has come, so that its lead
// stays within the source's maximum.
class ReplayPacer : public TAnalysisPipelineListener
{
public:
    explicit ReplayPacer(TFastReplaySource& source) : m_source(source) {}
    void onPipelineData(TAnalysisPipeline* pipeline) override
    {
        m_source.setConsumedFrames(pipeline->rawSignal()->appendedCount());
    }

private:
    TFastReplaySource& m_source;
};

// Runs the GUI thread's events, sleeping while there are none, until the
// condition holds (true) or the time is up (false).
inline bool runUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake;
    wake.start(20);
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Whether the pipeline has processed the whole replay.
inline bool replayed(const TAnalysisPipeline& pipeline, const TFastReplaySource& source)
{
    return pipeline.rawSignal()->appendedCount() >= source.streamedFrames();
}

} // namespace pipelinetest
