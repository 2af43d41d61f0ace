#pragma once

#include "analysis/TSignalProcessor.h"

#include <complex>
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

    // One transform of `data` (WindowLength values) in place: forward with
    // the exp(-i...) twiddles, inverse with exp(+i...), neither scaled.
    void transform(std::complex<double>* data, bool inverse) const;

private:
    std::vector<std::complex<double>> m_twiddles; // exp(-2 pi i k / N), k < N/2
    std::vector<int> m_bitReversed;
    std::vector<double> m_input;
    std::vector<std::complex<double>> m_work;
};
