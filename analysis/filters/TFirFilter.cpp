#include "analysis/filters/TFirFilter.h"

#include "analysis/signal/TSampleConversion.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <utility>

namespace {

// Outputs computed per run; bounds the window buffer for long catch-ups.
constexpr int RunLength = 4096;

// The identity table stands in for "no taps".
std::vector<double> tapsOrIdentity(std::vector<double> taps)
{
    if (taps.empty())
        taps.push_back(1.0);
    return taps;
}

} // namespace

TFirStage::TFirStage(const TFirTable& table)
    : TFirStage(table.taps())
{
}

TFirStage::TFirStage(std::vector<double> taps)
    : m_taps(tapsOrIdentity(std::move(taps)))
    , m_delay(int(m_taps.size()) / 2)
    , m_kernel(m_taps)
{
}

template <typename Emit>
void TFirStage::produce(Emit emit)
{
    if (m_source == nullptr || m_sink == nullptr)
        return;
    const int channels = m_source->channelCount();
    if (int(m_taps.size()) >= PartitionedTaps && !m_partitioned)
        m_partitioned = std::make_unique<TPartitionedFir>(m_taps, m_delay, channels);
    const int step = m_partitioned ? TPartitionedFir::Block : 1;
    int end = m_source->appendedCount() - m_delay; // outputs p < end
    end = m_nextIndex + std::max(0, end - m_nextIndex) / step * step;
    while (m_nextIndex < end) {
        const int count = std::min(end - m_nextIndex, RunLength);
        if (int(m_outputs.size()) < channels * count)
            m_outputs.resize(std::size_t(channels) * RunLength);
        if (m_partitioned)
            computePartitioned(count);
        else
            computeDirect(count, channels);
        m_nextIndex += count;
        emit(m_outputs.data(), channels, count);
    }
}

void TFirStage::computeDirect(int count, int channels)
{
    const int length = int(m_taps.size());
    const int span = count + length - 1;
    if (int(m_window.size()) < span)
        m_window.resize(std::size_t(span));
    const int first = m_nextIndex + m_delay - (length - 1);
    for (int channel = 0; channel < channels; ++channel) {
        m_source->readRange(channel, first, span, m_window.data());
        m_kernel.run(m_window.data(), count, m_outputs.data() + std::size_t(channel) * count);
    }
}

// `count` is a whole number of blocks (RunLength is one too).
void TFirStage::computePartitioned(int count)
{
    for (int block = 0; block < count; block += TPartitionedFir::Block)
        m_partitioned->step(*m_source, m_nextIndex + block, m_outputs.data() + block, count);
}

TFirFilter::TFirFilter(const TFirTable& table)
    : TFirStage(table)
{
}

TFirFilter::TFirFilter(std::vector<double> taps)
    : TFirStage(std::move(taps))
{
}

void TFirFilter::process()
{
    produce([this](const double* outputs, int channels, int count) {
        const std::size_t values = std::size_t(channels) * std::size_t(count);
        if (m_samples.size() < values)
            m_samples.resize(values);
        std::transform(outputs, outputs + values, m_samples.begin(), toSample16);
        appendRun(m_samples.data(), count);
    });
}

TFirFilterF64::TFirFilterF64(const TFirTable& table)
    : TFirStage(table)
{
}

TFirFilterF64::TFirFilterF64(std::vector<double> taps)
    : TFirStage(std::move(taps))
{
}

void TFirFilterF64::process()
{
    produce([this](const double* outputs, int, int count) { appendRun(outputs, count); });
}
