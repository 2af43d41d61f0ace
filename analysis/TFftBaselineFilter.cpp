#include "analysis/TFftBaselineFilter.h"

#include "analysis/TSampleConversion.h"
#include "analysis/TSignal.h"

#include <cmath>
#include <utility>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Stages = 10; // log2(1024)

} // namespace

TFftBaselineFilter::TFftBaselineFilter()
    : m_twiddles(WindowLength / 2)
    , m_bitReversed(WindowLength)
    , m_input(WindowLength)
    , m_work(WindowLength)
{
    // Stage s (10 .. 1) turns by pi / 2^(s-1) per butterfly; every such
    // angle is a multiple of 2 pi / 1024, so one table serves all stages.
    for (int k = 0; k < WindowLength / 2; ++k) {
        const double angle = 2.0 * Pi * k / WindowLength;
        m_twiddles[k] = {std::cos(angle), -std::sin(angle)};
    }
    for (int i = 0; i < WindowLength; ++i) {
        int reversed = 0;
        for (int bit = 0; bit < Stages; ++bit)
            if (i & (1 << bit))
                reversed |= 1 << (Stages - 1 - bit);
        m_bitReversed[i] = reversed;
    }
}

void TFftBaselineFilter::transform(std::complex<double>* data, bool inverse) const
{
    // Decimation in frequency: stage s combines points half = 2^(s-1) apart.
    for (int s = Stages; s >= 1; --s) {
        const int half = 1 << (s - 1);
        const int stride = (WindowLength / 2) / half; // twiddle index step
        for (int group = 0; group < WindowLength; group += 2 * half) {
            for (int j = 0; j < half; ++j) {
                std::complex<double> w = m_twiddles[std::size_t(j) * stride];
                if (inverse)
                    w = std::conj(w);
                const std::complex<double> a = data[group + j];
                const std::complex<double> b = data[group + j + half];
                data[group + j] = a + b;
                data[group + j + half] = (a - b) * w;
            }
        }
    }
    for (int i = 0; i < WindowLength; ++i) {
        const int r = m_bitReversed[i];
        if (r > i)
            std::swap(data[i], data[r]);
    }
}

void TFftBaselineFilter::process()
{
    if (m_source == nullptr || m_sink == nullptr)
        return;
    const int available = m_source->appendedCount();
    const int channels = m_source->channelCount();
    std::vector<qint16> outputs(std::size_t(channels) * Step);
    while (m_nextIndex + WindowLength <= available) {
        for (int channel = 0; channel < channels; ++channel) {
            m_source->readRange(channel, m_nextIndex, WindowLength, m_input.data());
            for (int i = 0; i < WindowLength; ++i)
                m_work[i] = {m_input[i] / 32768.0, 0.0};
            transform(m_work.data(), false);
            for (int bin : {0, 1, WindowLength - 2, WindowLength - 1})
                m_work[bin] = 0.0;
            transform(m_work.data(), true);
            for (int i = 0; i < Step; ++i)
                outputs[std::size_t(channel) * Step + i] = toSample16(m_work[FirstOutput + i].real() * 32.0);
        }
        qint16 frame[TSignal::MaxChannels];
        for (int i = 0; i < Step; ++i) {
            for (int channel = 0; channel < channels; ++channel)
                frame[channel] = outputs[std::size_t(channel) * Step + i];
            appendFrame(frame);
        }
        m_nextIndex += Step; // 1024 collected, 960 stepped back
    }
}
