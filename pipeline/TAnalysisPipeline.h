#pragma once

#include "acquisition/TAcqListener.h"
#include "analysis/beats/TBeatListener.h"
#include "analysis/beats/TBeatMarkRefiner.h"

#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class TAcqSource;
class TAnalysisPipelineListener;
class TBeatAverager;
class TBeatStore;
class TBlockMeanDecimator;
class TFirDecimator;
class TLiveBeatAverager;
class TMonitorLowPass;
class TQrsDetector;
class TQtAcqDriver;
class TRealtimeFilterChain;
class TSignal;
class TSignalBuffer16;
class TStudy;

// Runs the analysis while a study is acquired. It owns the driver, the raw
// signal the driver fills, and every stage that works on it:
//
//   raw --block mean--> 250 Hz --> QRS detector --> beat store, and per
//    |                                              accepted beat: marks
//    |                                              refined on the raw signal,
//    |                                              the 20-second averager,
//    |                                              while recording the study's
//    |                                              beats and the live averager
//    +--> monitor low-pass --> the 20-second averager's signal
//    +--> FIR decimator --> 500 Hz --> display chain --> display signal
//    +--(while recording)--> study signal --> recording chain
//                                              --> the live averager's signal
//
// A pipeline that only records (a recording analysed offline) builds the
// detection path and the copy into the study alone: no monitor low-pass,
// display chain, recording chain or averagers, whose accessors then answer
// nullptr. The study's signal and beats are the same either way.
//
// Two states: monitoring (detection and display run, nothing reaches the
// study) and recording (raw samples and beats are also copied into the
// study). The study signal begins at the raw sample at which recording
// started, and the beat times stored in the study count from it.
//
// Every write into the study is checked: the first that fails stops the
// recording and tells the listeners, so the study keeps what was written
// and nothing after a hole. Where the driver reports that the stream was
// interrupted, the detector starts afresh (no RR interval spans the join),
// beats whose window spans the join are rejected, and a recording keeps
// the join in the study (TSignalGaps). A recording also keeps where
// electrodes were off (TElectrodeOff).
//
// Every operation runs in the GUI thread: the owner's calls and the
// driver's notifications, which arrive there as queued signals. The stages
// reuse buffers sized once; per block only the driver's data block and the
// beat copies the averagers keep are allocated.
class TAnalysisPipeline final : private TAcqListener, private TBeatListener
{
public:
    static constexpr int RawBlockSize = 4096;
    static constexpr int RawCapacity = 81920;
    static constexpr int DetectionRate = 250;
    static constexpr int BeatStoreCapacity = 10000;
    static constexpr double MonitorAveragerWindow = 20.0;
    static constexpr int DisplayCapacityBlocks = 20;
    static constexpr const char* ErrorMessage = "Communication with ECG acquiring device failed.";

    enum class Stages { All, RecordingOnly };

    // Neither the source nor the study is owned; both must outlive the
    // pipeline. Builds every stage (the display chain with all filters
    // off), or only those of recording, without starting anything. Throws
    // std::invalid_argument without a source or without a study that has
    // its ECG and beats files.
    TAnalysisPipeline(TAcqSource* source, TStudy* study, Stages stages = Stages::All);
    // Stops the driver should the owner not have done so, then releases
    // the stages, the driver and the signals in reverse order of creation.
    ~TAnalysisPipeline() override;
    TAnalysisPipeline(const TAnalysisPipeline&) = delete;
    TAnalysisPipeline& operator=(const TAnalysisPipeline&) = delete;

    // Enables detection, starts the detector on the 250 Hz signal from time
    // 0 without an end, then starts the driver.
    void start();
    // Stops the driver (no notification reaches anyone afterwards) and the
    // detector.
    void stop();
    // Ends acquisition with nothing lost: stops the driver, whose last
    // blocks still go through every stage and into the study, then lets
    // the detector analyse to the last sample and emit the beats it still
    // holds, so that the beats of the recording's last seconds are stored
    // too; the live averagers then build the templates still missing from
    // the beats there are. Call it before recording stops; the pipeline is
    // then stopped.
    void finish();

    // Stores the timestamp text as the study's recording date-time, copies
    // the signal from the current raw sample on and tells the listeners.
    // Ignored while already recording, so the start stays where it was fixed.
    void startRecording(const std::string& timestamp);
    // Ends the copying and tells the listeners; ignored while not recording.
    void stopRecording();
    bool isRecording() const { return m_recording; }
    // Whether a block arrived within the last half second: a device that
    // stalls shows as lost well before the link gives up on it.
    bool isStreaming() const;
    // Raw sample index at which recording started.
    int recordingStart() const { return m_recordingStart; }

    // Replaces the display chain: the FIR decimator from the raw signal
    // (factor 2 from 1000 Hz, otherwise 1) into a new signal at the device
    // rate over the factor (500 Hz from the 1000 and 500 Hz devices), and
    // the real-time chain on it with the monitor's filter names, configured
    // with the three switches. Returns the chain's output, which the
    // monitor display shows. The decimator starts at the raw signal's
    // current sample: display sample k stands for raw sample
    // displayOrigin() + factor x k.
    TSignal* configureDisplayChain(bool notch, bool lowPass, bool baseline);
    TSignal* displaySignal() const;
    // The chain's input (before the display filters), with the same sample
    // indices as the display signal.
    TSignal* displayInput() const;
    int displayOrigin() const { return m_displayOrigin; }

    // Listeners are told in the order they were added; not owned.
    void addListener(TAnalysisPipelineListener* listener);
    void removeListener(TAnalysisPipelineListener* listener);

    // Electrode contact for "LA", "LL", "RA", "V1" ... "V6" (false for any
    // other name), any of those nine off, and a battery voltage above 0
    // and below the low-battery threshold.
    bool isElectrodeOff(const QString& electrode) const;
    bool isAnyElectrodeOff() const;
    bool isBatteryLow() const;

    // How long the analysed signal has gone without a QRS
    // (TQrsDetector::secondsWithoutQrs), counted at most from where
    // detection started or restarted after a gap.
    double secondsWithoutBeat() const;

    // The signals and the analysis objects, for the monitor window's
    // displays and checks.
    TSignal* rawSignal() const;
    TSignal* detectionSignal() const;
    TBeatStore* beatStore() const { return m_beatStore.get(); }
    TSignal* monitorSignal() const;
    TBeatAverager* monitorAverager() const { return m_monitorAverager.get(); }
    TSignal* recordingSignal() const;
    TLiveBeatAverager* liveAverager() const { return m_liveAverager.get(); }
    // The averages of the recorded beats on the unfiltered signal, on which
    // the late potentials are judged while recording, as the review judges
    // them.
    TLiveBeatAverager* latePotentialAverager() const { return m_latePotentialAverager.get(); }

private:
    void onAcqData(TAcqDriver* driver) override;
    void onAcqPacemaker(TAcqDriver* driver, int sampleOffset) override;
    void onAcqError(TAcqDriver* driver, const std::string& message) override;
    void onAcqGap(TAcqDriver* driver, int lostFrames) override;
    void beatDetected(const TBeat& beat) override;

    void runDetector();
    void copyToStudy();
    // Opens an interval for every electrode gone off, and records those
    // back on (all of them with `closeAll`), at the study's current time.
    void trackElectrodes(bool closeAll = false);
    // Stops recording and tells the listeners why the study could not be written.
    void failRecording(const QString& reason);
    // Whether the beat's window holds samples from both sides of a join.
    bool spansJoin(const TBeat& beat) const;
    void releaseDisplayChain();
    template <typename Notify>
    void notifyListeners(Notify notify);

    TAcqSource* m_source;
    TStudy* m_study;
    std::unique_ptr<TSignalBuffer16> m_raw;
    std::unique_ptr<TQtAcqDriver> m_driver;
    std::unique_ptr<TSignalBuffer16> m_detectionSignal;
    std::unique_ptr<TBlockMeanDecimator> m_detectionDecimator;
    std::unique_ptr<TQrsDetector> m_detector;
    std::unique_ptr<TBeatStore> m_beatStore;
    std::unique_ptr<TMonitorLowPass> m_monitorLowPass;
    std::unique_ptr<TBeatAverager> m_monitorAverager;
    std::unique_ptr<TRealtimeFilterChain> m_recordingChain;
    std::unique_ptr<TLiveBeatAverager> m_liveAverager;
    std::unique_ptr<TLiveBeatAverager> m_latePotentialAverager;
    std::unique_ptr<TSignalBuffer16> m_displayInput;
    std::unique_ptr<TFirDecimator> m_displayDecimator;
    std::unique_ptr<TRealtimeFilterChain> m_displayChain;
    bool m_detectionEnabled = false;
    double m_detectionStart = 0.0; // s of the detection signal
    bool m_recording = false;
    int m_recordingStart = 0;
    int m_nextCopy = 0;
    std::vector<TAnalysisPipelineListener*> m_listeners;

    int m_displayOrigin = 0;
    // The raw sample that study sample 0 stands for: the recording start,
    // less any study samples of an earlier recording.
    int m_studyOrigin = 0;
    // Depth of the notifications under way (listeners may cause nested ones).
    int m_notifying = 0;
    TBeatMarkRefiner m_refiner;
    // Raw sample indices where the stream was interrupted.
    std::vector<int> m_joins;
    // While recording, the study time (seconds) since which each electrode
    // is off; -1 while it is on.
    std::vector<double> m_electrodeOffSince;
    // Since the last block, or since the start before any.
    QElapsedTimer m_sinceData;
    // Work buffers of the copy into the study, sized once.
    std::vector<double> m_copyValues;
    std::vector<char> m_frames;
};
