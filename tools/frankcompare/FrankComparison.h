#pragma once

#include "formats/TWfdbRecord.h"

#include <array>
#include <vector>

// Compares the orthogonal leads the late-potential analysis synthesises
// from the twelve standard leads with Frank leads recorded alongside them
// (a WFDB record with signals i, ii, iii, avr, avl, avf, v1 ... v6 and vx,
// vy, vz, such as the PTB records): sample by sample over the record, and
// as late potentials of the signal-averaged beats.
namespace FrankComparison {

struct LatePotentialFigures {
    int onset = 0;  // samples into the averaged beat
    int offset = 0;
    int qrsd = 0;   // samples
    int rms = 0;    // microvolts
    int las = 0;    // samples
};

struct Result {
    int rate = 0;
    int beatsFound = 0;
    // Beats in the averages of V5 and of the recorded X.
    int averagedBeatsV5 = 0;
    int averagedBeatsX = 0;
    // Correlation of the synthesised with the recorded X, Y and Z over the
    // whole record (both without their baseline: minus a centred 0.4-s
    // moving mean), and over the averaged beats.
    std::array<double, 3> recordCorrelation{};
    std::array<double, 3> averageCorrelation{};
    LatePotentialFigures synthesised;
    LatePotentialFigures recorded;
};

// Pearson correlation of two equally long vectors (0 when either is flat).
double correlation(const std::vector<double>& a, const std::vector<double>& b);

// Finds the beats (from the summed slope energy of the leads), averages
// the leads with the live beat averager and runs the late-potential
// analysis on the synthesised and on the recorded orthogonal leads, with
// the default parameters. Throws std::runtime_error when the record lacks
// one of the fifteen signals.
Result compare(const TWfdbRecord& record);

} // namespace FrankComparison
