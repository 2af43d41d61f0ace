// Beat detection after the events of real recordings. Each event of the
// battery (pauses, changes of size, an electrode off, the device dropping
// out, saturation, muscle noise, a baseline step) is cut into the annotated
// MIT-BIH records at 10:00 and into ten minutes of the demo recording at
// 6:00, and the record is recorded through the acquisition pipeline from
// the device's fourteen leads at 1000 Hz, as varor-analyze records it. The
// stored beats, normal and rejected, are scored from 5:00 with the standard
// rules (a detection within 150 ms of a reference beat): against the
// record's reference beats, and for the demo against the beats found in it
// without the event; the event itself and the 2 s after it are left out.
//
// Per case it prints sensitivity, positive predictivity and the recovery:
// the seconds from the event's end (its start for a change that is kept)
// to the first reference beat found from which the next five are found
// too; the headline, last, is the worst recovery.
//
// Usage: bench_robustness [folder [event-name-part]]; the default folder is
// ../shared/data/mitdb beside the project.
#include "bench/BenchMetric.h"
#include "bench/BenchRecords.h"

#include "RecordingEvents.h"
#include "analysis/beats/TBeatMatching.h"
#include "app/TStartup.h"
#include "formats/TWfdbAnnotations.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

using namespace recordingevents;

constexpr double ScoredFrom = 300.0;     // s
constexpr double RecordEventAt = 600.0;  // s into the MIT-BIH records
constexpr double DemoEventAt = 360.0;    // s into the demo recording
constexpr double DemoLength = 600.0;     // s
constexpr double Settling = 2.0;         // s after the event left out
constexpr int FoundInARow = 5;           // beats after the first that must be found too

// A recording cut with events, with what it is scored against.
struct Subject
{
    QString name;
    Recording recording;
    std::vector<double> reference;
    double eventAt = 0.0;
};

std::vector<double> scoredPart(const std::vector<double>& times, double eventAt, double eventEnd)
{
    std::vector<double> kept;
    for (double time : times) {
        if (time >= ScoredFrom && (time < eventAt || time >= eventEnd + Settling))
            kept.push_back(time);
    }
    return kept;
}

Subject mitdbRecord(const QDir& folder, const QString& name)
{
    Subject subject;
    subject.name = name;
    subject.recording = wfdbRecording(folder.filePath(name + QStringLiteral(".hea")));
    subject.reference = TWfdbAnnotations::beatTimes(folder.filePath(name + QStringLiteral(".atr")),
                                                    subject.recording.rate);
    subject.eventAt = RecordEventAt;
    return subject;
}

// Ten minutes of the demo recording, its reference the beats found in it
// as it is.
Subject demoSubject()
{
    Subject subject;
    subject.name = QStringLiteral("demo");
    subject.recording = demoRecording(QStringLiteral(VAROR_SOURCE_DIR "/data/ecg1000.dat"), DemoLength);
    subject.reference = storedBeats(deviceLeads(subject.recording));
    subject.eventAt = DemoEventAt;
    return subject;
}

struct CaseResult
{
    TBeatMatching score;
    double recovery = 0.0;
};

CaseResult runCase(const Subject& subject, const Event& event)
{
    Recording recording = subject.recording;
    apply(event, subject.eventAt, recording);
    const double eventEnd = event.end(subject.eventAt);
    const std::vector<double> detected = storedBeats(deviceLeads(recording));
    CaseResult result;
    result.score = TBeatMatching::match(scoredPart(subject.reference, subject.eventAt, eventEnd),
                                        scoredPart(detected, subject.eventAt, eventEnd));
    result.recovery = recovery(subject.reference, detected, eventEnd, FoundInARow);
    return result;
}

void print(const QString& name, const char* figure, double value, const char* unit, int decimals)
{
    metric(qPrintable(name + QLatin1String(figure)), value, unit, decimals);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TStartup::setIdentity();
    const QStringList arguments = QCoreApplication::arguments();
    const QDir folder = benchFolder(arguments, "mitdb");
    const std::string only = arguments.size() > 2 ? arguments.at(2).toStdString() : std::string();
    try {
        std::vector<Subject> subjects;
        for (const QString& name : annotatedRecords(folder))
            subjects.push_back(mitdbRecord(folder, name));
        subjects.push_back(demoSubject());
        TBeatMatching gross;
        double worst = 0.0;
        for (const Event& event : battery()) {
            if (event.name.find(only) == std::string::npos)
                continue;
            for (const Subject& subject : subjects) {
                const CaseResult result = runCase(subject, event);
                const QString name = subject.name + QLatin1Char('_') + QString::fromStdString(event.name);
                print(name, "_Se", result.score.sensitivity(), "%", 2);
                print(name, "_+P", result.score.positivePredictivity(), "%", 2);
                print(name, "_recovery", std::min(result.recovery, 9999.0), "s", 2);
                gross.add(result.score);
                worst = std::max(worst, result.recovery);
            }
        }
        metric("battery_Se", gross.sensitivity(), "%", 2);
        metric("battery_+P", gross.positivePredictivity(), "%", 2);
        metric("worst_recovery", std::min(worst, 9999.0), "s", 2);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_robustness: %s\n", error.what());
        return 1;
    }
    return 0;
}
