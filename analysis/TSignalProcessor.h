#pragma once

#include <QtGlobal>

class TSignal;

// A streaming stage: reads a growing source signal and appends what it
// produces to a sink signal, one frame (a sample of every channel) at a
// time. Each stage keeps its own next output index; stages chain by using
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

    TSignal* m_source = nullptr;
    TSignal* m_sink = nullptr;
    int m_nextIndex = 0;
};
