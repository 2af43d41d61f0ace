#include "RecordingEvents.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace recordingevents {

namespace {

constexpr double BaselineSpan = 1.0; // s before the event that give a lead's baseline
constexpr int PauseNoiseCounts = 2;

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

} // namespace recordingevents
