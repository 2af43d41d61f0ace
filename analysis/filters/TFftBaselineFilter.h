#pragma once

#include "analysis/filters/TFft.h"
#include "analysis/signal/TSignalProcessor.h"

#include <vector>

// Baseline removal by FFT ("fft" baseline mode). Per channel it takes 1024
// consecutive samples divided by 32768, transforms them (1024-point complex
// radix-2 FFT, in place, decimation in frequency with the bit-reversed
// reordering at the end), zeroes bins 0, 1, 1022 and 1023 (DC and the
// lowest frequency either side), transforms back without 1/N scaling and
// outputs samples 480 .. 543 of the result times 32 (truncated toward zero
// and saturated to 16 bits). Windows then advance by 64 samples (the stage
// steps back 960), so each output comes from the middle of its window and
// sink sample k corresponds to source sample (attach index + 480 + k): the
// one stage that shifts its output, by 480 samples.
class TFftBaselineFilter final : public TSignalProcessor
{
public:
    static constexpr int WindowLength = 1024;
    static constexpr int Step = 64;
    static constexpr int FirstOutput = 480;

    TFftBaselineFilter();
    void process() override;

    const TFft& fft() const { return m_fft; }

private:
    TFft m_fft;
    std::vector<double> m_input;
    std::vector<double> m_re;
    std::vector<double> m_im;
};
