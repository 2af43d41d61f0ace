// Cost of the QRS detector as multiples of real time on one core, on 14
// leads at 250 Hz: the demo recording (1000 Hz, decimated by the block
// mean) replayed in a loop for ten minutes. Measured twice: fed as during
// acquisition (a run after every 100 ms block, the pipeline's run
// condition) and analysing a whole recorded signal with one run. Only the
// detector is timed. The acquisition figure is the headline.
#include "bench/BenchMetric.h"
#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatListener.h"
#include "analysis/beats/TBeatStore.h"
#include "analysis/filters/TBlockMeanDecimator.h"
#include "analysis/detection/TQrsDetector.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QByteArray>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int Leads = 14;
constexpr int RawRate = 1000;
constexpr int Rate = 250;
constexpr int FrameBytes = 2 * Leads;
constexpr double Seconds = 600.0;

using Clock = std::chrono::steady_clock;

class BeatCounter : public TBeatListener
{
public:
    void beatDetected(const TBeat&) override { ++count; }
    int count = 0;
};

// The demo recording looped to `seconds`, decimated to 250 Hz.
std::vector<std::vector<qint16>> recording(double seconds)
{
    QFile file(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const int frames = bytes.size() / FrameBytes;
    const int total = int(seconds * RawRate);
    TSignalBuffer16 raw(Leads, RawRate, 4096, total);
    for (int at = 0; at < total; at += frames)
        raw.appendInterleaved(bytes.constData(), std::min(frames, total - at) * FrameBytes);
    TSignalBuffer16 low(Leads, Rate, 4096, total / 4 + 1);
    TBlockMeanDecimator decimator(RawRate / Rate);
    decimator.attach(&raw, 0);
    decimator.setSink(&low);
    decimator.process();
    std::vector<std::vector<qint16>> leads(Leads, std::vector<qint16>(std::size_t(low.appendedCount())));
    std::vector<double> values(std::size_t(low.appendedCount()));
    for (int lead = 0; lead < Leads; ++lead) {
        low.readRange(lead, 0, low.appendedCount(), values.data());
        for (std::size_t i = 0; i < values.size(); ++i)
            leads[std::size_t(lead)][i] = qint16(values[i]);
    }
    return leads;
}

void append(TSignal& signal, const std::vector<std::vector<qint16>>& leads, int from, int count)
{
    const qint16* channels[Leads];
    for (int lead = 0; lead < Leads; ++lead)
        channels[lead] = leads[std::size_t(lead)].data() + from;
    signal.append(channels, count);
}

// Fed in 100 ms blocks with a run whenever the pipeline would run.
double acquisitionMultiple(const std::vector<std::vector<qint16>>& leads, int& beats)
{
    const int length = int(leads.front().size());
    TSignalBuffer16 signal(Leads, Rate, 4096, 81920);
    TBeatStore store(Leads);
    BeatCounter counter;
    TQrsDetector detector;
    detector.setBeatStore(&store);
    detector.addListener(&counter);
    detector.start(signal, 0.0);
    double busy = 0.0;
    for (int at = 0; at + Rate / 10 <= length; at += Rate / 10) {
        append(signal, leads, at, Rate / 10);
        if (detector.lastAnalysedTime() + detector.lagTime() + 0.2 > double(signal.appendedCount()) / Rate)
            continue;
        const Clock::time_point start = Clock::now();
        detector.run();
        busy += std::chrono::duration<double>(Clock::now() - start).count();
    }
    beats = counter.count;
    return double(length) / Rate / busy;
}

// A whole recorded signal analysed with one run.
double recordedMultiple(const std::vector<std::vector<qint16>>& leads)
{
    const int length = int(leads.front().size());
    TSignalBuffer16 signal(Leads, Rate, 4096, length);
    append(signal, leads, 0, length);
    TQrsDetector detector;
    const Clock::time_point start = Clock::now();
    detector.start(signal, 0.0);
    detector.run();
    const double busy = std::chrono::duration<double>(Clock::now() - start).count();
    return double(length) / Rate / busy;
}

} // namespace

int main()
{
    const auto leads = recording(Seconds);
    if (leads.empty()) {
        std::fprintf(stderr, "demo recording not found in " VAROR_DATA_DIR "\n");
        return 1;
    }
    int beats = 0;
    const double acquisition = acquisitionMultiple(leads, beats);
    metric("detector_beats_in_10min_demo", beats, "beats");
    metric("detector_recorded_14leads_250hz_x_realtime", recordedMultiple(leads), "x");
    metric("detector_acquisition_14leads_250hz_x_realtime", acquisition, "x");
    return 0;
}
