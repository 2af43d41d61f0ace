#pragma once

#include "display/TSampleRunSource.h"

#include <vector>

class TSignal;

// The saturated stretches of a recorded signal: runs of samples lying
// outside -c .. +c with c = 2^(resolution bits - 1) - 2 (+/-32766 for
// 16-bit samples), which the browse display draws in its marked colour.
class TClippedSampleRuns final : public TSampleRunSource
{
public:
    // The signal is not owned and must outlive this object.
    explicit TClippedSampleRuns(const TSignal& signal);

    bool nextRun(int channel, int first, int last, int& runFirst, int& runLast) const override;

    int limit() const { return m_limit; }

private:
    // Index of the first sample in [from, last] whose clipped state is
    // `clipped`; last + 1 when there is none.
    int find(int channel, int from, int last, bool clipped) const;

    const TSignal& m_signal;
    int m_limit;
    // Samples are read a chunk at a time rather than one by one.
    mutable std::vector<double> m_chunk;
};
