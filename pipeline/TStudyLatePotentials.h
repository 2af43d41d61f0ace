#pragma once

#include "analysis/latepotentials/TLatePotentialsAssessment.h"

#include <QStringList>

class TLatePotentials;
class TStudy;

// The late-potential verdict of a recorded study, the same in the review
// window, the report and the headless analysis: the standard analysis
// beside the one shown, on the QRS limits the study holds by hand, with
// the source leads of electrodes that were off during more than a tenth of
// the beats the averaging takes counted as missing.
namespace TStudyLatePotentials {

// The electrodes off during more than a tenth of the stored beats that can
// be averaged (valid, with a regular RR interval).
QStringList electrodesOff(const TStudy& study);
TLatePotentialsAssessment assess(const TStudy& study, const TLatePotentials& shown,
                                 const TLatePotentialsAssessment::Limits& limits);

} // namespace TStudyLatePotentials
