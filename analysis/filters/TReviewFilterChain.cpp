#include "analysis/filters/TReviewFilterChain.h"

#include "analysis/filters/TFirBlockFilter.h"
#include "analysis/filters/TFirTables.h"
#include "analysis/filters/TIirBlockFilter.h"
#include "analysis/filters/TIirCoefficients.h"

#include "analysis/signal/TSignalBlock.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

TReviewFilterChain::TReviewFilterChain(TSignal* source)
    : m_source(source)
{
}

TReviewFilterChain::~TReviewFilterChain()
{
    clear();
}

void TReviewFilterChain::clear()
{
    // Later views listen to earlier ones: drop them newest first.
    while (!m_views.empty())
        m_views.pop_back();
}

TSignal* TReviewFilterChain::output() const
{
    return m_views.empty() ? m_source : m_views.back().get();
}

void TReviewFilterChain::addView(std::unique_ptr<TBlockFilter> filter)
{
    m_views.push_back(std::make_unique<TFilteredSignalView>(output(), std::move(filter)));
}

TTrendBlockFilter::Quadratic TReviewFilterChain::fitTrend(const TSignal& source, int channel)
{
    const int window = source.timeToSamples(3.0);
    const int count = source.appendedCount();
    if (window <= 0)
        return {};
    std::vector<double> values(static_cast<std::size_t>(window));
    auto mean = [&](int start) {
        source.readRange(channel, start, window, values.data());
        double sum = 0.0;
        for (double v : values)
            sum += v;
        return sum / window;
    };
    const double first = mean(0);
    const double last = mean(count - window);
    const int x1 = window / 2;
    const int x2 = count / 2;
    const int x3 = count - window / 2;
    return TTrendBlockFilter::fitThroughPoints(x1, first, x2, (first + last) / 2.0, x3, last);
}

void TReviewFilterChain::configure(bool notch, bool lowPass, bool secondHighPass)
{
    clear();
    const int rate = m_source->samplingRate();

    auto trend = std::make_unique<TTrendBlockFilter>();
    for (int channel = 0; channel < m_source->channelCount(); ++channel)
        trend->setTrend(channel, fitTrend(*m_source, channel));
    addView(std::move(trend));

    if (const TIirSet* set = TIirCoefficients::baselineHighPass(rate))
        addView(std::make_unique<TIirBlockFilter>(*set));

    if (notch && (rate == 500 || rate == 1000)) {
        if (m_notchName != QLatin1String("50hz"))
            throw std::runtime_error(UndefinedFilterText);
        addView(std::make_unique<TIirBlockFilter>(*TIirCoefficients::notch50Hz(rate)));
    }

    if (lowPass)
        addView(std::make_unique<TFirBlockFilter>(TFirTables::lowPass(m_lowPassName, rate)));

    if (secondHighPass) {
        if (const TIirSet* set = TIirCoefficients::secondHighPass(rate))
            addView(std::make_unique<TIirBlockFilter>(*set));
    }
}

namespace {

// One channel through the views' filters, block by block, each filter on
// the whole output of the one before: what the views would compute.
std::vector<qint16> filterChannel(const std::vector<const TBlockFilter*>& filters, std::vector<qint16> samples,
                                  int channel, int blocks, int n, int appendedCount)
{
    std::vector<qint16> output(samples.size());
    for (const TBlockFilter* filter : filters) {
        filter->filterBlocks(channel, samples.data(), blocks, n, appendedCount, output.data());
        std::swap(samples, output);
    }
    return samples;
}

} // namespace

std::unique_ptr<TSignalBuffer16> TReviewFilterChain::materialize() const
{
    const TSignal& out = *output();
    const int channels = out.channelCount();
    const int n = out.blockSize();
    const int blocks = out.completeBlockCount();
    const int count = out.appendedCount();
    std::vector<std::vector<qint16>> samples(std::size_t(channels), std::vector<qint16>(std::size_t(blocks) * n));
    // The recording is read in this thread, a file-backed signal not being
    // shared, block by block with every channel of a block together, as a
    // file stores them.
    for (int block = 0; block < blocks; ++block) {
        for (int channel = 0; channel < channels; ++channel) {
            const TSignalBlock data(*m_source, channel, block);
            if (!data.isNull())
                std::copy_n(data.data(), n, samples[std::size_t(channel)].begin() + std::ptrdiff_t(block) * n);
        }
    }
    std::vector<const TBlockFilter*> filters;
    for (const auto& view : m_views)
        filters.push_back(&view->filter());
    // Every view (trend removal, IIR and FIR filters: linear, without
    // offset) keeps a silent channel silent, as a lead a record lacks is.
    const auto silent = [](const std::vector<qint16>& values) {
        return std::all_of(values.begin(), values.end(), [](qint16 v) { return v == 0; });
    };
    std::atomic<int> nextChannel{0};
    const auto work = [&] {
        for (int channel = nextChannel++; channel < channels; channel = nextChannel++) {
            std::vector<qint16>& values = samples[std::size_t(channel)];
            if (!silent(values))
                values = filterChannel(filters, std::move(values), channel, blocks, n, count);
        }
    };
    std::vector<std::thread> workers(std::max(1u, std::thread::hardware_concurrency()) - 1);
    for (std::thread& worker : workers)
        worker = std::thread(work);
    work();
    for (std::thread& worker : workers)
        worker.join();

    auto signal = std::make_unique<TSignalBuffer16>(channels, out.samplingRate(), n, std::max(count, 1));
    signal->setResolutionBits(out.resolutionBits());
    signal->setRange(out.rangeMinimum(), out.rangeMaximum());
    for (int channel = 0; channel < channels; ++channel)
        signal->setChannelName(channel, out.channelName(channel));
    // Past the complete blocks the views read zeros.
    std::vector<const qint16*> pointers;
    for (auto& channel : samples) {
        channel.resize(std::max(channel.size(), std::size_t(count)), 0);
        pointers.push_back(channel.data());
    }
    signal->append(pointers.data(), count);
    return signal;
}
