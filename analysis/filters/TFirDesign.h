#pragma once

#include <vector>

// Design of linear-phase FIR low-pass filters, shared by the resampler and
// the demo recording converter. Frequencies are fractions of the sampling
// rate of the filter (0.5 is its Nyquist frequency).
class TFirDesign
{
public:
    TFirDesign() = delete;

    // A windowed sinc (Kaiser window) with an odd number of taps and unit
    // gain at 0 Hz: pass band up to passEdge, stop band from stopEdge, at
    // least `attenuationDb` of attenuation there. The sinc is cut off in
    // the middle of the transition band; the length and the window's shape
    // follow Kaiser's formulas for the transition width and attenuation.
    // Throws std::runtime_error unless 0 < passEdge < stopEdge <= 0.5.
    static std::vector<double> kaiserLowPass(double passEdge, double stopEdge, double attenuationDb);

    // The magnitude of the filter's response at a frequency.
    static double magnitudeAt(const std::vector<double>& taps, double frequency);
};
