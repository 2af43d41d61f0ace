#pragma once

#include "analysis/latepotentials/TLatePotentialsAssessment.h"

// The limits a late-potential verdict is held to, as configured: the
// noise at 40 Hz and the beats to average. The review window, the report
// and varor-analyze judge with the same ones.
namespace TLatePotentialLimits {

TLatePotentialsAssessment::Limits fromSettings();

} // namespace TLatePotentialLimits
