#pragma once

#include "analysis/latepotentials/TLatePotentials.h"

class TLiveBeatAverager;

// The noise of the late-potential analysis while a study is recorded,
// measured on the averages so far at 40 Hz as the review will measure it,
// toward a target the operator records for. Averaging N beats of fresh
// noise lowers it as 1/sqrt(N): each time the beats have doubled it should
// have fallen to about 0.71 of what it was. When it has not (the signal
// repeats, as a looping demo recording does, or the noise is not random),
// the reading says so, so that nobody waits for a target that will not
// come.
class TRecordingNoise
{
public:
    // Below this share of the noise at half the beats, it still falls.
    static constexpr double FallingShare = 0.9;

    struct Reading
    {
        double noiseMicrovolts = 0.0;
        int beats = 0;
        bool falling = true;
        bool reached = false;
    };

    explicit TRecordingNoise(const TLiveBeatAverager& averager);

    Reading measure(double targetMicrovolts);

private:
    TLatePotentials m_potentials;
    int m_checkpointBeats = 0;
    double m_checkpointNoise = 0.0;
    bool m_falling = true;
};
