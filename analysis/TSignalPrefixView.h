#pragma once

#include "analysis/TSignal.h"

// A read-only view of the first samples of another signal: the same
// channels, names, rate, block size, resolution and range, and an appended
// count that the owner moves forward, never beyond what the source holds.
// Samples at or beyond the view's length read as 0. Streaming stages
// attached to a view compute exactly as far as its owner allows, however
// much the source already holds.
class TSignalPrefixView final : public TSignal
{
public:
    explicit TSignalPrefixView(const TSignal& source);

    // Moves the end of the view to `length`, clamped to the source's appended
    // count; the view never shrinks.
    void setLength(int length);

    int sample(int channel, int index) const override;
    void readRange(int channel, int start, int count, double* dst) const override;
    qint16* readBlock(int channel, int blockNumber) const override;
    void releaseBlock(qint16* block) const override;

private:
    const TSignal& m_source;
};
