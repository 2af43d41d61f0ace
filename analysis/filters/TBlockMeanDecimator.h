#pragma once

#include "analysis/signal/TSignalProcessor.h"

#include <vector>

// Decimation by the plain mean of N consecutive samples: while
// p + N < available, outputs the mean of x[p .. p+N-1] truncated toward
// zero and advances p by N. With N = 1 (a 250 Hz device feeding the 250 Hz
// signal) it is a plain copy that stays one sample behind the source.
class TBlockMeanDecimator final : public TSignalProcessor
{
public:
    explicit TBlockMeanDecimator(int factor);
    int factor() const { return m_factor; }
    void process() override;

private:
    int m_factor;
    std::vector<double> m_window;
    std::vector<qint16> m_samples; // one run of outputs, channel by channel
};
