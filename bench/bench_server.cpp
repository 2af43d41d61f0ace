// The clinic server on a throw-away local PostgreSQL cluster: a recorded
// study of ten minutes uploaded (one transaction, then its checksums read
// back), a second workstation fetching it ahead as the upload is announced,
// the study list of 10 000 studies, and the study opened for review
// (leased, loaded and through the review analysis) against the same study
// opened from the local data folder: cold (fetched at the opening, nothing
// fetched ahead), again (from the workstation's cache), and on the second
// workstation once its prefetching has finished. The headline is the ratio
// of that first opening on the second workstation to the local one.
#include "bench/BenchMetric.h"
#include "bench/BenchStudy.h"
#include "clinic/PostgresCluster.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "clinic/TServerStudyStore.h"
#include "pipeline/TReviewAnalysis.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>

namespace {

constexpr double Seconds = 600.0;
constexpr int ListedStudies = 10000;

double secondsOf(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() * 1e-9;
}

// Opened as the main window opens a study, then analysed as the review
// window analyses it; closed again.
double openForReview(TStudyStore& store, int id)
{
    QElapsedTimer timer;
    timer.start();
    TStudy* study = store.openStudy(id);
    if (study == nullptr)
        throw std::runtime_error("the study did not open");
    TReviewAnalysis analysis(*study);
    analysis.configureAveraging(false, false);
    analysis.addStoredBeats();
    if (const auto marks = analysis.automaticMarks())
        analysis.storeMarks(*marks, analysis.recordingMeanRr());
    analysis.latePotentials().compute();
    const double seconds = secondsOf(timer);
    store.closeStudy(study);
    return seconds;
}

// Index rows of other studies, as a clinic's archive holds them.
void addIndexRows(const TServerAddress& address)
{
    TServerDatabase database(address);
    database.connect();
    database.exec(QStringLiteral(
        "insert into study(id, data, revision, changed_by) select g, json_build_object('baseFilename', "
        "'Patient' || g || '-Ana-20240101120000', 'status', '', 'studyType', 'VA ROR', 'studyDateTime', "
        "'20240101120000', 'patientFirstName', 'Ana', 'patientLastName', 'Patient' || g)::text, 1, 'bench' "
        "from generate_series(1, %1) g").arg(ListedStudies - 1));
}

// Runs the event loop until the workstation's cache holds the study, as
// its prefetching leaves it.
void waitForPrefetch(TServerStudyStore& store, int id)
{
    const QDeadlineTimer deadline(60000);
    while (store.cachedRevision(id) == 0) {
        if (deadline.hasExpired())
            throw std::runtime_error("the study was not fetched ahead (is ClinicServer/PrefetchDays Off?)");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const BenchStudy bench(Seconds);
    PostgresCluster cluster;
    TLocalStudyStore& local = bench.store();
    TServerStudyStore server(cluster.address(), local, local.studyDataFolder() + QStringLiteral("/bench-cache"),
                             QStringLiteral("bench"));
    TServerStudyStore office(cluster.address(), local, local.studyDataFolder() + QStringLiteral("/office-cache"),
                             QStringLiteral("office"));

    TStudyInfo info;
    local.getIndexRow(bench.id(), info);
    QElapsedTimer timer;
    timer.start();
    server.archive().upload(info, local.studyDataFolder(), 0);
    metric("server_upload", secondsOf(timer), "s", 2);
    timer.restart();
    server.archive().verify(info, local.studyDataFolder());
    metric("server_upload_verify", secondsOf(timer), "s", 2);
    // From the announcement's arrival (the next turn of the event loop) to
    // the study in place in the second workstation's cache.
    timer.restart();
    waitForPrefetch(office, bench.id());
    metric("server_prefetch", secondsOf(timer), "s", 2);

    addIndexRows(cluster.address());
    timer.restart();
    const size_t listed = server.listStudies().size();
    metric("server_list_10000", secondsOf(timer) * 1000.0, "ms", 1);
    if (listed != size_t(ListedStudies))
        throw std::runtime_error("the list is incomplete");

    {
        QTemporaryDir into;
        TStudyInfo got; int revision = 0;
        timer.restart();
        server.archive().download(bench.id(), into.path(), got, revision);
        metric("server_download", secondsOf(timer), "s", 2);
    }
    const double fromLocal = openForReview(local, bench.id());
    const double cold = openForReview(server, bench.id());
    const double again = openForReview(server, bench.id());
    int chunksRead = 0;
    office.archive().setChunkObserver([&] { ++chunksRead; });
    const double prefetched = openForReview(office, bench.id());
    if (chunksRead != 0)
        throw std::runtime_error("the prefetched study was downloaded again");
    metric("local_open_review", fromLocal, "s", 2);
    metric("server_open_review_cold", cold, "s", 2);
    metric("server_reopen_review", again, "s", 2);
    metric("server_open_cold_ratio", cold / fromLocal, "x", 2);
    metric("server_open_review_prefetched", prefetched, "s", 2);
    metric("server_open_prefetched_ratio", prefetched / fromLocal, "x", 2);
    return 0;
}
