#pragma once

#include <QtGlobal>

class TSignal;

// A streaming stage: reads a growing source signal and appends what it
// produces to a sink signal in order, frame after frame (a frame is a
// sample of every channel), a single frame or a run of frames per append.
// Each stage keeps its own next output index; stages chain by using
// one stage's sink as the next stage's source.
class TSignalProcessor
{
public:
    TSignalProcessor() = default;
    TSignalProcessor(const TSignalProcessor&) = delete;
    TSignalProcessor& operator=(const TSignalProcessor&) = delete;

    virtual ~TSignalProcessor();
    // Reads `source` from `startIndex` on: a stage added to a running source
    // starts at its appended count, one created with its source at 0.
    virtual void attach(TSignal* source, int startIndex);
    // Produces everything the source now allows and appends it to the sink.
    virtual void process() = 0;

    void setSink(TSignal* sink) { m_sink = sink; }
    TSignal* source() const { return m_source; }
    TSignal* sink() const { return m_sink; }
    int nextIndex() const { return m_nextIndex; }

protected:
    // Append one frame, values[c] for channel c, to the sink.
    void appendFrame(const qint16* values);
    void appendFrame(const double* values);
    // Append a run of `count` frames held channel by channel (values[c *
    // count + j] is frame j of channel c) to the sink in one append.
    void appendRun(const qint16* values, int count);
    void appendRun(const double* values, int count);

    TSignal* m_source = nullptr;
    TSignal* m_sink = nullptr;
    int m_nextIndex = 0;
};
