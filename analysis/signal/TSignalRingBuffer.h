#pragma once

#include "analysis/signal/TSignal.h"

#include <utility>
#include <vector>

// A signal that keeps the newest `capacity` samples of every channel in a
// fixed ring of T (qint16 or double). Sample i lives at ring slot
// i % capacity, so the write position is the appended count modulo the
// capacity. The ring is allocated once; appending never reallocates.
//
// Reads follow one rule: an index below 0, at or beyond the appended count,
// or older than the ring keeps (index < appended - capacity) reads as 0, as
// does any channel outside the signal. Values converted to 16 bits (appends
// of doubles to a 16-bit ring, blocks of a double ring) are truncated toward
// zero and saturate at -32768 and 32767 rather than wrapping.
template <typename T>
class TSignalRingBuffer : public TSignal
{
public:
    int capacity() const { return m_capacity; }
    int writePosition() const { return appendedCount() % m_capacity; }

    int sample(int channel, int index) const override;
    void readRange(int channel, int start, int count, double* dst) const override;
    // A newly allocated block, freed by releaseBlock.
    qint16* readBlock(int channel, int blockNumber) const override;
    void releaseBlock(qint16* block) const override;

    // A trailing partial frame is dropped. Appends of no samples change
    // nothing and tell no listener.
    void appendInterleaved(const char* bytes, int length) override;
    void append(const qint16* const* channels, int count) override;
    void append(const double* const* channels, int count) override;

protected:
    // Throws std::invalid_argument for a capacity below 1 (and as TSignal
    // does for the channel count and block size).
    TSignalRingBuffer(int channelCount, int samplingRate, int blockSize, int capacity);

private:
    std::pair<int, int> planWrite(int count) const;
    template <typename Source>
    void appendChannels(const Source* const* channels, int count);
    template <typename Target>
    void copyOut(int channel, int start, int count, Target* dst) const;
    template <typename Segment>
    void forEachSegment(int slot, int length, Segment segment) const;
    bool hasChannel(int channel) const { return channel >= 0 && channel < channelCount(); }
    T* ring(int channel) { return m_samples.data() + static_cast<std::size_t>(channel) * m_capacity; }
    const T* ring(int channel) const { return m_samples.data() + static_cast<std::size_t>(channel) * m_capacity; }

    int m_capacity;
    std::vector<T> m_samples;
};

extern template class TSignalRingBuffer<qint16>;
extern template class TSignalRingBuffer<double>;
