#include "analysis/filters/TMonitorLowPass.h"

#include "analysis/filters/TFirTables.h"
#include "analysis/filters/TRealtimeFilterChain.h"

TMonitorLowPass::TMonitorLowPass(TSignal* raw)
    : m_output(makeSignalLike(*raw, CapacityBlocks))
    , m_stage(TFirTables::monitorLowPass(raw->samplingRate()))
{
    m_stage.setSink(m_output.get());
    m_stage.attach(raw, 0);
}
