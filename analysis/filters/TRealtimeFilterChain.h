#pragma once

#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/signal/TSignalProcessor.h"

#include <QString>

#include <memory>
#include <vector>

// The streaming filter chain of acquisition (display and recording chains).
// Set the names first (defaults: notch "50hz", low-pass "40hz", baseline
// mode "fir"), then configure(notch, low-pass, baseline). Configuring
// discards the old stages and builds, in this order, each stage writing to
// a new TSignalBuffer16 (the input's block size, a capacity of 100 blocks,
// the input's channel count, rate, resolution, range and names) and
// attached at its own input's current appended count:
//   1. at an input rate of 500 Hz, the 1501-tap baseline FIR, whatever the
//      switches;
//   2. notch on: the "50hz" or "60hz" notch FIR of the rate; another name,
//      or a rate other than 250, 500 and 1000 Hz, adds no stage;
//   3. low-pass on: the table TFirTables::lowPass(name, rate); a name or
//      rate without a table gives a stage that passes the signal through
//      unchanged;
//   4. baseline on: mode "fir" the baseline FIR of the rate (a pass-through
//      stage at other rates), mode "fft" a TFftBaselineFilter, any other
//      mode no stage.
// The output is the last stage's signal, or the input when no stage was
// added. process() runs the stages in order.
class TRealtimeFilterChain
{
public:
    static constexpr int StageCapacityBlocks = 100;

    explicit TRealtimeFilterChain(TSignal* input);
    ~TRealtimeFilterChain();
    TRealtimeFilterChain(const TRealtimeFilterChain&) = delete;
    TRealtimeFilterChain& operator=(const TRealtimeFilterChain&) = delete;

    void setNotchName(const QString& name) { m_notchName = name; }
    void setLowPassName(const QString& name) { m_lowPassName = name; }
    void setBaselineMode(const QString& mode) { m_baselineMode = mode; }
    const QString& notchName() const { return m_notchName; }
    const QString& lowPassName() const { return m_lowPassName; }
    const QString& baselineMode() const { return m_baselineMode; }

    void configure(bool notch, bool lowPass, bool baseline);
    void process();

    TSignal* input() const { return m_input; }
    TSignal* output() const;
    int stageCount() const { return int(m_stages.size()); }
    TSignalProcessor* stage(int index) const { return m_stages[std::size_t(index)].get(); }

private:
    void addStage(std::unique_ptr<TSignalProcessor> stage);
    void clear();

    TSignal* m_input;
    QString m_notchName = QStringLiteral("50hz");
    QString m_lowPassName = QStringLiteral("40hz");
    QString m_baselineMode = QStringLiteral("fir");
    std::vector<std::unique_ptr<TSignalBuffer16>> m_signals;
    std::vector<std::unique_ptr<TSignalProcessor>> m_stages;
};

// A TSignalBuffer16 shaped like `like` (channel count, rate, block size,
// resolution, range, names) with a capacity of `blocks` blocks; a positive
// `samplingRate` replaces the rate (a decimated copy).
std::unique_ptr<TSignalBuffer16> makeSignalLike(const TSignal& like, int blocks, int samplingRate = 0);
