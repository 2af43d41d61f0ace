#include "analysis/signal/TSignalBuffer16.h"

TSignalBuffer16::TSignalBuffer16(int channelCount, int samplingRate, int blockSize, int capacity)
    : TSignalRingBuffer<qint16>(channelCount, samplingRate, blockSize, capacity)
{
}
