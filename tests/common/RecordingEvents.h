#pragma once

// Events of real recordings cut into a recording held as millivolts per
// lead: a pause without beats, a change of size, an electrode off, the
// device dropping out, saturation, muscle noise and a baseline step. The
// detector tests and the robustness benchmark cut them into shared records
// and the demo recording to see that beats are found again after each.
#include <string>
#include <vector>

namespace recordingevents {

enum class Kind {
    Pause,        // every lead at its baseline with +-2 counts of noise
    Scale,        // every lead's size times `value` around its baseline
    LeadFlat,     // the first lead at its baseline, the others go on
    DropOut,      // every lead at exactly 0 mV
    Saturation,   // every lead at the input range's positive end
    MuscleNoise,  // Gaussian noise of `value` mV RMS added to every lead
    BaselineStep, // `value` mV added to every lead
};

struct Event
{
    std::string name;
    Kind kind;
    double duration; // s; 0 means from the event's start to the end (kept)
    double value = 0.0;

    bool isKept() const { return duration <= 0.0; }
    // Where the event ends: its start for a kept change, after which the
    // recording goes on changed.
    double end(double start) const { return start + (isKept() ? 0.0 : duration); }
};

// A recording's leads in millivolts, with what the events need of its
// source: one ADC count and the positive end of the input range.
struct Recording
{
    std::vector<std::vector<double>> millivolts;
    double rate = 0.0;
    double countMillivolts = 0.0;
    double railMillivolts = 0.0;
};

// Every event the detector must recover from: pauses of 3 to 60 s, sizes of
// 20 % to 500 % kept or for 30 s, one lead flat for 30 s, all leads at 0
// for 10 s, saturation for 5 s, muscle noise of 0.3 mV RMS for 10 s and a
// baseline step of 3 mV.
std::vector<Event> battery();

// Cuts the event into the recording at `start` seconds; `seed` fixes the
// noise.
void apply(const Event& event, double start, Recording& recording, unsigned seed = 1);

} // namespace recordingevents
