#pragma once

#include "analysis/signal/TSignalRingBuffer.h"

// Ring signal of 16-bit counts (storage width 16): the raw acquired signal
// and the output of the integer filter stages.
class TSignalBuffer16 final : public TSignalRingBuffer<qint16>
{
public:
    TSignalBuffer16(int channelCount, int samplingRate, int blockSize, int capacity);
};
