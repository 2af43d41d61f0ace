#pragma once

#include <vector>

// The inner loop shared by the FIR stages and the FIR block filter: a run
// of outputs of one table over a contiguous window of input,
//
//     out[j] = sum_{k=0}^{L-1} h[k] * window[j + L - 1 - k],   j = 0 .. count-1,
//
// so window[0] is the input L - 1 samples before the one aligned with
// out[0]'s newest tap. Symmetric tables (all of ours) fold each pair of
// equal taps into one multiplication, antisymmetric ones likewise with a
// difference; other tables are summed directly. The loops run over the
// outputs with the taps outermost, so they are plain vectorisable sums
// without per-sample allocation; the summation order differs from the
// formula's only by floating-point rounding.
class TFirKernel
{
public:
    explicit TFirKernel(std::vector<double> taps);

    int length() const { return int(m_taps.size()); }
    const std::vector<double>& taps() const { return m_taps; }

    // `window` holds count + length() - 1 values; `out` receives count.
    void run(const double* window, int count, double* out) const;

private:
    enum class Symmetry { Symmetric, Antisymmetric, None };

    std::vector<double> m_taps;
    Symmetry m_symmetry = Symmetry::None;
};
