#include "analysis/filters/TRealtimeFilterChain.h"

#include "analysis/filters/TFftBaselineFilter.h"
#include "analysis/filters/TFirFilter.h"
#include "analysis/filters/TFirTables.h"

std::unique_ptr<TSignalBuffer16> makeSignalLike(const TSignal& like, int blocks, int samplingRate)
{
    const int rate = samplingRate > 0 ? samplingRate : like.samplingRate();
    auto signal = std::make_unique<TSignalBuffer16>(like.channelCount(), rate, like.blockSize(),
                                                    blocks * like.blockSize());
    signal->setResolutionBits(like.resolutionBits());
    signal->setRange(like.rangeMinimum(), like.rangeMaximum());
    for (int channel = 0; channel < like.channelCount(); ++channel)
        signal->setChannelName(channel, like.channelName(channel));
    return signal;
}

TRealtimeFilterChain::TRealtimeFilterChain(TSignal* input)
    : m_input(input)
{
}

TRealtimeFilterChain::~TRealtimeFilterChain()
{
    clear();
}

void TRealtimeFilterChain::clear()
{
    m_stages.clear();
    m_signals.clear();
}

TSignal* TRealtimeFilterChain::output() const
{
    return m_signals.empty() ? m_input : m_signals.back().get();
}

void TRealtimeFilterChain::addStage(std::unique_ptr<TSignalProcessor> stage)
{
    TSignal* stageInput = output();
    m_signals.push_back(makeSignalLike(*stageInput, StageCapacityBlocks));
    stage->setSink(m_signals.back().get());
    stage->attach(stageInput, stageInput->appendedCount());
    m_stages.push_back(std::move(stage));
}

void TRealtimeFilterChain::configure(bool notch, bool lowPass, bool baseline)
{
    clear();
    const int rate = m_input->samplingRate();
    if (rate == 500)
        addStage(std::make_unique<TFirFilter>(TFirTables::displayBaseline()));
    if (notch) {
        const TFirTable& table = TFirTables::notch(m_notchName, rate);
        if (!table.isEmpty())
            addStage(std::make_unique<TFirFilter>(table));
    }
    if (lowPass)
        addStage(std::make_unique<TFirFilter>(TFirTables::lowPass(m_lowPassName, rate)));
    if (baseline) {
        if (m_baselineMode == QLatin1String("fir"))
            addStage(std::make_unique<TFirFilter>(TFirTables::baseline(rate)));
        else if (m_baselineMode == QLatin1String("fft"))
            addStage(std::make_unique<TFftBaselineFilter>());
    }
}

void TRealtimeFilterChain::process()
{
    for (const auto& stage : m_stages)
        stage->process();
}
