// The demo recording (a real 12-lead ECG with CM5 and CR5 at 1000 Hz),
// replayed as the demo source does: twice over, in blocks, decimated to
// 250 Hz by the block mean and analysed as during acquisition. Its 41 beats
// in the 30.006 s of the recording were counted on a plot of lead II with
// the detected beats marked.
#include "tests/analysis/detection/DetectorTestSupport.h"

#include "analysis/beats/TBeatStore.h"
#include "analysis/filters/TBlockMeanDecimator.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

using namespace detectortest;

namespace {

constexpr int Leads = 14;
constexpr int FrameBytes = 2 * Leads;
constexpr double RecordingSeconds = 30.006;

QByteArray demoRecording()
{
    QFile file(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(DemoRecordingDetection, EveryBeatIsDetected)
{
    const QByteArray bytes = demoRecording();
    ASSERT_EQ(bytes.size(), 840168);
    const int frames = bytes.size() / FrameBytes;
    TSignalBuffer16 raw(Leads, 1000, 4096, 81920);
    TSignalBuffer16 signal(Leads, 250, 4096, 81920);
    for (TSignal* s : {static_cast<TSignal*>(&raw), static_cast<TSignal*>(&signal)}) {
        s->setResolutionBits(16);
        s->setRange(-300.0, 300.0);
    }
    TBlockMeanDecimator decimator(4);
    decimator.attach(&raw, 0);
    decimator.setSink(&signal);
    TBeatStore store(Leads);
    BeatCollector collector;
    TQrsDetector detector;
    detector.setBeatStore(&store);
    detector.addListener(&collector);
    detector.start(signal, 0.0);
    for (int pass = 0; pass < 2; ++pass) {
        for (int at = 0; at < frames; at += 120) {
            raw.appendInterleaved(bytes.constData() + std::size_t(at) * FrameBytes, std::min(120, frames - at) * FrameBytes);
            decimator.process();
            if (detector.lastAnalysedTime() + detector.lagTime() + 0.2 <= double(signal.appendedCount()) / 250)
                detector.run();
        }
    }

    std::vector<TBeat> first, second;
    for (const TBeat& beat : collector.beats)
        (beat.value(TBeat::QrsTime) < RecordingSeconds ? first : second).push_back(beat);
    ASSERT_EQ(first.size(), 41u);
    double sum = 0.0;
    for (std::size_t k = 0; k < first.size(); ++k) {
        const TBeat& beat = first[k];
        EXPECT_EQ(beat.beatClass(), TBeat::Normal);
        EXPECT_GE(beat.value(TBeat::LeadAgreement), 0.8);
        for (int lead = 0; lead < Leads; ++lead)
            EXPECT_EQ(beat.mark(lead, TBeat::LeadUsable), 1.0);
        if (k > 0) {
            EXPECT_GT(beat.value(TBeat::RrInterval), 0.70);
            EXPECT_LT(beat.value(TBeat::RrInterval), 0.76);
            sum += beat.value(TBeat::RrInterval);
        }
    }
    const double heartRate = 60.0 / (sum / (first.size() - 1));
    EXPECT_GT(heartRate, 81.0);
    EXPECT_LT(heartRate, 83.0);

    // The replay repeats the recording: the second pass finds the same
    // beats, 30.006 s later, as far as it has been analysed.
    ASSERT_GE(second.size(), 36u);
    for (std::size_t k = 0; k < second.size(); ++k)
        EXPECT_NEAR(second[k].value(TBeat::QrsTime), first[k].value(TBeat::QrsTime) + RecordingSeconds, 0.008);
    EXPECT_GE(TQrsDetector::heartRate(store), 81);
    EXPECT_LE(TQrsDetector::heartRate(store), 83);
}
