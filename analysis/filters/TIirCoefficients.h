#pragma once

// An IIR coefficient set of the review chain: order M, numerator
// b[0 .. M] and feedback a[1 .. M] stored with the sign of the feedback
// term, so that y[n] = sum_k b[k] x[n-k] + sum_{k>=1} a[k] y[n-k]; a[0] is
// stored as 1 and never used. `padding` is the number of samples the block
// filter runs beyond each end of a block.
struct TIirSet {
    int order;
    double b[5];
    double a[5];
    int padding;
};

namespace TIirCoefficients {

// Each returns nullptr at a rate without a set (only 500 and 1000 Hz have one).
const TIirSet* baselineHighPass(int rate); // -3 dB at 0.25 Hz (single pass)
const TIirSet* notch50Hz(int rate);        // zeros at 50 and 100 Hz
const TIirSet* secondHighPass(int rate);   // -3 dB at 0.76 Hz (single pass)

} // namespace TIirCoefficients
