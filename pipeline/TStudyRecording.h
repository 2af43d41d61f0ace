#pragma once

#include <QtGlobal>

#include <string>
#include <vector>

class TAcqSource;
class TFastReplaySource;
class TStudy;
class TStudyStore;
struct TStudyInfo;

// Studies recorded from an acquisition source.
namespace TStudyRecording {

// The signal fields of a study recorded from the source: resolution,
// channels and their names, rate, gain and sample format.
void describeSignal(TStudyInfo& info, const TAcqSource& source);

// Records a whole replay into a study through the acquisition pipeline
// (its recording stages only), as fast as the machine allows: recording
// starts with the first sample and the pipeline is finished at the last,
// so the study holds every frame replayed, with the beats the pipeline
// stored up to the end. Runs the calling thread's event loop until the
// pipeline has taken the last frame (a QCoreApplication must exist). The source is
// paced, so the blocks do not pile up in the event queue however long the
// recording. Throws std::runtime_error with the pipeline's error text
// when acquisition fails, or "The replay stalled" when no frame came for
// 10 s.
void recordReplay(TFastReplaySource& source, TStudy* study, const std::string& recordingDateTime);

// A new study in the store holding the fourteen leads (device counts at
// 1000 Hz, TLeadSet order), recorded whole through the acquisition
// pipeline (recordReplay) at the info's recording date-time (a recording
// taken in keeps its own start), else its study date-time; saved and closed. Fills the info's signal fields, id and base file name
// and answers the id. Throws std::runtime_error when the leads are too
// short, or what creating or recording the study throws; a study that
// failed is taken out of the store again.
int recordStudy(TStudyStore& store, const std::vector<std::vector<qint16>>& leads, TStudyInfo& info);

} // namespace TStudyRecording
