#pragma once

#include "analysis/filters/TFirFilter.h"
#include "analysis/signal/TSignalBufferF64.h"

#include <vector>

class TSignal;

// One scale 2^level (level 1..4) of the quadratic-spline dyadic wavelet
// transform: a double-valued FIR stage over every channel of a signal,
// writing into a ring of its own. The tables have delay L / 2, so scale
// sample i belongs to signal sample i. Each scale is the derivative of a
// smoothed signal with the sign turned over: a rising edge gives negative
// values, a falling edge positive ones.
class TWaveletScale
{
public:
    static constexpr int Levels = 4;

    // The table of a level: 2, 6, 14 or 30 taps, antisymmetric; empty for
    // any other level.
    static const std::vector<double>& taps(int level);

    // A scale of `source` from sample `origin` on, keeping `capacity`
    // samples per channel.
    TWaveletScale(int level, TSignal& source, int origin, int capacity);

    // Indices below this have been computed.
    int computedEnd() const { return m_origin + m_output.appendedCount(); }
    // Computes everything the source now allows.
    void process() { m_stage.process(); }
    // Values [start, start + count) of a channel by signal index; 0 where
    // nothing was computed or the ring no longer keeps it.
    void read(int channel, int start, int count, double* dst) const;

private:
    int m_origin;
    TSignalBufferF64 m_output;
    TFirFilterF64 m_stage;
};
