#include "RecordingEvents.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatMatching.h"
#include "analysis/signal/TLeadSet.h"
#include "pipeline/TStudyRecording.h"
#include "storage/TBeatsFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "formats/TWfdbDeviceRecording.h"
#include "formats/TWfdbRecord.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

namespace recordingevents {

namespace {

constexpr double BaselineSpan = 1.0; // s before the event that give a lead's baseline
constexpr int PauseNoiseCounts = 2;
constexpr double DeviceRate = 1000.0;
constexpr double DeviceRange = 600.0; // mV from the device's lowest count to its highest

// The median of the second before `first`: where the lead rests between
// beats, which a pause or a change of size keeps.
double baselineBefore(const std::vector<double>& lead, std::size_t first, double rate)
{
    const std::size_t span = std::size_t(BaselineSpan * rate);
    const std::size_t from = first > span ? first - span : 0;
    if (first <= from)
        return first < lead.size() ? lead[first] : 0.0;
    std::vector<double> values(lead.begin() + long(from), lead.begin() + long(first));
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

std::string percent(double factor)
{
    return std::to_string(int(std::lround(factor * 100.0))) + "%";
}

} // namespace

std::vector<Event> battery()
{
    std::vector<Event> events;
    for (int seconds : {3, 6, 10, 30, 60})
        events.push_back({"pause_" + std::to_string(seconds) + "s", Kind::Pause, double(seconds)});
    for (double factor : {0.2, 0.3, 3.0, 5.0}) {
        events.push_back({"size_" + percent(factor) + "_kept", Kind::Scale, 0.0, factor});
        events.push_back({"size_" + percent(factor) + "_30s", Kind::Scale, 30.0, factor});
    }
    events.push_back({"lead_flat_30s", Kind::LeadFlat, 30.0});
    events.push_back({"dropout_10s", Kind::DropOut, 10.0});
    events.push_back({"saturation_5s", Kind::Saturation, 5.0});
    events.push_back({"muscle_noise_10s", Kind::MuscleNoise, 10.0, 0.3});
    events.push_back({"baseline_step_3mV", Kind::BaselineStep, 0.0, 3.0});
    return events;
}

void apply(const Event& event, double start, Recording& recording, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pauseNoise(-PauseNoiseCounts, PauseNoiseCounts);
    std::normal_distribution<double> muscle(0.0, event.value);
    for (std::size_t lead = 0; lead < recording.millivolts.size(); ++lead) {
        std::vector<double>& values = recording.millivolts[lead];
        const std::size_t first = std::min(values.size(), std::size_t(std::lround(start * recording.rate)));
        const std::size_t end = event.isKept()
            ? values.size()
            : std::min(values.size(), std::size_t(std::lround(event.end(start) * recording.rate)));
        const double baseline = baselineBefore(values, first, recording.rate);
        for (std::size_t i = first; i < end; ++i) {
            double& value = values[i];
            switch (event.kind) {
            case Kind::Pause:
                value = baseline + pauseNoise(random) * recording.countMillivolts;
                break;
            case Kind::Scale:
                value = baseline + event.value * (value - baseline);
                break;
            case Kind::LeadFlat:
                if (lead == 0)
                    value = baseline;
                break;
            case Kind::DropOut:
                value = 0.0;
                break;
            case Kind::Saturation:
                value = recording.railMillivolts;
                break;
            case Kind::MuscleNoise:
                value += muscle(random);
                break;
            case Kind::BaselineStep:
                value += event.value;
                break;
            }
        }
    }
}

Recording demoRecording(const QString& path, double seconds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open the demo recording " + path.toStdString());
    const QByteArray bytes = file.readAll();
    const int leads = TLeadSet::LeadCount;
    const qint64 frames = bytes.size() / (2 * leads);
    const auto* counts = reinterpret_cast<const qint16*>(bytes.constData());
    Recording recording;
    recording.rate = DeviceRate;
    recording.countMillivolts = DeviceRange / 65536.0;
    recording.railMillivolts = 32767.0 * recording.countMillivolts;
    recording.millivolts.assign(std::size_t(leads), {});
    const qint64 length = qint64(seconds * DeviceRate);
    for (qint64 i = 0; i < length; ++i) {
        for (int lead = 0; lead < leads; ++lead)
            recording.millivolts[std::size_t(lead)].push_back(counts[(i % frames) * leads + lead]
                                                              * recording.countMillivolts);
    }
    return recording;
}

Recording wfdbRecording(const QString& headerPath)
{
    TWfdbRecord record = TWfdbRecord::read(headerPath);
    const TWfdbSignalInfo& signal = record.header.signalInfos.front();
    Recording recording;
    recording.millivolts = std::move(record.millivolts);
    recording.rate = record.header.samplingFrequency;
    recording.countMillivolts = 1.0 / signal.gain;
    recording.railMillivolts = (std::ldexp(1.0, signal.adcResolution - 1) - 1.0 - signal.baseline) / signal.gain;
    recording.isWfdb = true;
    recording.header = record.header;
    return recording;
}

std::vector<std::vector<qint16>> deviceLeads(const Recording& recording)
{
    if (recording.isWfdb) {
        TWfdbRecord record;
        record.header = recording.header;
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

std::vector<double> storedBeats(const std::vector<std::vector<qint16>>& leads)
{
    QTemporaryDir folder;
    TLocalStudyStore store("PulsorixVAROR", folder.path());
    TStudyInfo info;
    info.lastName = "Events";
    info.firstName = "Recording";
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

bool found(double reference, const std::vector<double>& detected)
{
    const auto next = std::lower_bound(detected.begin(), detected.end(), reference - TBeatMatching::StandardWindow);
    return next != detected.end() && *next <= reference + TBeatMatching::StandardWindow;
}

double recovery(const std::vector<double>& reference, const std::vector<double>& detected, double eventEnd,
                int inARow)
{
    const auto first = std::lower_bound(reference.begin(), reference.end(), eventEnd);
    for (auto beat = first; beat != reference.end(); ++beat) {
        const auto last = beat + std::min<long>(inARow + 1, reference.end() - beat);
        if (std::all_of(beat, last, [&detected](double time) { return found(time, detected); }))
            return std::max(0.0, *beat - eventEnd);
    }
    return std::numeric_limits<double>::infinity();
}

} // namespace recordingevents
