#pragma once

#include "analysis/filters/TBlockFilter.h"
#include "analysis/filters/TIirCoefficients.h"

// IIR block filter (order M <= 4, padding P): a forward pass over
// i = -P .. n+P-1,
//     y[i] = b[0] x[i] + sum_{k=1..M} (a[k] y[i-k] + b[k] x[i-k]),
// with y before -P equal to 0 and x taken from the neighbour blocks; with
// the backward flag, a backward pass over j = n+P-1 down to 0,
//     z[j] = b[0] y[j] + sum_{k=1..M} (a[k] z[j+k] + b[k] y[j+k]),
// with z and y beyond n+P-1 equal to 0. Each further pass repeats this on
// the previous result (whose values before index 0, which the backward
// pass does not compute, count as 0). The block's output is the last
// result at 0 .. n-1, truncated toward zero and saturated to 16 bits.
//
// The forward pass starts from rest: x before -P counts as 0 just like y.
// Taking x there from the previous block while y is 0 would hand the
// recursion a state that matches no input, and for the slow baseline
// high-pass the resulting transient outlasts the padding: every block would
// start with an error of a tenth of the signal's amplitude. From rest the
// only transient is the step onto the signal at -P, which the padding
// absorbs, so block results agree with filtering the whole recording in
// one go.
class TIirBlockFilter final : public TBlockFilter
{
public:
    TIirBlockFilter(const TIirSet& set, bool backward = true, int passes = 1);

    void filter(const TBlockPosition& position, const qint16* previous, const qint16* current, const qint16* next,
                int n, qint16* out) const override;
    void filterBlocks(int channel, const qint16* samples, int blocks, int n, int appendedCount,
                      qint16* out) const override;

    const TIirSet& coefficients() const { return m_set; }

private:
    void filterGroup(const qint16* const* blocks, int lanes, int n, qint16* const* outs) const;

    TIirSet m_set;
    bool m_backward;
    int m_passes;
};
