#pragma once

#include "analysis/filters/TFirKernel.h"
#include "analysis/filters/TFirTables.h"
#include "analysis/filters/TPartitionedFir.h"
#include "analysis/signal/TSignalProcessor.h"

#include <memory>
#include <vector>

// Common part of the streaming FIR stages: with table h (length L, delay
// D = L / 2) and next output index p, while p < available - D it produces
// y[p] = sum_k h[k] x[p + D - k] (samples outside the source's kept window
// read as 0, so the first outputs see zeros before index 0), so sink sample
// k stays aligned with source sample (attach index + k). Outputs are
// computed in runs: one contiguous range read per channel into a window
// buffer that is reused across calls, then the folded kernel. A table with
// no taps passes the source through unchanged (y[p] = x[p]). Tables of
// PartitionedTaps taps or more are applied in the frequency domain
// (TPartitionedFir), a block of outputs at a time: the same outputs up to
// floating-point rounding, each coming once its whole block can be made.
class TFirStage : public TSignalProcessor
{
public:
    static constexpr int PartitionedTaps = 150;

    const std::vector<double>& taps() const { return m_taps; }
    int delay() const { return m_delay; }

protected:
    explicit TFirStage(const TFirTable& table);
    explicit TFirStage(std::vector<double> taps);

    // Computes every output the source now allows and hands each run to
    // emit(outputs, channels, count): outputs[c * count + j] is output j of
    // channel c.
    template <typename Emit>
    void produce(Emit emit);

private:
    // Outputs [m_nextIndex, m_nextIndex + count) of every channel into m_outputs.
    void computeDirect(int count, int channels);
    void computePartitioned(int count);

    std::vector<double> m_taps;
    int m_delay;
    TFirKernel m_kernel;
    std::unique_ptr<TPartitionedFir> m_partitioned;
    std::vector<double> m_window;
    std::vector<double> m_outputs;
};

// FIR stage with 16-bit output: each output is truncated toward zero and
// saturated to -32768 .. 32767 (it never wraps).
class TFirFilter final : public TFirStage
{
public:
    explicit TFirFilter(const TFirTable& table);
    explicit TFirFilter(std::vector<double> taps);
    void process() override;

private:
    std::vector<qint16> m_samples; // one run of outputs, reused
};

// The same stage with double output (for a TSignalBufferF64 sink).
class TFirFilterF64 final : public TFirStage
{
public:
    explicit TFirFilterF64(const TFirTable& table);
    explicit TFirFilterF64(std::vector<double> taps);
    void process() override;
};
