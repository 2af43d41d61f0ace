// The acquisition analysis pipeline end to end: the demo recordings replayed
// by the fast source through the real driver, studies in a temporary data
// folder.
#include "acquisition/TFastReplaySource.h"
#include "analysis/signal/TAnalysisConstants.h"
#include "pipeline/TAnalysisPipeline.h"
#include "pipeline/TAnalysisPipelineListener.h"
#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/beats/TBeatStore.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/detection/TQrsDetector.h"
#include "analysis/signal/TSignal.h"
#include "tests/settings/TempSettings.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TStudyFiles.h"
#include "tests/pipeline/PipelineTestSupport.h"
#include "analysis/signal/TElectrodeOff.h"
#include "analysis/signal/TSignalGaps.h"
#include "pipeline/TStudyLatePotentials.h"
#include "tests/common/FileSizeLimit.h"
#include "tests/common/ecgsynth/SyntheticEcg.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace {

using pipelinetest::TemporaryStudy;

constexpr int Leads = 14;
constexpr int TimeoutMs = 60000;
const char* const FailureMessage = "Communication with ECG acquiring device failed.";

QString demoPath(const char* name)
{
    return QStringLiteral(VAROR_DATA_DIR "/") + QLatin1String(name);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records what the pipeline tells, runs a script step once, at the first
// data notification at which the raw signal holds `at` samples, and a check
// after every block.
class PipelineRecorder : public TAnalysisPipelineListener
{
public:
    void onPipelineData(TAnalysisPipeline* pipeline) override
    {
        ++dataCount;
        if (eachBlock)
            eachBlock(*pipeline);
        for (Step& step : steps) {
            if (!step.done && pipeline->rawSignal()->appendedCount() >= step.at) {
                step.done = true;
                step.action(*pipeline);
            }
        }
    }
    void onPipelineBeat(TAnalysisPipeline*, const TBeat& beat) override { beats.push_back(beat); }
    void onRecordingStarted(TAnalysisPipeline*) override { ++started; }
    void onRecordingStopped(TAnalysisPipeline*) override { ++stopped; }
    void onPipelineError(TAnalysisPipeline*, const std::string& message) override { errors.push_back(message); }
    void onRecordingFailed(TAnalysisPipeline*, const std::string& reason) override { failures.push_back(reason); }

    void at(int samples, std::function<void(TAnalysisPipeline&)> action)
    {
        steps.push_back({samples, std::move(action), false});
    }

    struct Step
    {
        int at;
        std::function<void(TAnalysisPipeline&)> action;
        bool done;
    };
    std::vector<Step> steps;
    std::function<void(TAnalysisPipeline&)> eachBlock;
    int dataCount = 0;
    int started = 0;
    int stopped = 0;
    std::vector<TBeat> beats;
    std::vector<std::string> errors;
    std::vector<std::string> failures;
};

// Fails the read after a given number of frames, as a lost link would.
class FailingReplaySource : public TFastReplaySource
{
public:
    using TFastReplaySource::TFastReplaySource;
    int read(char* destination, int length) override
    {
        if (deliveredFrames() >= failAfter)
            return 0;
        return TFastReplaySource::read(destination, length);
    }
    QString errorText() const override { return QStringLiteral("Read failure"); }
    qint64 failAfter = 0;
};

// A device stall: once `stallAt` frames are out the source fails with a
// block still queued and offers nothing more for half a second, then
// streams on after the driver has started it again.
class StallingReplaySource : public TFastReplaySource
{
public:
    using TFastReplaySource::TFastReplaySource;
    bool isHealthy() const override { return !stalled(); }
    int bytesAvailable() const override
    {
        if (!stalled() || deliveredFrames() < stallAt + blockFrames())
            return TFastReplaySource::bytesAvailable();
        return 0;
    }
    qint64 stallAt = 0;

private:
    // Asked from the driver's worker only.
    bool stalled() const
    {
        if (deliveredFrames() < stallAt)
            return false;
        if (!m_since.isValid())
            m_since.start();
        return m_since.elapsed() < 500;
    }
    mutable QElapsedTimer m_since;
};

// Never healthy: the driver keeps restarting it.
class UnhealthyReplaySource : public TFastReplaySource
{
public:
    using TFastReplaySource::TFastReplaySource;
    bool isHealthy() const override { return false; }
    QString errorText() const override { return QStringLiteral("Port lost"); }
};

// Electrode flags and battery voltage as a device would report them.
class DeviceLikeSource : public TFastReplaySource
{
public:
    using TFastReplaySource::TFastReplaySource;
    bool isElectrodeOff(const QString& electrode) const override { return off.contains(electrode); }
    double batteryLevel() const override { return volts; }
    QStringList off;
    double volts = 0.0;
};

// A replay, its study and a pipeline with a recorder, ready to start.
template <typename Source = TFastReplaySource>
struct PipelineRun
{
    PipelineRun(const QString& file, int rate, double seconds,
                TAnalysisPipeline::Stages stages = TAnalysisPipeline::Stages::All)
        : source(std::make_unique<Source>(file, Leads, rate, qint64(seconds * rate)))
        , study(*source)
        , pipeline(std::make_unique<TAnalysisPipeline>(source.get(), study.study(), stages))
    {
        pipeline->addListener(&recorder);
    }

    // Starts and runs until the whole replay is processed.
    bool replay()
    {
        pipeline->start();
        return pipelinetest::runUntil([this] { return pipelinetest::replayed(*pipeline, *source); }, TimeoutMs);
    }

    TempSettings settings;
    std::unique_ptr<Source> source;
    TemporaryStudy study;
    std::unique_ptr<TAnalysisPipeline> pipeline;
    PipelineRecorder recorder;
};

// The median of the positive values; answers how many there are.
int medianPositive(std::vector<double> values, double& median)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v <= 0.0; }), values.end());
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    median = values[values.size() / 2];
    return int(values.size());
}

// Every beat of a beats file, in order.
std::vector<TBeat> storedBeats(const TBeatsFile& file)
{
    std::vector<TBeat> beats(std::size_t(file.count()));
    for (int i = 0; i < file.count(); ++i)
        file.read(i, beats[std::size_t(i)]);
    return beats;
}

// Samples of `copy` that differ from the same samples of `raw`.
int copyMismatches(const TSignal& copy, const TSignal& raw)
{
    int differing = 0;
    for (int lead = 0; lead < copy.channelCount(); ++lead) {
        for (int i = 0; i < copy.appendedCount(); ++i)
            differing += copy.sample(lead, i) != raw.sample(lead, i);
    }
    return differing;
}

// The display lag (in display samples, within +-reach) at which a lead of
// the display signal best matches the raw signal taken at origin + factor k.
int displayLag(const TSignal& display, const TSignal& raw, int origin, int factor, int lead, int reach)
{
    const int count = 4000;
    const int last = std::min(display.appendedCount(), (raw.appendedCount() - origin) / factor) - reach;
    const int first = last - count;
    std::vector<double> shown(std::size_t(count + 2 * reach));
    display.readRange(lead, first - reach, count + 2 * reach, shown.data());
    std::vector<double> taken(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        taken[std::size_t(k)] = raw.sample(lead, origin + factor * (first + k));
    int best = 0;
    double bestScore = -1e300;
    for (int lag = -reach; lag <= reach; ++lag) {
        double score = 0.0;
        for (int k = 0; k < count; ++k)
            score += taken[std::size_t(k)] * shown[std::size_t(k + reach + lag)];
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

} // namespace

// Monitoring for four seconds, then recording for over a minute of the
// demo recording (which loops every 30 s), then stopping while still
// recording.
TEST(PipelineTest, RecordsTheDemoRecordingFromTheStartOnwards)
{
    PipelineRun<> run(demoPath("ecg1000.dat"), 1000, 70.0);
    TAnalysisPipeline& pipeline = *run.pipeline;
    TStudy& study = *run.study.study();
    run.recorder.at(4000, [](TAnalysisPipeline& p) {
        p.startRecording("20240312103512");
        p.startRecording("20240312103513"); // ignored while recording
    });
    // While recording, the study's files on disk already hold every block
    // and every beat so far.
    int flushedSamples = -1, flushedBeats = -1, expectedSamples = 0, expectedBeats = 0;
    run.recorder.at(40000, [&](TAnalysisPipeline& p) {
        expectedSamples = p.rawSignal()->appendedCount() - p.recordingStart();
        expectedBeats = study.beatsFile()->count();
        const std::unique_ptr<TEcgFile> ecg = TStudyFiles::openEcgFile(study.ecgFile()->path());
        ASSERT_NE(ecg, nullptr);
        flushedSamples = ecg->sampleCount();
        const auto beats = TStudyFiles::openBeatsFile(ecg.get(), study.beatsFile()->path());
        ASSERT_NE(beats, nullptr);
        flushedBeats = beats->count();
    });
    // The study signal, as the recording chain reads it while it grows,
    // follows the raw signal sample for sample.
    int tailsRead = 0, tailMismatches = 0;
    run.recorder.eachBlock = [&](TAnalysisPipeline& p) {
        const int count = study.ecgFile()->sampleCount();
        if (!p.isRecording() || count < 600)
            return;
        std::vector<double> newest(600);
        for (int lead : {0, 13}) {
            study.ecgFile()->readRange(lead, count - 600, 600, newest.data());
            for (int k = 0; k < 600; ++k)
                tailMismatches += newest[std::size_t(k)] != p.rawSignal()->sample(lead, p.recordingStart() + count - 600 + k);
        }
        ++tailsRead;
    };
    ASSERT_TRUE(run.replay());
    pipeline.stop();

    EXPECT_GT(tailsRead, 600);
    EXPECT_EQ(tailMismatches, 0);
    EXPECT_EQ(run.recorder.started, 1);
    EXPECT_EQ(study.recordingDateTime(), "20240312103512");
    EXPECT_EQ(flushedSamples, expectedSamples);
    EXPECT_EQ(flushedBeats, expectedBeats);
    EXPECT_GT(expectedBeats, 0);

    // The ECG file holds exactly the raw frames from the recording start
    // on, frame for frame with the looping demo recording.
    const int start = pipeline.recordingStart();
    const int raw = pipeline.rawSignal()->appendedCount();
    EXPECT_GE(start, 4000);
    EXPECT_LT(start, 4000 + run.source->blockFrames());
    const QByteArray demo = readFile(demoPath("ecg1000.dat"));
    const QByteArray ecgBytes = readFile(study.ecgFile()->path());
    const int frameBytes = 2 * Leads;
    const int demoFrames = demo.size() / frameBytes;
    ASSERT_EQ(ecgBytes.size(), TEcgFile::DefaultHeaderSize + qint64(raw - start) * frameBytes);
    int mismatched = 0;
    for (int i = 0; i < raw - start; ++i) {
        const char* stored = ecgBytes.constData() + TEcgFile::DefaultHeaderSize + qint64(i) * frameBytes;
        const char* expected = demo.constData() + qint64((start + i) % demoFrames) * frameBytes;
        mismatched += std::equal(stored, stored + frameBytes, expected) ? 0 : 1;
    }
    EXPECT_EQ(mismatched, 0);

    // The stored beats are exactly the detected beats whose window starts
    // at or after the recording start, with times counted from it.
    const double startTime = start / 1000.0;
    const std::vector<TBeat> stored = storedBeats(*study.beatsFile());
    std::vector<TBeat> expected;
    int detectedBefore = 0;
    for (int i = 0; i < pipeline.beatStore()->count(); ++i) {
        const TBeat beat = pipeline.beatStore()->read(i);
        if (beat.windowStart() >= startTime)
            expected.push_back(beat);
        else
            ++detectedBefore;
    }
    EXPECT_GT(detectedBefore, 0);
    ASSERT_EQ(stored.size(), expected.size());
    ASSERT_GE(stored.size(), 70u);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_GE(stored[i].windowStart(), 0.0);
        EXPECT_NEAR(stored[i].windowStart(), expected[i].windowStart() - startTime, 1e-9);
        EXPECT_NEAR(stored[i].value(TBeat::QrsTime), expected[i].value(TBeat::QrsTime) - startTime, 1e-9);
        EXPECT_EQ(stored[i].beatClass(), expected[i].beatClass());
    }

    // Heart rate of the recording: about 82 per minute.
    std::vector<double> rr;
    for (const TBeat& beat : stored)
        rr.push_back(beat.value(TBeat::RrInterval));
    double medianRr = 0.0;
    ASSERT_GT(medianPositive(rr, medianRr), 60);
    EXPECT_NEAR(medianRr, 0.732, 0.02);
    const double meanRr = stored.back().value(TBeat::MeanRrInterval);
    ASSERT_GT(meanRr, 0.0);
    EXPECT_NEAR(60.0 / meanRr, 82.0, 2.0);

    // The live averager, fed from the study's signal at the stored times,
    // has an average for each of the twelve standard leads, with the QRS
    // at its centre.
    const TLiveBeatAverager& live = *pipeline.liveAverager();
    for (int lead = 0; lead < 12; ++lead)
        EXPECT_GT(live.count(lead), 20) << TLeadSet::leadName(lead).toStdString();
    const std::vector<double>& average = live.average(TLeadSet::LeadV5);
    const auto peak = std::max_element(average.begin(), average.end(),
                                       [](double a, double b) { return std::abs(a) < std::abs(b); });
    EXPECT_NEAR(double(peak - average.begin()), double(live.centre()), 40.0);

    // Stopped while recording: the study reopens from its files with all
    // that was recorded.
    const int beatCount = study.beatsFile()->count();
    const int id = run.study.id();
    run.pipeline.reset();
    run.study.store().closeStudy(&study);
    TStudy* reopened = run.study.store().openStudy(id);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->ecgFile()->sampleCount(), raw - start);
    EXPECT_EQ(reopened->beatsFile()->count(), beatCount);
    EXPECT_FALSE(reopened->ecgFile()->hasWriteError());
}

// A synthetic record as device frames: 14 leads at 1000 Hz.
// Thirty seconds of the device's leads at 1000 Hz with a little noise.
ecgsynth::Config thirtySeconds()
{
    ecgsynth::Config config;
    config.leads = Leads;
    config.rate = 1000;
    config.duration = 30.0;
    config.noiseMv = 0.02;
    return config;
}

QByteArray deviceFrames(const ecgsynth::Record& record)
{
    QByteArray frames(record.length() * Leads * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(frames.data());
    for (int i = 0; i < record.length(); ++i) {
        for (int lead = 0; lead < Leads; ++lead, out += 2)
            qToLittleEndian<qint16>(record.leads[std::size_t(lead)][std::size_t(i)], out);
    }
    return frames;
}

TEST(PipelineTest, RejectedBeatIsStoredButNeitherAveragedNorTold)
{
    // Beat 15 comes early, in half the leads, and no pause follows it: the
    // detector rejects it.
    ecgsynth::Config config = thirtySeconds();
    config.rr = ecgsynth::regularRr(75, 40);
    config.rr[14] = 0.5;
    config.rr[15] = 0.7;
    config.beatScale[15] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    const ecgsynth::Record record = ecgsynth::synthesize(config);
    TempSettings settings;
    TFastReplaySource source(deviceFrames(record), Leads, 1000, record.length());
    TemporaryStudy study(source);
    TAnalysisPipeline pipeline(&source, study.study());
    PipelineRecorder recorder;
    pipeline.addListener(&recorder);
    pipeline.start();
    pipeline.startRecording("20240312103000");
    ASSERT_TRUE(pipelinetest::runUntil([&] { return pipelinetest::replayed(pipeline, source); }, TimeoutMs));
    pipeline.finish();
    pipeline.stopRecording();

    const std::vector<TBeat> stored = storedBeats(*study.study()->beatsFile());
    ASSERT_EQ(stored.size(), record.beats.size());
    int valid = 0;
    for (std::size_t k = 0; k < stored.size(); ++k) {
        EXPECT_NEAR(stored[k].value(TBeat::QrsTime), record.beats[k], 0.03) << "beat " << k;
        EXPECT_EQ(stored[k].beatClass(), k == 15 ? TBeat::Rejected : TBeat::Normal) << "beat " << k;
        valid += stored[k].isValid() ? 1 : 0;
    }
    EXPECT_EQ(int(recorder.beats.size()), valid);
    for (int lead = 0; lead < Leads; ++lead)
        EXPECT_LE(pipeline.liveAverager()->count(lead), valid);
    EXPECT_GT(pipeline.liveAverager()->count(TLeadSet::LeadV5), valid - 3);
}

// Without the monitor's stages the study gets the same signal and beats.
TEST(PipelineTest, RecordingOnlyStoresWhatTheWholePipelineStores)
{
    std::vector<std::vector<double>> samples;
    std::vector<std::vector<TBeat>> beats;
    for (const auto stages : {TAnalysisPipeline::Stages::All, TAnalysisPipeline::Stages::RecordingOnly}) {
        PipelineRun<> run(demoPath("ecg1000.dat"), 1000, 25.0, stages);
        run.pipeline->startRecording("20240312103000");
        ASSERT_TRUE(run.replay());
        run.pipeline->finish();
        run.pipeline->stopRecording();
        const TSignal& ecg = *run.study.study()->ecgFile();
        std::vector<double> values(std::size_t(ecg.appendedCount()) * Leads);
        for (int lead = 0; lead < Leads; ++lead)
            ecg.readRange(lead, 0, ecg.appendedCount(), values.data() + std::size_t(lead) * ecg.appendedCount());
        samples.push_back(std::move(values));
        beats.push_back(storedBeats(*run.study.study()->beatsFile()));
        EXPECT_EQ(run.pipeline->liveAverager() == nullptr, stages == TAnalysisPipeline::Stages::RecordingOnly);
    }
    EXPECT_EQ(samples[0].size(), std::size_t(25000) * Leads);
    EXPECT_TRUE(samples[0] == samples[1]);
    ASSERT_EQ(beats[0].size(), beats[1].size());
    ASSERT_GT(beats[0].size(), 25u);
    for (std::size_t k = 0; k < beats[0].size(); ++k) {
        EXPECT_EQ(beats[0][k].value(TBeat::QrsTime), beats[1][k].value(TBeat::QrsTime)) << k;
        EXPECT_EQ(beats[0][k].beatClass(), beats[1][k].beatClass()) << k;
    }
}

// Monitoring only: beats are told and averaged over 20 s but nothing
// reaches the study; stopping recording tells the listeners once.
TEST(PipelineTest, MonitoringLeavesTheStudyEmpty)
{
    PipelineRun<> run(demoPath("ecg1000.dat"), 1000, 25.0);
    run.recorder.at(20000, [](TAnalysisPipeline& p) { p.stopRecording(); });
    ASSERT_TRUE(run.replay());
    run.pipeline->stop();
    EXPECT_EQ(run.study.study()->ecgFile()->sampleCount(), 0);
    EXPECT_EQ(run.study.study()->beatsFile()->count(), 0);
    EXPECT_EQ(run.recorder.started, 0);
    EXPECT_EQ(run.recorder.stopped, 0);
    EXPECT_GT(run.recorder.beats.size(), 20u);
    EXPECT_GT(run.pipeline->monitorAverager()->count(), 0);
    EXPECT_EQ(run.pipeline->liveAverager()->count(TLeadSet::LeadII), 0);

    run.pipeline->startRecording("20240312103512");
    run.pipeline->stopRecording();
    run.pipeline->stopRecording();
    EXPECT_EQ(run.recorder.started, 1);
    EXPECT_EQ(run.recorder.stopped, 1);
}

// A 250 Hz device (the demo frames replayed at that rate): the 250 Hz
// signal and the display input are plain copies of the raw signal, one
// sample behind and 15 behind. A 500 Hz device (the 500 Hz demo
// recording): the display input is a plain copy, and the detector finds the
// recording's heart rate on the 250 Hz signal.
TEST(PipelineTest, DecimatorsAtTheDeviceRateAreCopies)
{
    PipelineRun<> at250(demoPath("ecg1000.dat"), 250, 12.0);
    ASSERT_TRUE(at250.replay());
    at250.pipeline->stop();
    const TSignal& raw250 = *at250.pipeline->rawSignal();
    EXPECT_EQ(at250.pipeline->detectionSignal()->samplingRate(), 250);
    EXPECT_EQ(at250.pipeline->displayInput()->samplingRate(), 250);
    EXPECT_EQ(at250.pipeline->detectionSignal()->appendedCount(), raw250.appendedCount() - 1);
    EXPECT_EQ(copyMismatches(*at250.pipeline->detectionSignal(), raw250), 0);
    EXPECT_EQ(at250.pipeline->displayInput()->appendedCount(), raw250.appendedCount() - 15);
    EXPECT_EQ(copyMismatches(*at250.pipeline->displayInput(), raw250), 0);

    PipelineRun<> at500(demoPath("ecg500.dat"), 500, 30.0);
    ASSERT_TRUE(at500.replay());
    at500.pipeline->stop();
    const TSignal& raw500 = *at500.pipeline->rawSignal();
    EXPECT_EQ(at500.pipeline->displayInput()->samplingRate(), 500);
    EXPECT_EQ(at500.pipeline->displayInput()->appendedCount(), raw500.appendedCount() - 15);
    EXPECT_EQ(copyMismatches(*at500.pipeline->displayInput(), raw500), 0);
    EXPECT_NEAR(TQrsDetector::heartRate(*at500.pipeline->beatStore()), 82, 2);
}

// Reconfiguring the display chain while running: the new display signal
// starts at the raw signal's current sample and stays in step with it, before
// and after the display filters.
TEST(PipelineTest, ReconfiguredDisplayStaysAlignedWithTheRawSignal)
{
    PipelineRun<> run(demoPath("ecg1000.dat"), 1000, 30.0);
    int origin = -1;
    run.recorder.at(10000, [&origin](TAnalysisPipeline& p) {
        origin = p.rawSignal()->appendedCount();
        p.configureDisplayChain(true, true, true);
    });
    ASSERT_TRUE(run.replay());
    run.pipeline->stop();
    const TAnalysisPipeline& pipeline = *run.pipeline;
    ASSERT_EQ(pipeline.displayOrigin(), origin);
    EXPECT_EQ(pipeline.displaySignal()->samplingRate(), 500);
    EXPECT_NEAR(pipeline.displayInput()->appendedCount(), (pipeline.rawSignal()->appendedCount() - origin) / 2, 10);
    // The 12-tap low-pass, of even length, moves its output by half a
    // sample; nothing else shifts.
    for (int lead : {int(TLeadSet::LeadII), int(TLeadSet::LeadV5)}) {
        EXPECT_EQ(displayLag(*pipeline.displayInput(), *pipeline.rawSignal(), origin, 2, lead, 30), 0);
        EXPECT_LE(std::abs(displayLag(*pipeline.displaySignal(), *pipeline.rawSignal(), origin, 2, lead, 30)), 1);
    }
}


// A driver error reaches the listeners once, with the pipeline's own
// message; stopping while the source is unhealthy tells nothing.
TEST(PipelineTest, DriverFailures)
{
    PipelineRun<FailingReplaySource> failing(demoPath("ecg1000.dat"), 1000, 20.0);
    failing.source->failAfter = 2020;
    failing.pipeline->start();
    const std::vector<std::string>& errors = failing.recorder.errors;
    ASSERT_TRUE(pipelinetest::runUntil([&] { return !errors.empty(); }, TimeoutMs));
    pipelinetest::runUntil([] { return false; }, 200);
    failing.pipeline->stop();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.front(), FailureMessage);
    EXPECT_EQ(failing.pipeline->rawSignal()->appendedCount(), 2020);

    PipelineRun<UnhealthyReplaySource> unhealthy(demoPath("ecg1000.dat"), 1000, 20.0);
    unhealthy.pipeline->start();
    ASSERT_TRUE(pipelinetest::runUntil([&] { return unhealthy.recorder.dataCount > 10; }, TimeoutMs));
    unhealthy.pipeline->stop();
    pipelinetest::runUntil([] { return false; }, 200);
    EXPECT_TRUE(unhealthy.recorder.errors.empty());
}

TEST(PipelineTest, ElectrodeAndBatteryQueries)
{
    PipelineRun<DeviceLikeSource> run(demoPath("ecg1000.dat"), 1000, 1.0);
    DeviceLikeSource& source = *run.source;
    const TAnalysisPipeline& pipeline = *run.pipeline;

    EXPECT_FALSE(pipeline.isAnyElectrodeOff());
    source.off = QStringList{QStringLiteral("CM5"), QStringLiteral("X")};
    EXPECT_FALSE(pipeline.isElectrodeOff(QStringLiteral("CM5")));
    EXPECT_FALSE(pipeline.isAnyElectrodeOff());
    source.off.append(QStringLiteral("V4"));
    EXPECT_TRUE(pipeline.isElectrodeOff(QStringLiteral("V4")));
    EXPECT_FALSE(pipeline.isElectrodeOff(QStringLiteral("LA")));
    EXPECT_TRUE(pipeline.isAnyElectrodeOff());

    EXPECT_FALSE(pipeline.isBatteryLow()); // no voltage reported
    source.volts = 2.29;
    EXPECT_TRUE(pipeline.isBatteryLow());
    source.volts = 2.3;
    EXPECT_FALSE(pipeline.isBatteryLow());
    TAnalysisConstants::setLowBatteryThreshold(2.6);
    source.volts = 2.5;
    EXPECT_TRUE(pipeline.isBatteryLow());
    TAnalysisConstants::setLowBatteryThreshold(TAnalysisConstants::DefaultLowBatteryThreshold);
}

// LA off through the whole recording, V3 for 3 of its 13 seconds: both
// intervals are kept with the study, in study time, and both electrodes
// were off during more than a tenth of the beats the averaging takes.
TEST(PipelineTest, ElectrodesOffAreKeptWithTheRecordingAndJudgedAgainstItsBeats)
{
    PipelineRun<DeviceLikeSource> run(demoPath("ecg1000.dat"), 1000, 14.0);
    DeviceLikeSource& source = *run.source;
    source.off = QStringList{QStringLiteral("LA")};
    run.recorder.at(1000, [](TAnalysisPipeline& p) { p.startRecording("20240312103000"); });
    run.recorder.at(4000, [&source](TAnalysisPipeline&) { source.off << QStringLiteral("V3"); });
    run.recorder.at(7000, [&source](TAnalysisPipeline&) { source.off.removeAll(QStringLiteral("V3")); });
    ASSERT_TRUE(run.replay());
    run.pipeline->finish();
    run.pipeline->stopRecording();

    const TStudy& study = *run.study.study();
    const std::vector<TElectrodeOff::Interval> intervals = TElectrodeOff::of(study.results());
    ASSERT_EQ(intervals.size(), 2u);
    EXPECT_EQ(intervals[0].electrode, QStringLiteral("V3"));
    EXPECT_NEAR(intervals[0].start, 3.0, 0.2);
    EXPECT_NEAR(intervals[0].seconds, 3.0, 0.2);
    EXPECT_EQ(intervals[1].electrode, QStringLiteral("LA"));
    EXPECT_EQ(intervals[1].start, 0.0);
    EXPECT_DOUBLE_EQ(intervals[1].seconds, study.ecgFile()->appendedCount() / 1000.0);
    EXPECT_EQ(TStudyLatePotentials::electrodesOff(study), (QStringList{QStringLiteral("LA"), QStringLiteral("V3")}));
}

// The disk fills 5 s into the recording: recording stops at once, the
// listeners hear why, and the study keeps the whole frames written.
TEST(PipelineTest, AFailedWriteStopsTheRecordingAndTellsWhy)
{
    PipelineRun<> run(demoPath("ecg1000.dat"), 1000, 12.0);
    const qint64 limitBytes = 4096 + 5000 * 28;
    std::unique_ptr<FileSizeLimit> limit;
    run.recorder.at(500, [&](TAnalysisPipeline& p) {
        p.startRecording("20240312103000");
        limit = std::make_unique<FileSizeLimit>(rlim_t(limitBytes));
    });
    ASSERT_TRUE(run.replay());
    run.pipeline->finish();
    limit.reset();
    ASSERT_EQ(run.recorder.failures.size(), 1u);
    EXPECT_EQ(run.recorder.failures.front(), "File too large");
    EXPECT_FALSE(run.pipeline->isRecording());
    EXPECT_EQ(run.recorder.stopped, 1);
    const TEcgFile& ecg = *run.study.study()->ecgFile();
    EXPECT_GT(ecg.sampleCount(), 4800);
    EXPECT_LE(ecg.sampleCount(), 5000);
    EXPECT_LE(QFileInfo(ecg.path()).size(), limitBytes);
}

// A 75-bpm rhythm whose stream breaks 15.15 s in, just after a beat, and
// 0.2 s of it is lost: the join is kept in the study with about the time
// the stream was silent, no RR interval spans it, and the beat whose window
// spans it is rejected.
TEST(PipelineTest, AStreamBrokenByTheDeviceIsJoinedVisiblyAndNeverAcrossABeat)
{
    ecgsynth::Config config = thirtySeconds();
    config.firstBeat = 0.6;  // a beat at 15.0 s
    ecgsynth::Record record = ecgsynth::synthesize(config);
    const int join = 101 * 150;  // a block boundary of the fast source
    for (std::vector<qint16>& lead : record.leads)
        lead.erase(lead.begin() + join, lead.begin() + join + 200);
    TempSettings settings;
    StallingReplaySource source(deviceFrames(record), Leads, 1000, record.length());
    source.stallAt = join - source.blockFrames();
    TemporaryStudy study(source);
    TAnalysisPipeline pipeline(&source, study.study());
    pipeline.start();
    pipeline.startRecording("20240312103000");
    ASSERT_TRUE(pipelinetest::runUntil([&] { return pipelinetest::replayed(pipeline, source); }, TimeoutMs));
    pipeline.finish();
    pipeline.stopRecording();

    const std::vector<TSignalGaps::Gap> gaps = TSignalGaps::of(study.study()->results());
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_DOUBLE_EQ(gaps[0].seconds, join / 1000.0);
    EXPECT_GT(gaps[0].lostSeconds, 0.2);
    EXPECT_LT(gaps[0].lostSeconds, 1.0);
    const double joinTime = join / 1000.0;
    int after = 0;
    int spanning = 0;
    for (const TBeat& beat : storedBeats(*study.study()->beatsFile())) {
        const double qrs = beat.value(TBeat::QrsTime);
        if (beat.windowStart() < joinTime && joinTime < beat.windowStart() + beat.windowLength()) {
            EXPECT_FALSE(beat.isValid()) << "beat at " << qrs;
            ++spanning;
        }
        if (qrs > joinTime && beat.isValueSet(TBeat::RrInterval)) {
            EXPECT_GE(qrs - beat.value(TBeat::RrInterval), joinTime) << "beat at " << qrs;
        }
        after += qrs > joinTime && beat.isValid();
    }
    EXPECT_EQ(spanning, 1);
    EXPECT_GT(after, 15) << "detection goes on after the join";
}
