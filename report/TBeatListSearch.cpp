#include "report/TBeatListSearch.h"

#include "analysis/beats/TBeat.h"
#include "storage/TBeatsFile.h"

int firstBeatFrom(const TBeatsFile& beats, double seconds)
{
    int low = 0;
    int high = beats.count();
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
