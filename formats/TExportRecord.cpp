#include "formats/TExportRecord.h"

#include "analysis/beats/TBeat.h"
#include "storage/TBeatsFile.h"

std::vector<TExportBeat> TExportRecord::beatsOf(const TBeatsFile& beats)
{
    std::vector<TExportBeat> result;
    TBeat beat;
    for (int index = 0; beats.read(index, beat); ++index)
        result.push_back({beat.value(TBeat::QrsTime), beat.isValid()});
    return result;
}
