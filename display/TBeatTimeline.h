#pragma once

class TBeatsFile;

// Look-ups by time in a beats file, whose beats follow each other in the
// order of their QRS times.
class TBeatTimeline
{
public:
    TBeatTimeline() = delete;

    // The first beat whose QRS time is at or after `seconds`; -1 when none.
    static int firstAtOrAfter(const TBeatsFile& beats, double seconds);
    // The last beat whose QRS time is before `seconds`; -1 when none.
    static int lastBefore(const TBeatsFile& beats, double seconds);
};
