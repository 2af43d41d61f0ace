#include "display/TBeatTimeline.h"

#include "analysis/beats/TBeat.h"
#include "storage/TBeatsFile.h"

namespace {

// The number of beats whose QRS time is before `seconds` (a beat that
// cannot be read counts as later).
int countBefore(const TBeatsFile& beats, double seconds)
{
    int low = 0, high = beats.count();
    TBeat beat;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (beats.read(middle, beat) && beat.value(TBeat::QrsTime) < seconds)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

} // namespace

int TBeatTimeline::firstAtOrAfter(const TBeatsFile& beats, double seconds)
{
    const int index = countBefore(beats, seconds);
    return index < beats.count() ? index : -1;
}

int TBeatTimeline::lastBefore(const TBeatsFile& beats, double seconds)
{
    return countBefore(beats, seconds) - 1;
}
