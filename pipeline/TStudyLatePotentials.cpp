#include "pipeline/TStudyLatePotentials.h"

#include "analysis/beats/TBeat.h"
#include "analysis/signal/TElectrodeOff.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "pipeline/TReviewAnalysis.h"
#include "storage/TBeatsFile.h"
#include "storage/TStudy.h"

#include <vector>

namespace TStudyLatePotentials {

QStringList electrodesOff(const TStudy& study)
{
    const std::vector<TElectrodeOff::Interval> intervals = TElectrodeOff::of(study.results());
    if (intervals.empty() || study.beatsFile() == nullptr)
        return QStringList();
    std::vector<double> times;
    TBeat beat;
    for (int index = 0; study.beatsFile()->read(index, beat); ++index) {
        if (beat.isValid() && TLiveBeatAverager::hasRegularRr(beat))
            times.push_back(beat.value(TBeat::QrsTime));
    }
    return TElectrodeOff::offDuring(intervals, times);
}

TLatePotentialsAssessment assess(const TStudy& study, const TLatePotentials& shown,
                                 const TLatePotentialsAssessment::Limits& limits)
{
    return TLatePotentialsAssessment::assessStandard(
        shown, TReviewAnalysis::latePotentialLimitsByHand(study.results()), limits, electrodesOff(study));
}

} // namespace TStudyLatePotentials
