// Creating the full four-page PDF report of a reviewed study of ten
// minutes: the ECG page, the averaged beat with its measurements, the
// averaged beat of every lead and the late potentials, as the report
// dialog creates it. The headline is the time to the finished PDF file.
#include "bench/BenchMetric.h"
#include "bench/BenchStudy.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "pipeline/TReviewAnalysis.h"
#include "report/THRECGReport.h"
#include "report/TReportOptions.h"
#include "storage/TStudy.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr double Seconds = 600.0;

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const BenchStudy bench(Seconds);
    TStudy* study = bench.store().openStudy(bench.id());
    if (!study)
        return 1;
    TReviewAnalysis analysis(*study);
    analysis.addStoredBeats();
    if (const auto marks = analysis.automaticMarks())
        analysis.storeMarks(*marks, analysis.recordingMeanRr());
    analysis.latePotentials().compute();

    TReportOptions options;
    options.notchFilter = options.muscleFilter = options.baselineFilter = true;
    options.startTime = Seconds / 2;
    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("report.pdf"));
    QElapsedTimer timer;
    timer.start();
    {
        THRECGReport report(study, &analysis.latePotentials());
        report.setOptions(options);
        report.setOpenPdf(false);
        report.saveReportPdf(pdf);
    }
    const double seconds = timer.nsecsElapsed() * 1e-9;
    bench.store().closeStudy(study);

    metric("report_pdf_kilobytes", QFileInfo(pdf).size() / 1024.0, "KB", 0);
    metric("report_full_pdf", seconds * 1000.0, "ms");
    return 0;
}
