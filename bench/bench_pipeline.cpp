// Cost of the whole acquisition analysis pipeline as multiples of real time
// on one core: the demo recording (14 leads at 1000 Hz) replayed in a loop
// for ten minutes by the fast replay source through the real driver, with
// recording on from the first sample and every display filter on. The
// headline divides the signal's duration by the CPU time of the GUI thread,
// which does all the analysis (the driver's worker only copies blocks); the
// wall-clock multiple and the peak memory of the process follow.
#include "bench/BenchMetric.h"
#include "acquisition/TFastReplaySource.h"
#include "pipeline/TAnalysisPipeline.h"
#include "storage/TBeatsFile.h"
#include "storage/TStudy.h"
#include "tests/pipeline/PipelineTestSupport.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr int Leads = 14;
constexpr int Rate = 1000;
constexpr double Seconds = 600.0;
// The replay may run this far ahead of the pipeline.
constexpr qint64 MaximumLead = 5 * Rate;
constexpr int TimeoutMs = 600000;

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double peakMemoryMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TFastReplaySource source(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"), Leads, Rate, qint64(Seconds * Rate));
    source.setMaximumLead(MaximumLead);
    pipelinetest::TemporaryStudy study(source);
    TAnalysisPipeline pipeline(&source, study.study());
    pipelinetest::ReplayPacer pacer(source);
    pipeline.addListener(&pacer);
    pipeline.configureDisplayChain(true, true, true);

    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    pipeline.start();
    pipeline.startRecording("20240312103000");
    const bool finished =
        pipelinetest::runUntil([&] { return pipelinetest::replayed(pipeline, source); }, TimeoutMs);
    pipeline.stopRecording();
    pipeline.stop();
    const double cpu = threadCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (!finished) {
        std::fprintf(stderr, "the replay did not finish\n");
        return 1;
    }

    const double signalSeconds = double(source.totalFrames()) / Rate;
    metric("pipeline_signal_seconds", signalSeconds, "s");
    metric("pipeline_beats_stored", study.study()->beatsFile()->count(), "beats");
    metric("pipeline_wall_realtime_factor", signalSeconds / wall, "x");
    metric("pipeline_peak_memory", peakMemoryMegabytes(), "MB");
    metric("pipeline_realtime_factor", signalSeconds / cpu, "x");
    return 0;
}
