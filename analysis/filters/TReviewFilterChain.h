#pragma once

#include "analysis/filters/TFilteredSignalView.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/filters/TTrendBlockFilter.h"

#include <QString>

#include <memory>
#include <vector>

// The review filter chain: views over a recorded signal. Set the names
// first (defaults: notch "50hz", low-pass "40hz"), then
// configure(notch, low-pass, second high-pass). Configuring discards the
// old views and builds, in this order:
//   1. trend removal (always): with W = round(3 s x rate) and N the
//      source's appended count, the means of the first W and of the last W
//      samples of each channel, and the quadratic through (W/2, first mean),
//      (N/2, mean of both) and (N - W/2, last mean) (integer halves),
//      subtracted by a TTrendBlockFilter view;
//   2. at 500 or 1000 Hz, the baseline high-pass IIR of the rate (always);
//   3. notch on: at 500 or 1000 Hz the notch name must be "50hz", else
//      configuration stops by throwing std::runtime_error with the text
//      "pendiente - filtro no definido", keeping the views built so far;
//      the 50 Hz IIR notch of the rate; nothing at other rates;
//   4. low-pass on: a TFirBlockFilter with TFirTables::lowPass(name, rate)
//      (passing the signal through where that gives no table);
//   5. second high-pass on: the second high-pass IIR of the rate (500 or
//      1000 Hz; nothing at other rates).
// Every IIR runs forward and backward, one pass. The output is the last view.
class TReviewFilterChain
{
public:
    static constexpr const char* UndefinedFilterText = "pendiente - filtro no definido";

    explicit TReviewFilterChain(TSignal* source);
    ~TReviewFilterChain();
    TReviewFilterChain(const TReviewFilterChain&) = delete;
    TReviewFilterChain& operator=(const TReviewFilterChain&) = delete;

    void setNotchName(const QString& name) { m_notchName = name; }
    void setLowPassName(const QString& name) { m_lowPassName = name; }
    const QString& notchName() const { return m_notchName; }
    const QString& lowPassName() const { return m_lowPassName; }

    void configure(bool notch, bool lowPass, bool secondHighPass);

    TSignal* source() const { return m_source; }
    // The last view (the source itself before the first configure).
    TSignal* output() const;
    int viewCount() const { return int(m_views.size()); }
    TFilteredSignalView* view(int index) const { return m_views[std::size_t(index)].get(); }

    // The output computed for every channel at once, the channels shared
    // among the processor's cores, into a signal held in memory: the same
    // samples the last view gives (its appended count, zeros past its
    // complete blocks), without the views' block cache. For a whole-study
    // analysis, which reads every block of every channel.
    std::unique_ptr<TSignalBuffer16> materialize() const;

    // The trend fitted to each channel of `source` (step 1).
    static TTrendBlockFilter::Quadratic fitTrend(const TSignal& source, int channel);

private:
    void addView(std::unique_ptr<TBlockFilter> filter);
    void clear();

    TSignal* m_source;
    QString m_notchName = QStringLiteral("50hz");
    QString m_lowPassName = QStringLiteral("40hz");
    std::vector<std::unique_ptr<TFilteredSignalView>> m_views;
};
