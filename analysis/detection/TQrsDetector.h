#pragma once

#include "analysis/beats/TBeatListener.h"
#include "analysis/detection/TQrsDetectorParameters.h"

#include <memory>
#include <vector>

class TBeatStore;
class TSignal;

// Finds the heartbeats of a multi-lead signal at 250 Hz and emits one TBeat
// per heartbeat to its beat store and listeners.
//
// Each lead is analysed on its own (TLeadQrsDetector) on the quadratic-
// spline wavelet scales 2^1 .. 2^4 of the signal; the per-lead detections
// are fused across leads (TQrsFusion) and assembled into beats
// (TBeatAssembler). The detector works incrementally: run() analyses what
// arrived since the last run, one second behind the signal's end (the lag)
// so that the scales are complete. Analysis advances in steps of a quarter
// second on a grid fixed by the start sample, each step using thresholds
// from the 4 s before its end; the beats found therefore do not depend on
// how often run() is called.
class TQrsDetector final : private TBeatListener
{
public:
    explicit TQrsDetector(bool searchPAndT = false);
    ~TQrsDetector() override;
    TQrsDetector(const TQrsDetector&) = delete;
    TQrsDetector& operator=(const TQrsDetector&) = delete;

    // The store that receives every emitted beat, rejected ones included
    // (not owned; may be null).
    void setBeatStore(TBeatStore* store) { m_store = store; }
    // Listeners receive every emitted beat, in the order they were added;
    // adding one twice has no effect.
    void addListener(TBeatListener* listener);
    void removeListener(TBeatListener* listener);

    // Starts a fresh detection on `signal` (not owned; it must outlive the
    // run) over [startTime, endTime] in seconds; an end not above the start
    // means open-ended. Any earlier run is stopped first.
    void start(const TSignal& signal, double startTime, double endTime = 0.0);
    // Analyses the signal up to one lag before its end and emits the beats
    // that became complete. Does nothing when not started.
    void run();
    // The signal has ended: analyses it to its last sample, reports the
    // QRS each lead still holds and emits every beat queued, the held-back
    // one as rejected. Afterwards run() and finish() do nothing until the
    // next start().
    void finish();
    // Releases the run state: scales, per-lead detectors, queued records.
    void stop();
    bool isStarted() const { return m_run != nullptr; }

    // How far the analysis has come, and how far it stays behind the
    // signal's end; the pipeline runs the detector when the signal holds
    // 0.2 s more than both together.
    double lastAnalysedTime() const;
    double lagTime() const;

    // The heart rate shown for a store: 60 / the newest beat's running mean
    // RR, truncated; 0 while that mean is unknown or the rate is below 1.
    static int heartRate(const TBeatStore& store);
    // How long the analysed signal (up to `analysedTime`, s) has gone
    // without a QRS, judged from the beats of a store. A beat is emitted
    // two RR intervals behind its QRS: a lead reports a QRS once it has
    // found the next, and the fusion waits for a lead to report the one
    // after. The next beat can therefore stand no earlier than the newest
    // beat's QRS plus two mean RRs (or `since`, where detection started,
    // when that is later).
    static double secondsWithoutQrs(const TBeatStore& store, double analysedTime, double since);

private:
    struct RunState;

    void beatDetected(const TBeat& beat) override;
    void analyse(int from, int to);
    void fuse();
    void measureActivity(int position);

    TQrsDetectorParameters m_parameters;
    TBeatStore* m_store = nullptr;
    std::vector<TBeatListener*> m_listeners;
    std::unique_ptr<RunState> m_run;
    int m_lastAnalysed = 0;
    int m_rate = 0;
    int m_lag = 0;
};
