#include "analysis/filters/TBlockMeanDecimator.h"

#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr int RunLength = 4096; // outputs per range read

} // namespace

TBlockMeanDecimator::TBlockMeanDecimator(int factor)
    : m_factor(factor)
{
    if (factor < 1)
        throw std::invalid_argument("Decimation factor must be positive");
}

void TBlockMeanDecimator::process()
{
    if (m_source == nullptr || m_sink == nullptr)
        return;
    const int available = m_source->appendedCount();
    const int channels = m_source->channelCount();
    while (m_nextIndex + m_factor < available) {
        // Outputs p, p + N, ... while p + N < available.
        const int count = std::min((available - 1 - m_nextIndex) / m_factor, RunLength);
        const int span = count * m_factor;
        if (int(m_window.size()) < channels * span)
            m_window.resize(std::size_t(channels) * span);
        if (m_samples.size() < std::size_t(channels) * count)
            m_samples.resize(std::size_t(channels) * count);
        for (int channel = 0; channel < channels; ++channel) {
            m_source->readRange(channel, m_nextIndex, span, m_window.data() + std::size_t(channel) * span);
            qint16* out = m_samples.data() + std::size_t(channel) * count;
            for (int j = 0; j < count; ++j) {
                const double* x = m_window.data() + std::size_t(channel) * span + std::size_t(j) * m_factor;
                qint64 sum = 0;
                for (int i = 0; i < m_factor; ++i)
                    sum += qint64(x[i]);
                out[j] = qint16(sum / m_factor); // integer division truncates toward zero
            }
        }
        appendRun(m_samples.data(), count);
        m_nextIndex += span;
    }
}
