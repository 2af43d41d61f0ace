#include "analysis/signal/TAnalysisConstants.h"

namespace {

double lowBatteryVolts = TAnalysisConstants::DefaultLowBatteryThreshold;

} // namespace

double TAnalysisConstants::lowBatteryThreshold()
{
    return lowBatteryVolts;
}

void TAnalysisConstants::setLowBatteryThreshold(double volts)
{
    if (volts > 0.0)
        lowBatteryVolts = volts;
}
