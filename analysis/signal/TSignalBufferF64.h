#pragma once

#include "analysis/signal/TSignalRingBuffer.h"

// Ring signal of doubles (storage width 64), for stages whose output keeps
// fractions (floating-point filters, wavelet scales). Integer reads truncate
// toward zero.
class TSignalBufferF64 final : public TSignalRingBuffer<double>
{
public:
    TSignalBufferF64(int channelCount, int samplingRate, int blockSize, int capacity);
};
