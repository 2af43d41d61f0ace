#pragma once

// Synthetic multi-lead ECG with known beat times, for the analysis tests.
//
// Every beat is a sum of Gaussian waves (P, Q, R, S, T) placed around its
// R peak, with per-lead amplitudes; on top come baseline wander, mains hum,
// white noise and a per-lead DC offset. Leads can be made flat (electrode
// off: offset and noise only) or clipped (baseline pinned at the positive
// rail, only the negative parts of the trace visible). Samples are 16-bit
// counts on the device scale (+-300 mV over 16 bits).
#include "analysis/signal/TSignalBuffer16.h"

#include <QtGlobal>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace ecgsynth {

// Wave amplitudes of one lead in millivolts (negative for downward waves).
struct LeadShape
{
    double p = 0.1;
    double q = 0.0;
    double r = 1.0;
    double s = 0.0;
    double t = 0.3;
    double delay = 0.0; // s; the lead's waves come this much later
};

// Plausible shapes of the 14 device leads (I ... V6, CM5, CR5).
LeadShape standardShape(int lead);

struct Config
{
    int leads = 12;
    int rate = 250;
    double duration = 60.0; // s
    // Beat k comes rr[k - 1] after beat k - 1; beyond the list, at the
    // heart rate.
    double heartRate = 75.0; // bpm
    std::vector<double> rr;
    double firstBeat = 0.4; // s
    // Per-lead shapes; empty: the standard shapes.
    std::vector<LeadShape> shapes;
    // Beat number -> amplitude factor of the whole beat per lead (leads
    // beyond the list keep factor 1).
    std::map<int, std::vector<double>> beatScale;
    double wanderMv = 0.0; // amplitude of the baseline wander
    double wanderHz = 0.3;
    double humMv = 0.0;
    double humHz = 50.0;
    double noiseMv = 0.0; // RMS of the white noise
    double offsetMv = 0.0; // DC offsets spread over the leads, up to this
    unsigned seed = 1;
    std::vector<int> flatLeads;
    std::vector<int> clippedLeads;
    // P waves without a QRS (AV block), at these times (s).
    std::vector<double> blockedPWaves;
    // Lead -> time (s) from which its electrode is off: no ECG, only a
    // slow drift of a few millivolts and noise.
    std::map<int, double> disconnectedFrom;
    // Sharp biphasic artifacts (muscle twitches) of spikeMv in one lead:
    // (lead, time in s).
    std::vector<std::pair<int, double>> spikes;
    double spikeMv = 1.0;
};

struct Record
{
    int rate = 250;
    std::vector<std::vector<qint16>> leads; // counts, one vector per lead
    std::vector<double> beats;              // R peak times (s)

    int length() const { return leads.empty() ? 0 : int(leads.front().size()); }
    // RR interval before beat k (0 for the first).
    double rr(int k) const { return k > 0 ? beats[std::size_t(k)] - beats[std::size_t(k - 1)] : 0.0; }
};

constexpr double CountsPerMv = 65536.0 / 600.0;

Record synthesize(const Config& config);

// `count` RR intervals of a regular rhythm.
std::vector<double> regularRr(double bpm, int count);

// A 16-bit signal shaped like the analysis pipeline's 250 Hz signal
// (resolution 16, +-300 mV, lead names), empty, able to keep `record`
// whole.
std::unique_ptr<TSignalBuffer16> makeSignal(const Record& record, int blockSize = 4096);
// Appends samples [from, from + count) of every lead.
void append(TSignal& signal, const Record& record, int from, int count);
// The record as one signal.
std::unique_ptr<TSignalBuffer16> toSignal(const Record& record, int blockSize = 4096);

} // namespace ecgsynth
