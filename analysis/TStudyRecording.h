#pragma once

#include <string>

class TAcqSource;
class TFastReplaySource;
class TStudy;
struct TStudyInfo;

// Studies recorded from an acquisition source.
namespace TStudyRecording {

// The signal fields of a study recorded from the source: resolution,
// channels and their names, rate, gain and sample format.
void describeSignal(TStudyInfo& info, const TAcqSource& source);

// Records a whole replay into a study through the acquisition pipeline,
// as fast as the machine allows: recording starts with the first sample
// and the pipeline is finished at the last, so the study holds every frame
// replayed, with the beats the pipeline stored up to the end. Runs the calling thread's event loop until the pipeline has
// taken the last frame (a QCoreApplication must exist). The source is
// paced, so the blocks do not pile up in the event queue however long the
// recording. Throws std::runtime_error with the pipeline's error text
// when acquisition fails, or "The replay stalled" when no frame came for
// 10 s.
void recordReplay(TFastReplaySource& source, TStudy* study, const std::string& recordingDateTime);

} // namespace TStudyRecording
