#include "pipeline/TStudyRecording.h"

#include "acquisition/TFastReplaySource.h"
#include "pipeline/TAnalysisPipeline.h"
#include "pipeline/TAnalysisPipelineListener.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/signal/TSignal.h"
#include "storage/TStudyInfo.h"
#include "storage/TStudyStore.h"
#include "formats/TWfdbDeviceRecording.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtEndian>

#include <stdexcept>

namespace {

constexpr int StallMs = 10000;
constexpr int WakeMs = 20;
// Blocks the source may run ahead of the pipeline.
constexpr int LeadBlocks = 200;

// Tells the source what the pipeline has taken, and keeps the first
// acquisition error.
class ReplayListener : public TAnalysisPipelineListener
{
public:
    explicit ReplayListener(TFastReplaySource& source) : m_source(source) {}

    void onPipelineData(TAnalysisPipeline* pipeline) override
    {
        m_source.setConsumedFrames(pipeline->rawSignal()->appendedCount());
    }
    void onPipelineError(TAnalysisPipeline*, const std::string& error) override
    {
        if (m_error.empty())
            m_error = error;
    }

    const std::string& error() const { return m_error; }

private:
    TFastReplaySource& m_source;
    std::string m_error;
};

// The leads interleaved into device frames.
QByteArray deviceFrames(const std::vector<std::vector<qint16>>& leads)
{
    const qint64 frames = leads.empty() ? 0 : qint64(leads.front().size());
    if (frames <= 0)
        throw std::runtime_error("The record is too short to analyse");
    QByteArray bytes(int(frames * qint64(leads.size()) * TFastReplaySource::BytesPerSample), Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(bytes.data());
    for (qint64 frame = 0; frame < frames; ++frame) {
        for (const std::vector<qint16>& lead : leads) {
            qToLittleEndian<qint16>(lead[std::size_t(frame)], out);
            out += TFastReplaySource::BytesPerSample;
        }
    }
    return bytes;
}

} // namespace

namespace TStudyRecording {

void describeSignal(TStudyInfo& info, const TAcqSource& source)
{
    info.resolution = source.resolutionBits();
    info.channelCount = source.channelCount();
    info.samplingRate = source.sampleRate();
    info.gain = source.maximumValue();
    info.sampleFormat = "short";
    info.channelNames = TLeadSet::leadNamesText().toStdString();
}

void recordReplay(TFastReplaySource& source, TStudy* study, const std::string& recordingDateTime)
{
    source.setMaximumLead(qint64(LeadBlocks) * source.blockFrames());
    ReplayListener listener(source);
    TAnalysisPipeline pipeline(&source, study, TAnalysisPipeline::Stages::RecordingOnly);
    pipeline.addListener(&listener);
    pipeline.start();
    pipeline.startRecording(recordingDateTime);

    QTimer wake;
    wake.start(WakeMs);
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    qint64 taken = 0;
    while (pipeline.rawSignal()->appendedCount() < source.streamedFrames() && listener.error().empty()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (pipeline.rawSignal()->appendedCount() > taken) {
            taken = pipeline.rawSignal()->appendedCount();
            sinceProgress.restart();
        } else if (sinceProgress.elapsed() > StallMs) {
            break;
        }
    }
    pipeline.finish();
    pipeline.stopRecording();
    if (!listener.error().empty())
        throw std::runtime_error(listener.error());
    if (pipeline.rawSignal()->appendedCount() < source.totalFrames())
        throw std::runtime_error("The replay stalled");
}

int recordStudy(TStudyStore& store, const std::vector<std::vector<qint16>>& leads, TStudyInfo& info)
{
    const int channels = int(leads.size());
    const int rate = TWfdbDeviceRecording::SampleRate;
    QByteArray frames = deviceFrames(leads);
    const qint64 frameCount = frames.size() / (channels * TFastReplaySource::BytesPerSample);
    TFastReplaySource source(std::move(frames), channels, rate, frameCount);
    describeSignal(info, source);
    TStudy* study = store.createStudy(info);
    try {
        recordReplay(source, study, info.recordingDateTime.empty() ? info.studyDateTime : info.recordingDateTime);
        store.saveStudy(study);
    } catch (...) {
        store.closeStudy(study);
        store.deleteStudy(info.id);
        throw;
    }
    store.closeStudy(study);
    return info.id;
}

} // namespace TStudyRecording
