#pragma once

#include "analysis/filters/TFft.h"

#include <vector>

class TSignal;

// A long FIR table applied in the frequency domain, Block outputs at a
// time (uniformly partitioned overlap-save): the table is cut into
// partitions of Block taps, each transformed once; every step transforms
// the newest 2 x Block input samples, keeps that spectrum in a delay line
// of one per partition, multiplies each partition's spectrum with the
// input spectrum as old as its place in the table, sums them and
// transforms back. Per output that costs a few hundred operations where a
// table of a thousand taps costs thousands, for a wait of at most one
// block. Two channels share each transform, one as its real part, the
// other as its imaginary part: the table is real, so the two never mix.
// The results equal the direct sums up to floating-point rounding.
class TPartitionedFir
{
public:
    static constexpr int Block = 64;

    // Outputs y[p] = sum_k taps[k] x[p + delay - k] of every channel.
    TPartitionedFir(const std::vector<double>& taps, int delay, int channels);

    // Outputs [first, first + Block) of every channel from `source`
    // (samples it does not hold read as 0): out[c * stride + j] is output
    // first + j of channel c. Steps follow each other Block by Block; a
    // step elsewhere fills the delay line again from the source.
    void step(const TSignal& source, int first, double* out, int stride);

private:
    struct Spectrum
    {
        std::vector<double> re;
        std::vector<double> im;
    };

    // The spectrum of inputs [start, start + 2 Block) of a channel pair.
    void transformInput(const TSignal& source, int pair, int start, Spectrum& spectrum);

    TFft m_fft;
    int m_delay;
    int m_channels;
    int m_partitions;
    std::vector<Spectrum> m_table;           // per partition, scaled by 1 / (2 Block)
    std::vector<std::vector<Spectrum>> m_line; // per channel pair, per partition (ring)
    int m_newest = 0;                        // ring slot of the newest spectrum
    int m_nextFirst = 0;
    bool m_primed = false;
    Spectrum m_sum;
    // Each partition's table spectrum, and the input spectrum it meets now.
    std::vector<const double*> m_hRe, m_hIm;
    std::vector<const double*> m_xRe, m_xIm;
};
