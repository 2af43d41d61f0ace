#pragma once

#include <string>

class TAcqDriver;

// Told by the driver, in the GUI thread, about acquisition events. The
// acquisition analysis pipeline and the acquisition test of the
// configuration dialog implement it.
class TAcqListener
{
public:
    virtual ~TAcqListener() = default;
    // A block was appended to the driver's sink.
    virtual void onAcqData(TAcqDriver* driver) = 0;
    // The source reported a pacemaker pulse at this sample offset.
    virtual void onAcqPacemaker(TAcqDriver* driver, int sampleOffset) = 0;
    // Acquisition ended with a failure; the message is the source's error
    // text in 8-bit (local) encoding.
    virtual void onAcqError(TAcqDriver* driver, const std::string& message) = 0;
    // The source's stream was interrupted (the source failed and was
    // started again): the next block does not follow the last one, and
    // about `lostFrames` frames were lost between them. Nothing by default.
    virtual void onAcqGap(TAcqDriver* /*driver*/, int /*lostFrames*/) {}
};
