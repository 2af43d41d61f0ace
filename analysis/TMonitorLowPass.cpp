#include "analysis/TMonitorLowPass.h"

#include "analysis/TFirTables.h"
#include "analysis/TRealtimeFilterChain.h"

TMonitorLowPass::TMonitorLowPass(TSignal* raw)
    : m_output(makeSignalLike(*raw, CapacityBlocks))
    , m_stage(TFirTables::monitorLowPass(raw->samplingRate()))
{
    m_stage.setSink(m_output.get());
    m_stage.attach(raw, 0);
}
