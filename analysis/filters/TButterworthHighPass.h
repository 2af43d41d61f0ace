#pragma once

#include <array>

// Fourth-order Butterworth high-pass filters designed for 1000 Hz (-3 dB
// at 40 Hz or 25 Hz), run over a vector in double precision from rest:
//     y[i] = sum_{k=0..4} b[k] x[i-k] - sum_{k=1..4} a[k] y[i-k],
// with x and y before the first sample equal to 0.
class TButterworthHighPass
{
public:
    // The 40 Hz filter for a cutoff setting of 40, the 25 Hz filter for
    // every other setting.
    static const TButterworthHighPass& forCutoff(int hertz);

    // Filters in[0 .. n) forward into out[0 .. n).
    void forward(const double* in, int n, double* out) const;
    // Filters from the last sample back to the first: the same as
    // reversing in[0 .. n), filtering forward and reversing the result.
    void backward(const double* in, int n, double* out) const;

    const std::array<double, 5>& numerator() const { return m_b; }
    const std::array<double, 5>& denominator() const { return m_a; }

private:
    TButterworthHighPass(const std::array<double, 5>& b, const std::array<double, 5>& a);

    // One output at `at`; `step` is +1 forward, -1 backward.
    double output(const double* in, const double* out, int n, int at, int step) const;

    std::array<double, 5> m_b;
    std::array<double, 5> m_a; // a[0] = 1, unused
};
