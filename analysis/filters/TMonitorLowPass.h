#pragma once

#include "analysis/filters/TFirFilter.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <memory>

// The monitor low-pass stage: a TFirFilter on the raw signal with the
// 62-tap table at 250 Hz, the 12-tap table at 500 Hz and the 41-tap table
// at any other rate, writing to a TSignalBuffer16 with the raw block size
// and 100 blocks of capacity (the raw signal's channels, rate, resolution,
// range and names), attached at 0.
class TMonitorLowPass
{
public:
    static constexpr int CapacityBlocks = 100;

    explicit TMonitorLowPass(TSignal* raw);

    void process() { m_stage.process(); }
    TSignal* output() const { return m_output.get(); }
    const TFirFilter& stage() const { return m_stage; }

private:
    std::unique_ptr<TSignalBuffer16> m_output;
    TFirFilter m_stage;
};
