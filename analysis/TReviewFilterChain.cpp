#include "analysis/TReviewFilterChain.h"

#include "analysis/TFirBlockFilter.h"
#include "analysis/TFirTables.h"
#include "analysis/TIirBlockFilter.h"
#include "analysis/TIirCoefficients.h"

#include <stdexcept>
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
