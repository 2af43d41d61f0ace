#include "pipeline/TLatePotentialLimits.h"

#include "settings/TSettings.h"

namespace TLatePotentialLimits {

TLatePotentialsAssessment::Limits fromSettings()
{
    TLatePotentialsAssessment::Limits limits;
    limits.noiseMicrovolts = TSettings::number(TSettings::LatePotentialsNoiseLimit);
    limits.minimumBeats = TSettings::whole(TSettings::LatePotentialsMinimumBeats);
    return limits;
}

} // namespace TLatePotentialLimits
