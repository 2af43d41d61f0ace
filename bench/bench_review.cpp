// Opening a recorded study of ten minutes for review: the study opened from
// the store, then the review window built, shown and through its analysis
// run (every stored beat averaged, automatic wave marks, late potentials)
// until the operator can work. The review analysis alone is timed as well.
// The headline is the whole opening, including the window's 50 ms start
// delay.
#include "bench/BenchMetric.h"
#include "bench/BenchStudy.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "pipeline/TReviewAnalysis.h"
#include "storage/TStudy.h"
#include "windows/EcgReviewWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

namespace {

constexpr double Seconds = 600.0;

double secondsOf(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() * 1e-9;
}

// The review analysis as the window runs it (with the default averaging
// filters, none), without the window.
double reviewAnalysisSeconds(TStudy& study)
{
    QElapsedTimer timer;
    timer.start();
    TReviewAnalysis analysis(study);
    analysis.configureAveraging(false, false);
    analysis.addStoredBeats();
    if (const auto marks = analysis.automaticMarks())
        analysis.storeMarks(*marks, analysis.recordingMeanRr());
    analysis.latePotentials().compute();
    return secondsOf(timer);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const BenchStudy bench(Seconds);

    QElapsedTimer timer;
    timer.start();
    TStudy* study = bench.store().openStudy(bench.id());
    const double open = secondsOf(timer);
    if (!study)
        return 1;
    const double analysis = reviewAnalysisSeconds(*study);

    timer.restart();
    {
        EcgReviewWindow window(nullptr, study, &bench.store());
        window.resize(1366, 768);
        window.show();
        if (!QTest::qWaitFor([&window] { return window.isAnalysed(); }, 60000))
            return 1;
    }
    const double windowReady = secondsOf(timer);
    bench.store().closeStudy(study);

    metric("review_study_seconds", Seconds, "s", 0);
    metric("review_open_study", open * 1000.0, "ms");
    metric("review_analysis", analysis * 1000.0, "ms");
    metric("review_window_ready", windowReady * 1000.0, "ms");
    metric("review_open_total", (open + windowReady) * 1000.0, "ms");
    return 0;
}
