#include "analysis/signal/TSignalBufferF64.h"

TSignalBufferF64::TSignalBufferF64(int channelCount, int samplingRate, int blockSize, int capacity)
    : TSignalRingBuffer<double>(channelCount, samplingRate, blockSize, capacity)
{
}
