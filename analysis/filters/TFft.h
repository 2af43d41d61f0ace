#pragma once

#include <vector>

// A radix-2 complex FFT of a fixed power-of-two size, on separate real and
// imaginary arrays so that its loops vectorise: decimation in frequency,
// each stage combining points half as far apart as the one before, then
// the bit-reversed reordering. Forward turns by exp(-i...), inverse by
// exp(+i...); neither is scaled.
class TFft
{
public:
    // `size` must be a power of two, at least 2.
    explicit TFft(int size);

    int size() const { return m_size; }
    void transform(double* re, double* im, bool inverse) const;

private:
    int m_size;
    // Per stage, the twiddles its butterflies use in order: stage by stage
    // (half = size / 2, size / 4 ... 1), cos and sin of 2 pi j stride / size
    // for j < half, stride = size / (2 half).
    std::vector<double> m_cos;
    std::vector<double> m_sin;
    std::vector<int> m_bitReversed;
};
