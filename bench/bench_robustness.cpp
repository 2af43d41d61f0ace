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

#include "RecordingEvents.h"
#include "analysis/TBeat.h"
#include "analysis/TBeatMatching.h"
#include "analysis/TLeadSet.h"
#include "app/TStartup.h"
#include "pipeline/TStudyRecording.h"
#include "storage/TBeatsFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "storage/TWfdbAnnotations.h"
#include "storage/TWfdbDeviceRecording.h"
#include "storage/TWfdbRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
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
constexpr double DeviceRange = 600.0;    // mV from the device's lowest count to its highest

// A recording cut with events, with what it is scored against.
struct Subject
{
    QString name;
    Recording recording;
    TWfdbHeader header;     // the MIT-BIH record's, for its lead names
    bool device = false;    // the demo: fourteen leads of device counts at 1000 Hz
    std::vector<double> reference;
    double eventAt = 0.0;
};

// The fourteen device leads of a subject's recording.
std::vector<std::vector<qint16>> deviceLeads(const Subject& subject, const Recording& recording)
{
    if (!subject.device) {
        TWfdbRecord record;
        record.header = subject.header;
        record.millivolts = recording.millivolts;
        return TWfdbDeviceRecording::fromRecord(record).leads();
    }
    std::vector<std::vector<qint16>> leads(recording.millivolts.size());
    for (std::size_t lead = 0; lead < leads.size(); ++lead) {
        for (double value : recording.millivolts[lead]) {
            const double count = std::round(value / recording.countMillivolts);
            leads[lead].push_back(qint16(std::clamp(count, -32768.0, 32767.0)));
        }
    }
    return leads;
}

// The beats the acquisition pipeline stores for the leads, in seconds.
std::vector<double> storedBeats(const std::vector<std::vector<qint16>>& leads)
{
    QTemporaryDir folder;
    TLocalStudyStore store("PulsorixVAROR", folder.path());
    TStudyInfo info;
    info.lastName = "Robustness";
    info.firstName = "Bench";
    info.studyType = "VA ROR";
    info.studyDateTime = "20240312103000";
    const int id = TStudyRecording::recordStudy(store, leads, info);
    TStudy* study = store.openStudy(id);
    std::vector<double> times;
    TBeat beat;
    for (int index = 0; study->beatsFile()->read(index, beat); ++index)
        times.push_back(beat.value(TBeat::QrsTime));
    store.closeStudy(study);
    std::sort(times.begin(), times.end());
    return times;
}

std::vector<double> scoredPart(const std::vector<double>& times, double eventAt, double eventEnd)
{
    std::vector<double> kept;
    for (double time : times) {
        if (time >= ScoredFrom && (time < eventAt || time >= eventEnd + Settling))
            kept.push_back(time);
    }
    return kept;
}

bool found(double reference, const std::vector<double>& detected)
{
    const auto next = std::lower_bound(detected.begin(), detected.end(), reference - TBeatMatching::StandardWindow);
    return next != detected.end() && *next <= reference + TBeatMatching::StandardWindow;
}

// Seconds from the event's end to the first reference beat found after it
// with the next FoundInARow found too; infinity when detection never comes
// back.
double recovery(const std::vector<double>& reference, const std::vector<double>& detected, double eventEnd)
{
    const auto first = std::lower_bound(reference.begin(), reference.end(), eventEnd);
    for (auto beat = first; beat != reference.end(); ++beat) {
        const auto last = std::min(reference.end(), beat + FoundInARow + 1);
        if (std::all_of(beat, last, [&detected](double time) { return found(time, detected); }))
            return std::max(0.0, *beat - eventEnd);
    }
    return std::numeric_limits<double>::infinity();
}

Subject mitdbRecord(const QDir& folder, const QString& name)
{
    Subject subject;
    subject.name = name;
    const TWfdbRecord record = TWfdbRecord::read(folder.filePath(name + QStringLiteral(".hea")));
    subject.header = record.header;
    const TWfdbSignalInfo& signal = record.header.signalInfos.front();
    subject.recording.millivolts = record.millivolts;
    subject.recording.rate = record.header.samplingFrequency;
    subject.recording.countMillivolts = 1.0 / signal.gain;
    subject.recording.railMillivolts = (std::ldexp(1.0, signal.adcResolution - 1) - 1.0 - signal.baseline) / signal.gain;
    subject.reference = TWfdbAnnotations::beatTimes(folder.filePath(name + QStringLiteral(".atr")),
                                                    record.header.samplingFrequency);
    subject.eventAt = RecordEventAt;
    return subject;
}

// Ten minutes of the demo recording (looped), its reference the beats found
// in it as it is.
Subject demoRecording()
{
    QFile file(QStringLiteral(VAROR_SOURCE_DIR "/data/ecg1000.dat"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open the demo recording");
    const QByteArray bytes = file.readAll();
    const int leads = TLeadSet::LeadCount;
    const qint64 frames = bytes.size() / (2 * leads);
    const auto* counts = reinterpret_cast<const qint16*>(bytes.constData());
    Subject subject;
    subject.name = QStringLiteral("demo");
    subject.device = true;
    subject.recording.rate = 1000.0;
    subject.recording.countMillivolts = DeviceRange / 65536.0;
    subject.recording.railMillivolts = 32767.0 * subject.recording.countMillivolts;
    subject.recording.millivolts.assign(std::size_t(leads), {});
    const qint64 length = qint64(DemoLength * subject.recording.rate);
    for (qint64 i = 0; i < length; ++i) {
        for (int lead = 0; lead < leads; ++lead)
            subject.recording.millivolts[std::size_t(lead)].push_back(counts[(i % frames) * leads + lead]
                                                                      * subject.recording.countMillivolts);
    }
    subject.reference = storedBeats(deviceLeads(subject, subject.recording));
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
    const std::vector<double> detected = storedBeats(deviceLeads(subject, recording));
    CaseResult result;
    result.score = TBeatMatching::match(scoredPart(subject.reference, subject.eventAt, eventEnd),
                                        scoredPart(detected, subject.eventAt, eventEnd));
    result.recovery = recovery(subject.reference, detected, eventEnd);
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
    const QDir folder(arguments.size() > 1 ? arguments.at(1) : QStringLiteral(VAROR_SOURCE_DIR "/../shared/data/mitdb"));
    const std::string only = arguments.size() > 2 ? arguments.at(2).toStdString() : std::string();
    try {
        std::vector<Subject> subjects;
        for (const QString& header : folder.entryList({QStringLiteral("*.hea")}, QDir::Files, QDir::Name)) {
            if (folder.exists(header.chopped(4) + QStringLiteral(".atr")))
                subjects.push_back(mitdbRecord(folder, header.chopped(4)));
        }
        subjects.push_back(demoRecording());
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
