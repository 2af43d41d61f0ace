// varor-fuzz: mutates real inputs (study files, the index, archives, WFDB
// records, EDF files, special files) and runs each case through the
// storage library and varor-analyze in a folder of its own, under memory
// and time limits, counting crashes, hangs, memory blow-ups, files written
// outside the case folder and studies lost (see tools/README.md).
#include "FuzzCase.h"
#include "FuzzRunner.h"
#include "FuzzSeeds.h"

#include "pipeline/TReviewAnalysis.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "storage/TStudyStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int FailureExit = 1;

struct Options
{
    int cases = 300;
    unsigned seed = 1;
    int jobs = 2;
    QString analyzer;
    QString work;
    QString ptbHeader;
    FuzzRunner::Limits limits;
    qint64 memoryBlowUpBytes = 1LL << 30;
    bool keepAll = false;
};

// --- The storage commands a case runs in a process of its own ------------------

// Reads every sample and beat of a study and averages its beats as the
// review window does.
void review(TStudy& study)
{
    std::vector<double> samples(4096);
    const TEcgFile& ecg = *study.ecgFile();
    for (int lead = 0; lead < ecg.channelCount(); ++lead) {
        for (int first = 0; first < ecg.sampleCount(); first += int(samples.size()))
            ecg.readRange(lead, first, int(samples.size()), samples.data());
    }
    TReviewAnalysis analysis(study);
    analysis.addStoredBeats();
}

// Opens the data folder and reviews every study it lists.
int storeOpen(const QString& home)
{
    TLocalStudyStore store(FuzzSeeds::FolderName, home);
    for (const TStudyInfo& info : store.listStudies()) {
        if (TStudy* study = store.openStudy(info.id)) {
            review(*study);
            store.closeStudy(study);
        }
    }
    return 0;
}

// Lists the shared folder and imports the archive as an operator who
// chooses to replace a changed local copy would (or, with `keepLocal`, to
// keep it), then reviews the study.
int storeImport(const QString& home, const QString& archive, const QString& shared, bool keepLocal)
{
    TLocalStudyStore store(FuzzSeeds::FolderName, home);
    store.listArchives(shared.toLocal8Bit().toStdString());
    const std::string path = archive.toLocal8Bit().toStdString();
    int id = 0;
    try {
        id = store.importStudy(path);
    } catch (const TImportConflict&) {
        if (keepLocal)
            return 0;
        id = store.importStudyReplacing(path);
    }
    if (TStudy* study = store.openStudy(id)) {
        review(*study);
        store.closeStudy(study);
    }
    return 0;
}

// Exports a study of the data folder into the shared folder.
int storeExport(const QString& home, const QString& shared, int id)
{
    TLocalStudyStore store(FuzzSeeds::FolderName, home);
    store.exportStudy(id, shared.toLocal8Bit().toStdString());
    return 0;
}

int runChild(const QStringList& arguments)
{
    try {
        const QString command = arguments.value(1);
        if (command == QLatin1String("--store-open"))
            return storeOpen(arguments.value(2));
        if (command == QLatin1String("--store-export"))
            return storeExport(arguments.value(2), arguments.value(3), arguments.value(4).toInt());
        return storeImport(arguments.value(2), arguments.value(3), arguments.value(4),
                           command == QLatin1String("--store-import-keep"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "varor-fuzz: %s\n", error.what());
        return FailureExit;
    }
}

// --- The run ----------------------------------------------------------------------

Options parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    const auto option = [&parser](const char* name, const char* description, const char* value) {
        parser.addOption(QCommandLineOption(QLatin1String(name), QLatin1String(description), QLatin1String(value)));
    };
    option("cases", "Number of cases (default 300).", "n");
    option("seed", "Seed of the mutations (default 1).", "n");
    option("jobs", "Cases run at once (default: the processors).", "n");
    option("analyzer", "The varor-analyze program.", "path");
    option("work", "Folder of the run (made empty).", "path");
    option("ptb", "Header of the PTB record the seeds are made from.", "path");
    option("memory-mb", "Address space of a case (default 3072).", "MiB");
    option("seconds", "Time of a case before it counts as hung (default 60).", "s");
    parser.addOption(QCommandLineOption(QStringLiteral("keep"), QStringLiteral("Keep every case folder.")));
    parser.process(arguments);
    Options options;
    options.cases = parser.value(QStringLiteral("cases")).toInt() > 0 ? parser.value(QStringLiteral("cases")).toInt() : options.cases;
    options.seed = parser.value(QStringLiteral("seed")).toUInt();
    options.jobs = std::max(1, parser.isSet(QStringLiteral("jobs")) ? parser.value(QStringLiteral("jobs")).toInt()
                                                                      : QThread::idealThreadCount());
    options.analyzer = QFileInfo(parser.value(QStringLiteral("analyzer"))).absoluteFilePath();
    options.work = QDir(parser.value(QStringLiteral("work"))).absolutePath();
    options.ptbHeader = parser.value(QStringLiteral("ptb"));
    if (parser.isSet(QStringLiteral("memory-mb")))
        options.limits.memoryBytes = parser.value(QStringLiteral("memory-mb")).toLongLong() << 20;
    if (parser.isSet(QStringLiteral("seconds")))
        options.limits.seconds = parser.value(QStringLiteral("seconds")).toInt();
    options.keepAll = parser.isSet(QStringLiteral("keep"));
    if (!parser.isSet(QStringLiteral("analyzer")) || !parser.isSet(QStringLiteral("work")) || options.ptbHeader.isEmpty())
        parser.showHelp(2);
    return options;
}

struct Tally
{
    int cases = 0;
    int refused = 0;
    int crashes = 0;
    int hangs = 0;
    int memory = 0;
    int lost = 0;
    int accepted = 0;
    int outside = 0;
};

class FuzzRun
{
public:
    explicit FuzzRun(const Options& options) : m_options(options) {}

    int run();

private:
    struct Running
    {
        std::unique_ptr<FuzzCase> fuzzCase;
        FuzzRunner runner;
    };

    void startCase(int number, Running& slot);
    void finishCase(Running& slot);
    // Files the cases wrote outside their own folders: in the run folder,
    // in the canary folder hostile names aim at, or in the seeds.
    int writesOutside() const;
    void report(const QString& what, const FuzzCase& fuzzCase, const QString& detail);

    Options m_options;
    std::unique_ptr<FuzzSeeds> m_seeds;
    std::map<QString, QByteArray> m_seedSnapshot;
    Tally m_total;
    std::map<FuzzCase::Kind, Tally> m_byKind;
};

void FuzzRun::startCase(int number, Running& slot)
{
    const QString folder = QStringLiteral("%1/cases/%2").arg(m_options.work).arg(number);
    slot.fuzzCase = std::make_unique<FuzzCase>(number, m_options.seed, *m_seeds, folder);
    QString program;
    QStringList arguments;
    slot.fuzzCase->prepare(m_options.analyzer, QCoreApplication::applicationFilePath(), program, arguments);
    if (!slot.runner.start(program, arguments, folder, m_options.limits))
        throw std::runtime_error("Cannot start a case");
}

void FuzzRun::report(const QString& what, const FuzzCase& fuzzCase, const QString& detail)
{
    std::printf("case %s (%s): %s: %s\n", qPrintable(QFileInfo(fuzzCase.folder()).fileName()),
                qPrintable(FuzzCase::kindName(fuzzCase.kind())), qPrintable(what), qPrintable(detail.simplified()));
}

void FuzzRun::finishCase(Running& slot)
{
    const FuzzRunner::Outcome& outcome = slot.runner.outcome();
    const FuzzCase::Verdict verdict = slot.fuzzCase->judge(outcome, m_options.memoryBlowUpBytes);
    Tally& kind = m_byKind[slot.fuzzCase->kind()];
    const auto count = [&](bool happened, int Tally::*field, const char* what) {
        if (!happened)
            return;
        ++(m_total.*field);
        ++(kind.*field);
        report(QLatin1String(what), *slot.fuzzCase, verdict.detail);
    };
    ++m_total.cases;
    ++kind.cases;
    if (outcome.ending == FuzzRunner::Ending::Exited && outcome.exitCode != 0) {
        ++m_total.refused;
        ++kind.refused;
    }
    count(verdict.crashed, &Tally::crashes, outcome.signal ? qPrintable(QStringLiteral("crash, signal %1").arg(outcome.signal)) : "crash");
    count(verdict.hung, &Tally::hangs, "hang");
    count(verdict.memory, &Tally::memory, "memory blow-up");
    count(verdict.lost, &Tally::lost, "study lost");
    count(verdict.accepted, &Tally::accepted, "garbage accepted");
    const bool failed = verdict.crashed || verdict.hung || verdict.memory || verdict.lost || verdict.accepted;
    if (!failed && !m_options.keepAll)
        QDir(slot.fuzzCase->folder()).removeRecursively();
    slot.fuzzCase.reset();
}

int FuzzRun::writesOutside() const
{
    int found = 0;
    const QDir work(m_options.work);
    for (const QString& name : work.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (name != QLatin1String("seeds") && name != QLatin1String("cases") && name != QLatin1String("outside"))
            ++found;
    }
    found += int(QDir(m_options.work + QStringLiteral("/outside")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size());
    for (const QString& name : QDir(m_options.work + QStringLiteral("/cases")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        bool number = false;
        name.toInt(&number);
        found += number ? 0 : 1;
    }
    if (m_seeds->snapshot() != m_seedSnapshot)
        ++found;
    return found;
}

int FuzzRun::run()
{
    QDir(m_options.work).removeRecursively();
    for (const char* sub : {"seeds", "cases", "outside"})
        QDir().mkpath(m_options.work + QLatin1Char('/') + QLatin1String(sub));
    m_seeds = std::make_unique<FuzzSeeds>(m_options.work + QStringLiteral("/seeds"), m_options.ptbHeader);
    m_seedSnapshot = m_seeds->snapshot();

    QElapsedTimer elapsed;
    elapsed.start();
    std::vector<Running> jobs(std::size_t(m_options.jobs));
    int next = 0;
    int running = 0;
    while (next < m_options.cases || running > 0) {
        for (Running& slot : jobs) {
            if (slot.fuzzCase && slot.runner.poll()) {
                finishCase(slot);
                --running;
            }
            if (!slot.fuzzCase && next < m_options.cases) {
                startCase(next++, slot);
                ++running;
            }
        }
        QThread::msleep(5);
    }
    m_total.outside = writesOutside();

    std::printf("\n%-16s %6s %8s %7s %5s %6s %5s %8s\n", "kind", "cases", "refused", "crashes", "hangs", "memory",
                "lost", "accepted");
    const auto row = [](const char* name, const Tally& tally) {
        std::printf("%-16s %6d %8d %7d %5d %6d %5d %8d\n", name, tally.cases, tally.refused, tally.crashes, tally.hangs,
                    tally.memory, tally.lost, tally.accepted);
    };
    for (const auto& [kind, tally] : m_byKind)
        row(qPrintable(FuzzCase::kindName(kind)), tally);
    row("all", m_total);
    std::printf("writes outside the case folders: %d\nseconds: %.0f\n", m_total.outside, elapsed.elapsed() / 1000.0);
    const int faults =
        m_total.crashes + m_total.hangs + m_total.memory + m_total.lost + m_total.accepted + m_total.outside;
    return faults == 0 ? 0 : FailureExit;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1).startsWith(QLatin1String("--store-")))
        return runChild(arguments);
    try {
        return FuzzRun(parse(arguments)).run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "varor-fuzz: %s\n", error.what());
        return FailureExit;
    }
}
