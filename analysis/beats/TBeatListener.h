#pragma once

class TBeat;

// Told of every beat the QRS detector emits, rejected ones (class -1)
// included, in the order of emission.
class TBeatListener
{
public:
    virtual ~TBeatListener() = default;
    virtual void beatDetected(const TBeat& beat) = 0;
};
