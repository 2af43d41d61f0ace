#pragma once

#include "analysis/filters/TFirKernel.h"

#include <vector>

class TSignal;

// Decides whether a lead carries a usable ECG around a beat: it must not
// be saturated in the second around the beat, and must not be flat in the
// three seconds around it.
//
// Saturation: with F = 2^(resolution - 2), a window whose maximum - 2 stays
// below F and whose minimum + 2 stays above -F is not saturated. Otherwise
// it is when more than 3 runs of 2 or more samples lie within 2 counts of
// the window's maximum (or of its minimum), or when the samples of such
// runs at either extreme make up more than 35 % of the window.
//
// Flatness: the window is smoothed by a 48-tap low-pass (gain 0.47 at
// 10 Hz, below 0.031 from 15 Hz at 250 Hz) and the span of the smoothed
// values that rest on window samples only is compared with 2^resolution /
// 2048 counts (resolution > 12), or 2^resolution / 32: a lead below it is
// flat while another lead reaches it. When every lead is below it, the ECG
// is one of low voltage (a small heart, an electrode moved, a recording
// whose size dropped), not a set of leads without electrodes: a lead is
// flat then below an eighth of the threshold, or below half the largest
// lead's span, so that such a recording keeps its leads.
// The parts of a window before the signal's first sample or beyond its
// last are left out.
class TLeadUsability
{
public:
    // The 48 taps of the flatness low-pass.
    static const std::vector<double>& flatnessTaps();

    explicit TLeadUsability(const TSignal& signal);

    // Whether each lead of the signal is usable at the beat.
    void judge(int qrsIndex, bool* usable);
    // The checks on a window of samples (counts), `resolution` bits.
    static bool isSaturated(const double* samples, int count, int resolution);
    // The span of the smoothed window; 0 when shorter than the low-pass.
    double smoothedSpan(const double* samples, int count);
    // Whether a lead whose smoothed span is `span` is flat, when the largest
    // span of the leads is `largestSpan`.
    static bool isFlat(double span, double largestSpan, int resolution);

private:
    // Reads [from, from + count) of a lead, clipped to the samples the
    // signal has; returns how many were read into m_window.
    int readWindow(int lead, int from, int count);

    const TSignal& m_signal;
    int m_saturationBefore;
    int m_saturationLength;
    int m_flatnessBefore;
    int m_flatnessLength;
    TFirKernel m_kernel;
    std::vector<double> m_window;
    std::vector<double> m_smoothed;
};
