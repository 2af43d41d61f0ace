#pragma once

#include "analysis/signal/TSignalProcessor.h"

#include <vector>

// Low-pass decimation with the 29-tap table (delay 14) by a
// factor F. With F > 1: while p < available - 14 - F, outputs
// sum_j c[j] x[p + 14 - j], truncated toward zero and saturated to 16 bits,
// and advances p by F. With F = 1: while p < available - 15, outputs x[p]
// unfiltered and advances p by 1.
class TFirDecimator final : public TSignalProcessor
{
public:
    explicit TFirDecimator(int factor);
    int factor() const { return m_factor; }
    void process() override;

private:
    int m_factor;
    std::vector<double> m_taps;
    std::vector<double> m_window;
    std::vector<qint16> m_samples; // one run of outputs, channel by channel
};
