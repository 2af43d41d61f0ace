#include "analysis/filters/TFirDecimator.h"

#include "analysis/filters/TFirTables.h"
#include "analysis/signal/TSampleConversion.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int Delay = 14;
constexpr int RunLength = 4096; // outputs per range read

} // namespace

TFirDecimator::TFirDecimator(int factor)
    : m_factor(factor)
    , m_taps(TFirTables::decimation().taps())
{
    if (factor < 1)
        throw std::invalid_argument("Decimation factor must be positive");
}

void TFirDecimator::process()
{
    if (m_source == nullptr || m_sink == nullptr)
        return;
    const int available = m_source->appendedCount();
    const int channels = m_source->channelCount();
    if (m_factor == 1) {
        const int end = available - (Delay + 1);
        while (m_nextIndex < end) {
            const int count = std::min(end - m_nextIndex, RunLength);
            const std::size_t values = std::size_t(channels) * count;
            if (m_window.size() < values)
                m_window.resize(values);
            if (m_samples.size() < values)
                m_samples.resize(values);
            for (int channel = 0; channel < channels; ++channel)
                m_source->readRange(channel, m_nextIndex, count, m_window.data() + std::size_t(channel) * count);
            std::transform(m_window.begin(), m_window.begin() + std::ptrdiff_t(values), m_samples.begin(),
                           toSample16);
            appendRun(m_samples.data(), count);
            m_nextIndex += count;
        }
        return;
    }
    const int length = int(m_taps.size()); // 29
    const int end = available - Delay - m_factor; // outputs p < end
    while (m_nextIndex < end) {
        const int count = std::min((end - m_nextIndex + m_factor - 1) / m_factor, RunLength);
        // Inputs from p + 14 - 28 up to (p + (count-1) F) + 14.
        const int first = m_nextIndex + Delay - (length - 1);
        const int span = (count - 1) * m_factor + length;
        if (int(m_window.size()) < channels * span)
            m_window.resize(std::size_t(channels) * span);
        if (m_samples.size() < std::size_t(channels) * count)
            m_samples.resize(std::size_t(channels) * count);
        const int pairs = length / 2;
        for (int channel = 0; channel < channels; ++channel) {
            m_source->readRange(channel, first, span, m_window.data() + std::size_t(channel) * span);
            qint16* out = m_samples.data() + std::size_t(channel) * count;
            for (int j = 0; j < count; ++j) {
                // x[p + 14 - k] is window[j F + L - 1 - k]; symmetric taps fold.
                const double* x = m_window.data() + std::size_t(channel) * span + std::size_t(j) * m_factor;
                double sum = m_taps[pairs] * x[pairs];
                for (int k = 0; k < pairs; ++k)
                    sum += m_taps[k] * (x[length - 1 - k] + x[k]);
                out[j] = toSample16(sum);
            }
        }
        appendRun(m_samples.data(), count);
        m_nextIndex += count * m_factor;
    }
}
