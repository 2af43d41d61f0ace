#pragma once

#include <string>

class TAnalysisPipeline;
class TBeat;

// Told by the acquisition analysis pipeline, in the GUI thread, what
// happened. Every notification has an empty default, so a listener answers
// only those it needs (the monitor window: data, recording started and
// errors).
class TAnalysisPipelineListener
{
public:
    virtual ~TAnalysisPipelineListener() = default;
    // A block was appended to the raw signal and every stage has run on it.
    virtual void onPipelineData(TAnalysisPipeline*) {}
    // A valid beat: while recording, the copy stored in the study (times
    // counted from the recording start); otherwise the detected beat.
    virtual void onPipelineBeat(TAnalysisPipeline*, const TBeat&) {}
    virtual void onRecordingStarted(TAnalysisPipeline*) {}
    virtual void onRecordingStopped(TAnalysisPipeline*) {}
    // The driver's integer-valued event (a pacemaker pulse offset), unchanged.
    virtual void onPipelineEvent(TAnalysisPipeline*, int) {}
    // Acquisition failed; the pipeline goes on and the listener decides.
    virtual void onPipelineError(TAnalysisPipeline*, const std::string&) {}
    // The study could not be written (the system's reason given): recording
    // has stopped, and the study keeps what was written before.
    virtual void onRecordingFailed(TAnalysisPipeline*, const std::string&) {}
};
