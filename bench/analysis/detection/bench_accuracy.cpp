// Beat detection accuracy on annotated records. Every WFDB record of a
// folder that has reference beats ("NNN.atr" beside "NNN.hea") is analysed
// as varor-analyze analyses it (recorded through the acquisition pipeline,
// finished at its last sample), and the beats stored for it, normal and
// rejected, are scored against the reference with the standard rules: from
// 5:00 to the end, a detection within 150 ms of a reference beat is a true
// positive, each reference beat being matched at most once (to the nearest
// free detection); a reference beat left unmatched is a false negative, a
// detection left unmatched a false positive. Sensitivity Se = TP / (TP + FN)
// and positive predictivity +P = TP / (TP + FP), per record and gross.
//
// Usage: bench_accuracy [folder]; the default folder is the MIT-BIH records
// of ../shared/data/mitdb beside the project. The gross +P is the headline.
#include "bench/BenchMetric.h"
#include "bench/BenchRecords.h"

#include "AnalyzeCommand.h"
#include "analysis/beats/TBeatMatching.h"
#include "app/TStartup.h"
#include "formats/TWfdbAnnotations.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

constexpr double ScoredFrom = 300.0; // s

void printScore(const QString& name, const TBeatMatching& score)
{
    const auto print = [&name](const char* figure, double value, const char* unit, int decimals) {
        metric(qPrintable(name + QLatin1String(figure)), value, unit, decimals);
    };
    print("_TP", double(score.truePositives), "beats", 0);
    print("_FN", double(score.falseNegatives), "beats", 0);
    print("_FP", double(score.falsePositives), "beats", 0);
    print("_Se", score.sensitivity(), "%", 2);
    print("_+P", score.positivePredictivity(), "%", 2);
}

// The record's stored beats, as varor-analyze writes them at the record's
// own rate, scored against its reference.
TBeatMatching scoreRecord(const QDir& folder, const QString& name, const QTemporaryDir& work)
{
    AnalyzeCommand::Options options;
    options.input = folder.filePath(name + QStringLiteral(".hea"));
    options.annotationsFile = work.filePath(name + QStringLiteral(".qrs"));
    const QJsonObject results = AnalyzeCommand::run(options);
    const double rate = results.value(QStringLiteral("inputSamplingRate")).toDouble();
    return TBeatMatching::match(
        TWfdbAnnotations::beatTimes(folder.filePath(name + QStringLiteral(".atr")), rate, ScoredFrom),
        TWfdbAnnotations::beatTimes(options.annotationsFile, rate, ScoredFrom));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TStartup::setIdentity();
    const QStringList arguments = QCoreApplication::arguments();
    const QDir folder = benchFolder(arguments, "mitdb");
    const QStringList records = annotatedRecords(folder);
    if (records.isEmpty()) {
        std::fprintf(stderr, "bench_accuracy: no annotated WFDB record in %s\n", qPrintable(folder.path()));
        return 1;
    }
    QTemporaryDir work;
    TBeatMatching gross;
    try {
        for (const QString& name : records) {
            const TBeatMatching record = scoreRecord(folder, name, work);
            printScore(name, record);
            gross.add(record);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_accuracy: %s\n", error.what());
        return 1;
    }
    printScore(QStringLiteral("gross"), gross);
    return 0;
}
