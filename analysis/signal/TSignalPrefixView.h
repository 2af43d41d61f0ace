#pragma once

#include "analysis/signal/TSignal.h"

// A read-only view of the first samples of another signal: the same
// channels, names, rate, block size, resolution and range, and an appended
// count that the owner moves forward, never beyond what the source holds.
// Samples at or beyond the view's length read as 0. Streaming stages
// attached to a view compute exactly as far as its owner allows, however
// much the source already holds.
//
// Once the source has ended, the view may reach past its last sample: the
// samples there repeat the last one, so that filters run to the end of a
// recording see a level continuation instead of a step to 0.
class TSignalPrefixView final : public TSignal
{
public:
    explicit TSignalPrefixView(const TSignal& source);

    // Moves the end of the view to `length`, clamped to the source's appended
    // count; the view never shrinks.
    void setLength(int length);
    // Moves the end of the view to `length`, beyond the source's appended
    // count if need be; the source must not grow afterwards.
    void extendPastEnd(int length);

    int sample(int channel, int index) const override;
    void readRange(int channel, int start, int count, double* dst) const override;
    qint16* readBlock(int channel, int blockNumber) const override;
    void releaseBlock(qint16* block) const override;

private:
    // Samples of the view past the source's end.
    bool isPadded(int index) const { return index >= m_source.appendedCount() && index < appendedCount(); }
    double lastSourceSample(int channel) const;

    const TSignal& m_source;
};
