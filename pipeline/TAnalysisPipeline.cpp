#include "pipeline/TAnalysisPipeline.h"

#include "acquisition/TAcqSource.h"
#include "acquisition/TQtAcqDriver.h"
#include "analysis/signal/TAnalysisConstants.h"
#include "pipeline/TAnalysisPipelineListener.h"
#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/beats/TBeatStore.h"
#include "analysis/filters/TBlockMeanDecimator.h"
#include "analysis/signal/TElectrodeOff.h"
#include "analysis/filters/TFirDecimator.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/filters/TMonitorLowPass.h"
#include "analysis/detection/TQrsDetector.h"
#include "analysis/filters/TRealtimeFilterChain.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/signal/TSignalGaps.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"

#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr const char* RecordingLowPass = "40hz";
// The detector runs once the 250 Hz signal holds this much more than its
// analysed time and lag.
constexpr double DetectorRunMargin = 0.2;
// Raw frames copied into the study per write: the driver's largest block.
constexpr int CopySeconds = 5;
// Silence after which the device counts as lost (blocks come every 0.1 s).
constexpr qint64 StreamingTimeoutMs = 500;

TAcqSource* requireSource(TAcqSource* source)
{
    if (source == nullptr)
        throw std::invalid_argument("The analysis pipeline needs an acquisition source");
    return source;
}

TStudy* requireStudy(TStudy* study)
{
    if (study == nullptr || study->ecgFile() == nullptr || study->beatsFile() == nullptr)
        throw std::invalid_argument("The analysis pipeline needs a study with its data files");
    return study;
}

// The signal the driver fills: the device's format, lead names.
std::unique_ptr<TSignalBuffer16> makeRawSignal(const TAcqSource& source)
{
    auto raw = std::make_unique<TSignalBuffer16>(source.channelCount(), source.sampleRate(),
                                                 TAnalysisPipeline::RawBlockSize, TAnalysisPipeline::RawCapacity);
    raw->setResolutionBits(source.resolutionBits());
    raw->setRange(source.minimumValue(), source.maximumValue());
    for (int channel = 0; channel < raw->channelCount(); ++channel)
        raw->setChannelName(channel, TLeadSet::leadName(channel));
    return raw;
}

} // namespace

TAnalysisPipeline::TAnalysisPipeline(TAcqSource* source, TStudy* study, Stages stages)
    : m_source(requireSource(source))
    , m_study(requireStudy(study))
    , m_raw(makeRawSignal(*source))
    , m_driver(std::make_unique<TQtAcqDriver>(source, m_raw.get()))
{
    m_driver->addListener(this);

    const int rawRate = m_raw->samplingRate();
    const int detectionFactor = std::max(1, rawRate / DetectionRate);
    m_detectionSignal = makeSignalLike(*m_raw, RawCapacity / RawBlockSize, rawRate / detectionFactor);
    m_detectionDecimator = std::make_unique<TBlockMeanDecimator>(detectionFactor);
    m_detectionDecimator->setSink(m_detectionSignal.get());
    m_detectionDecimator->attach(m_raw.get(), 0);

    m_detector = std::make_unique<TQrsDetector>();
    m_beatStore = std::make_unique<TBeatStore>(m_detectionSignal->channelCount(), BeatStoreCapacity,
                                               m_detectionSignal.get());
    m_detector->setBeatStore(m_beatStore.get());
    m_detector->addListener(this);

    const int copyFrames = CopySeconds * rawRate;
    m_copyValues.resize(std::size_t(copyFrames));
    m_frames.resize(std::size_t(copyFrames) * 2 * m_study->ecgFile()->channelCount());
    if (stages == Stages::RecordingOnly)
        return;

    m_monitorLowPass = std::make_unique<TMonitorLowPass>(m_raw.get());
    m_monitorAverager = std::make_unique<TBeatAverager>(*m_monitorLowPass->output(), MonitorAveragerWindow);

    m_recordingChain = std::make_unique<TRealtimeFilterChain>(m_study->ecgFile());
    m_recordingChain->setLowPassName(QString::fromLatin1(RecordingLowPass));
    m_recordingChain->configure(true, true, false);
    m_liveAverager = std::make_unique<TLiveBeatAverager>(*m_recordingChain->output());
    // The raw signal holds the samples the study stores, without reading
    // them back from its file.
    m_latePotentialAverager = std::make_unique<TLiveBeatAverager>(*m_raw);

    configureDisplayChain(false, false, false);
}

TAnalysisPipeline::~TAnalysisPipeline()
{
    // The driver's last blocks still reach the stages and the study, but
    // no longer the listeners, which may be gone. The members then go in
    // reverse order of creation. Electrodes still off are recorded up to
    // the last sample.
    m_listeners.clear();
    m_driver->stop();
    if (m_recording)
        trackElectrodes(true);
}

void TAnalysisPipeline::start()
{
    m_detectionEnabled = true;
    m_detector->start(*m_detectionSignal, 0.0);
    m_sinceData.start();
    m_driver->start();
}

double TAnalysisPipeline::secondsWithoutBeat() const
{
    return TQrsDetector::secondsWithoutQrs(*m_beatStore, m_detector->lastAnalysedTime(), m_detectionStart);
}

void TAnalysisPipeline::finish()
{
    m_driver->stop();
    if (m_detectionEnabled)
        m_detector->finish();
    stop();
    // A recording of fewer than ten beats still gets its averaged beats.
    for (TLiveBeatAverager* averager : {m_liveAverager.get(), m_latePotentialAverager.get()}) {
        if (averager)
            averager->finish();
    }
}

void TAnalysisPipeline::stop()
{
    m_driver->stop();
    if (m_detectionEnabled) {
        m_detector->stop();
        m_detectionEnabled = false;
    }
}

void TAnalysisPipeline::startRecording(const std::string& timestamp)
{
    if (m_recording)
        return;
    m_study->setRecordingDateTime(timestamp);
    m_study->setProperty(TStudy::RecordingStateKey, TStudy::RecordingInProgress);
    m_recordingStart = m_raw->appendedCount();
    m_nextCopy = m_recordingStart;
    m_studyOrigin = m_recordingStart - m_study->ecgFile()->appendedCount();
    m_electrodeOffSince.assign(std::size_t(TLeadSet::electrodeNames().size()), -1.0);
    m_recording = true;
    trackElectrodes();
    notifyListeners([this](TAnalysisPipelineListener* listener) { listener->onRecordingStarted(this); });
}

void TAnalysisPipeline::stopRecording()
{
    if (!m_recording)
        return;
    trackElectrodes(true);
    m_recording = false;
    m_study->setProperty(TStudy::RecordingStateKey, std::string());
    notifyListeners([this](TAnalysisPipelineListener* listener) { listener->onRecordingStopped(this); });
}

void TAnalysisPipeline::failRecording(const QString& reason)
{
    if (!m_recording)
        return;
    stopRecording();
    const std::string text = reason.toStdString();
    notifyListeners([this, &text](TAnalysisPipelineListener* listener) { listener->onRecordingFailed(this, text); });
}

bool TAnalysisPipeline::isStreaming() const
{
    return m_sinceData.isValid() && m_sinceData.elapsed() < StreamingTimeoutMs;
}

void TAnalysisPipeline::releaseDisplayChain()
{
    m_displayChain.reset();
    m_displayDecimator.reset();
    m_displayInput.reset();
}

TSignal* TAnalysisPipeline::configureDisplayChain(bool notch, bool lowPass, bool baseline)
{
    releaseDisplayChain();
    const int rawRate = m_raw->samplingRate();
    const int factor = rawRate == 1000 ? 2 : 1;
    m_displayInput = makeSignalLike(*m_raw, DisplayCapacityBlocks, rawRate / factor);
    m_displayDecimator = std::make_unique<TFirDecimator>(factor);
    m_displayDecimator->setSink(m_displayInput.get());
    m_displayOrigin = m_raw->appendedCount();
    m_displayDecimator->attach(m_raw.get(), m_displayOrigin);

    m_displayChain = std::make_unique<TRealtimeFilterChain>(m_displayInput.get());
    m_displayChain->setNotchName(QString::fromLatin1(TAnalysisConstants::MonitorNotchFilter));
    m_displayChain->setLowPassName(QString::fromLatin1(TAnalysisConstants::MonitorLowPassFilter));
    m_displayChain->setBaselineMode(QString::fromLatin1(TAnalysisConstants::MonitorBaselineMode));
    m_displayChain->configure(notch, lowPass, baseline);
    return m_displayChain->output();
}

TSignal* TAnalysisPipeline::displaySignal() const
{
    return m_displayChain ? m_displayChain->output() : nullptr;
}

TSignal* TAnalysisPipeline::displayInput() const
{
    return m_displayInput.get();
}

void TAnalysisPipeline::addListener(TAnalysisPipelineListener* listener)
{
    if (listener != nullptr && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void TAnalysisPipeline::removeListener(TAnalysisPipelineListener* listener)
{
    const auto at = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (at == m_listeners.end())
        return;
    // While listeners are being told the list keeps its length; the gap is
    // closed once the outermost notification ends.
    if (m_notifying > 0)
        *at = nullptr;
    else
        m_listeners.erase(at);
}

// Tells the listeners present when the notification began; a listener may
// add or remove listeners, or cause a nested notification, meanwhile.
template <typename Notify>
void TAnalysisPipeline::notifyListeners(Notify notify)
{
    ++m_notifying;
    const std::size_t count = m_listeners.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (m_listeners[i] != nullptr)
            notify(m_listeners[i]);
    }
    if (--m_notifying == 0)
        m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), nullptr), m_listeners.end());
}

bool TAnalysisPipeline::isElectrodeOff(const QString& electrode) const
{
    return TLeadSet::electrodeNames().contains(electrode) && m_driver->isElectrodeOff(electrode);
}

bool TAnalysisPipeline::isAnyElectrodeOff() const
{
    const QStringList& names = TLeadSet::electrodeNames();
    return std::any_of(names.begin(), names.end(),
                       [this](const QString& name) { return m_driver->isElectrodeOff(name); });
}

bool TAnalysisPipeline::isBatteryLow() const
{
    const double volts = m_driver->batteryLevel();
    return volts > 0.0 && volts < TAnalysisConstants::lowBatteryThreshold();
}

TSignal* TAnalysisPipeline::rawSignal() const
{
    return m_raw.get();
}

TSignal* TAnalysisPipeline::detectionSignal() const
{
    return m_detectionSignal.get();
}

TSignal* TAnalysisPipeline::monitorSignal() const
{
    return m_monitorLowPass ? m_monitorLowPass->output() : nullptr;
}

TSignal* TAnalysisPipeline::recordingSignal() const
{
    return m_recordingChain ? m_recordingChain->output() : nullptr;
}

void TAnalysisPipeline::onAcqData(TAcqDriver*)
{
    m_sinceData.start();
    m_detectionDecimator->process();
    if (m_displayDecimator)
        m_displayDecimator->process();
    if (m_detectionEnabled)
        runDetector();
    if (m_displayChain)
        m_displayChain->process();
    if (m_monitorLowPass) {
        m_monitorLowPass->process();
        m_recordingChain->process();
    }
    if (m_recording)
        copyToStudy();
    if (m_recording)
        trackElectrodes();
    notifyListeners([this](TAnalysisPipelineListener* listener) { listener->onPipelineData(this); });
}

void TAnalysisPipeline::runDetector()
{
    const double duration = double(m_detectionSignal->appendedCount()) / m_detectionSignal->samplingRate();
    if (m_detector->lastAnalysedTime() + m_detector->lagTime() + DetectorRunMargin <= duration)
        m_detector->run();
}

// Appends the raw frames from the next sample to copy up to the newest to
// the study's signal, interleaved as the file stores them.
void TAnalysisPipeline::copyToStudy()
{
    TSignal* study = m_study->ecgFile();
    const int channels = study->channelCount();
    const int copied = std::min(channels, m_raw->channelCount());
    const int frameBytes = 2 * channels;
    const int end = m_raw->appendedCount();
    while (m_nextCopy < end) {
        const int count = std::min(end - m_nextCopy, int(m_copyValues.size()));
        std::fill(m_frames.begin(), m_frames.begin() + std::ptrdiff_t(count) * frameBytes, char(0));
        for (int channel = 0; channel < copied; ++channel) {
            m_raw->readRange(channel, m_nextCopy, count, m_copyValues.data());
            uchar* out = reinterpret_cast<uchar*>(m_frames.data()) + 2 * channel;
            for (int i = 0; i < count; ++i, out += frameBytes)
                qToLittleEndian<qint16>(qint16(m_copyValues[std::size_t(i)]), out);
        }
        study->appendInterleaved(m_frames.data(), count * frameBytes);
        m_nextCopy += count;
        if (m_study->ecgFile()->hasWriteError()) {
            failRecording(m_study->ecgFile()->writeErrorText());
            return;
        }
    }
}

// The device tells contact per packet; it is looked at per block, a tenth
// of a second, which is fine enough for intervals judged against beats.
void TAnalysisPipeline::trackElectrodes(bool closeAll)
{
    const TSignal* study = m_study->ecgFile();
    const double now = double(study->appendedCount()) / study->samplingRate();
    const QStringList& names = TLeadSet::electrodeNames();
    for (int electrode = 0; electrode < names.size(); ++electrode) {
        double& since = m_electrodeOffSince[std::size_t(electrode)];
        const bool off = !closeAll && m_driver->isElectrodeOff(names[electrode]);
        if (off && since < 0.0) {
            since = now;
        } else if (!off && since >= 0.0) {
            TElectrodeOff::add(m_study->results(), electrode, since, now - since);
            since = -1.0;
        }
    }
}

// Every beat is refined and, while recording, stored, the rejected ones
// too (marked so, they are never averaged); only valid beats reach the
// averagers and the listeners.
void TAnalysisPipeline::beatDetected(const TBeat& detected)
{
    TBeat beat = detected;
    m_refiner.refine(beat, *m_raw);
    if (spansJoin(beat))
        beat.setBeatClass(TBeat::Rejected);
    if (beat.isValid() && m_monitorAverager)
        m_monitorAverager->add(beat);
    if (m_recording) {
        const double rate = m_raw->samplingRate();
        if (beat.windowStart() < m_recordingStart / rate)
            return;
        if (m_latePotentialAverager)
            m_latePotentialAverager->add(beat);
        beat.shift(-m_studyOrigin / rate);
        beat.setSignal(m_study->ecgFile());
        if (m_study->beatsFile()->append(beat) < 0) {
            failRecording(m_study->beatsFile()->writeErrorText());
            return;
        }
        if (m_liveAverager)
            m_liveAverager->add(beat);
    }
    if (beat.isValid())
        notifyListeners([this, &beat](TAnalysisPipelineListener* listener) { listener->onPipelineBeat(this, beat); });
}

bool TAnalysisPipeline::spansJoin(const TBeat& beat) const
{
    const double rate = m_raw->samplingRate();
    return std::any_of(m_joins.begin(), m_joins.end(), [&](int join) {
        const double seconds = join / rate;
        return beat.windowStart() < seconds && seconds < beat.windowStart() + beat.windowLength();
    });
}

// The beats before the join are emitted and the detector starts afresh
// after it; the join is kept in a recording with the time lost there.
void TAnalysisPipeline::onAcqGap(TAcqDriver*, int lostFrames)
{
    const int join = m_raw->appendedCount();
    m_joins.push_back(join);
    if (m_detectionEnabled) {
        m_detector->finish();
        m_detectionStart = double(m_detectionSignal->appendedCount()) / m_detectionSignal->samplingRate();
        m_detector->start(*m_detectionSignal, m_detectionStart);
    }
    if (m_recording) {
        const double rate = m_raw->samplingRate();
        TSignalGaps::add(m_study->results(), (join - m_studyOrigin) / rate, lostFrames / rate);
    }
}

void TAnalysisPipeline::onAcqPacemaker(TAcqDriver*, int sampleOffset)
{
    notifyListeners([this, sampleOffset](TAnalysisPipelineListener* listener) {
        listener->onPipelineEvent(this, sampleOffset);
    });
}

void TAnalysisPipeline::onAcqError(TAcqDriver*, const std::string&)
{
    const std::string message = ErrorMessage;
    notifyListeners([this, &message](TAnalysisPipelineListener* listener) {
        listener->onPipelineError(this, message);
    });
}
