// varor-analyze's whole path, offline, on WFDB records: each record is
// converted to the device's leads at 1000 Hz, recorded through the
// acquisition pipeline into a study, and analysed as the review window
// analyses it. Prints, per record, the processor time (every thread) and
// the elapsed time, then the process's peak memory against the size of the
// longest record's study (fourteen leads at 1000 Hz in 16-bit device
// counts). The headline is the processor time per thirty minutes of
// recording, over all records.
//
// Usage: bench_offline [record.hea ...]; the default is MIT-BIH record 100
// of ../shared/data/mitdb beside the project (30 minutes, two leads).
#include "bench/BenchMetric.h"

#include "AnalyzeCommand.h"
#include "app/TStartup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int StudyChannels = 14;
constexpr double StudyRate = 1000.0;
constexpr double HalfHour = 1800.0; // s

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TStartup::setIdentity();
    QStringList records = QCoreApplication::arguments().mid(1);
    if (records.isEmpty())
        records << QStringLiteral(VAROR_SOURCE_DIR "/../shared/data/mitdb/100.hea");
    const double startMegabytes = peakMegabytes();
    double totalSeconds = 0.0, totalDuration = 0.0, longest = 0.0;
    try {
        for (const QString& record : records) {
            AnalyzeCommand::Options options;
            options.input = record;
            const double processorBefore = processorSeconds();
            QElapsedTimer elapsed;
            elapsed.start();
            const QJsonObject results = AnalyzeCommand::run(options);
            const double processor = processorSeconds() - processorBefore;
            const double duration = results.value(QStringLiteral("duration")).toDouble();
            const QString name = QFileInfo(record).completeBaseName();
            metric(qPrintable(QStringLiteral("offline_%1_duration").arg(name)), duration, "s");
            metric(qPrintable(QStringLiteral("offline_%1_elapsed").arg(name)), elapsed.elapsed() / 1000.0, "s", 2);
            metric(qPrintable(QStringLiteral("offline_%1_cpu").arg(name)), processor, "s", 2);
            totalSeconds += processor;
            totalDuration += duration;
            longest = std::max(longest, duration);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_offline: %s\n", error.what());
        return 1;
    }
    const double studyMegabytes = longest * StudyRate * StudyChannels * 2.0 / (1024.0 * 1024.0);
    const double peak = peakMegabytes();
    metric("offline_study_size", studyMegabytes, "MB");
    metric("offline_peak_memory", peak, "MB");
    metric("offline_memory_over_study", (peak - startMegabytes) / studyMegabytes, "x", 2);
    metric("offline_cpu_per_30_min", totalDuration > 0.0 ? totalSeconds * HalfHour / totalDuration : 0.0, "s", 2);
    return 0;
}
