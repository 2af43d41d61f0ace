#pragma once

// Events of real recordings cut into a recording held as millivolts per
// lead: a pause without beats, a change of size, an electrode off, the
// device dropping out, saturation, muscle noise and a baseline step. The
// detector tests and the robustness benchmark cut them into shared records
// and the demo recording to see that beats are found again after each.
#include "formats/TWfdbHeader.h"

#include <QString>
#include <QtGlobal>

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
// source: one ADC count and the positive end of the input range. A WFDB
// record keeps its header, which names its leads; otherwise the leads are
// the device's fourteen at 1000 Hz.
struct Recording
{
    std::vector<std::vector<double>> millivolts;
    double rate = 0.0;
    double countMillivolts = 0.0;
    double railMillivolts = 0.0;
    bool isWfdb = false;
    TWfdbHeader header;
};

// Every event the detector must recover from: pauses of 3 to 60 s, sizes of
// 20 % to 500 % kept or for 30 s, one lead flat for 30 s, all leads at 0
// for 10 s, saturation for 5 s, muscle noise of 0.3 mV RMS for 10 s and a
// baseline step of 3 mV.
std::vector<Event> battery();

// Cuts the event into the recording at `start` seconds; `seed` fixes the
// noise.
void apply(const Event& event, double start, Recording& recording, unsigned seed = 1);

// The demo recording (fourteen leads of device counts at 1000 Hz, file
// `path`) looped to `seconds`.
Recording demoRecording(const QString& path, double seconds);
// A WFDB record (its header file), its input range taken from its first
// signal.
Recording wfdbRecording(const QString& headerPath);
// The fourteen device leads at 1000 Hz as the device would have delivered
// the recording.
std::vector<std::vector<qint16>> deviceLeads(const Recording& recording);
// The beats, normal and rejected, that the acquisition pipeline stores
// when the fourteen device leads are recorded into a study, in seconds.
std::vector<double> storedBeats(const std::vector<std::vector<qint16>>& leads);

// Whether a detection lies within 150 ms of `reference` (times ascending).
bool found(double reference, const std::vector<double>& detected);
// Seconds from `eventEnd` to the first reference beat after it that is
// found with the `inARow` reference beats that follow it; infinity when
// detection never comes back.
double recovery(const std::vector<double>& reference, const std::vector<double>& detected, double eventEnd,
                int inARow = 5);

} // namespace recordingevents
