#pragma once

#include "analysis/signal/TSignalChannel.h"

#include <QtGlobal>

#include <vector>

class TSignal;

// Told after every append to the signal it is registered with.
class TSignalListener
{
public:
    virtual ~TSignalListener() = default;
    virtual void signalAppended(TSignal* signal) = 0;
};

// Multi-channel sample store shared by acquisition, analysis, display and
// files. Sample indices are absolute: 0 is the first sample ever appended,
// and the appended count only grows. Concrete signals decide how much of
// the past they keep; whatever they no longer keep reads as 0.
class TSignal
{
public:
    static constexpr int MaxChannels = 16;
    static constexpr int DefaultResolutionBits = 16;

    TSignal(const TSignal&) = delete;
    TSignal& operator=(const TSignal&) = delete;

    // One sample as an integer count; 0 outside what the signal holds.
    virtual int sample(int channel, int index) const = 0;
    // Copies samples [start, start + count) of a channel into dst.
    virtual void readRange(int channel, int start, int count, double* dst) const = 0;
    // A block of blockSize() samples (block b covers [b * blockSize,
    // (b + 1) * blockSize)), or nullptr when b is not below the complete
    // block count. Every block returned must go back through releaseBlock.
    virtual qint16* readBlock(int channel, int blockNumber) const = 0;
    virtual void releaseBlock(qint16* block) const = 0;
    virtual ~TSignal();
    // Frames of one little-endian 16-bit sample per channel, in channel order.
    virtual void appendInterleaved(const char* bytes, int length);
    // `count` samples per channel, one array per channel.
    virtual void append(const qint16* const* channels, int count);
    virtual void append(const double* const* channels, int count);

    int channelCount() const { return m_channelCount; }
    TSignalChannel& channel(int index) { return m_channels[index]; }
    const TSignalChannel& channel(int index) const { return m_channels[index]; }
    QString channelName(int index) const;
    void setChannelName(int index, const QString& name);

    int blockSize() const { return m_blockSize; }
    int completeBlockCount() const { return m_completeBlockCount; }
    int appendedCount() const { return m_appendedCount; }
    int samplingRate() const { return m_samplingRate; }
    int storageWidth() const { return m_storageWidth; }
    // Seconds to samples, rounded to the nearest sample.
    int timeToSamples(double seconds) const;

    int resolutionBits() const { return m_resolutionBits; }
    void setResolutionBits(int bits);
    double rangeMinimum() const { return m_rangeMinimum; }
    double rangeMaximum() const { return m_rangeMaximum; }
    void setRange(double minimum, double maximum);
    // Size of one count: (maximum - minimum) / 2^resolution bits.
    double lsb() const { return m_lsb; }

    // Listeners are told in the order they were added; adding one twice
    // has no effect. The list must not change while listeners are told.
    void addListener(TSignalListener* listener);
    void removeListener(TSignalListener* listener);

protected:
    // Channels are named in lead order as far as the lead list reaches.
    // Throws std::invalid_argument for a channel count outside 1..16 or a
    // block size below 1.
    TSignal(int channelCount, int samplingRate, int blockSize, int storageWidth);

    // Sets the appended count and recomputes the complete block count.
    void setAppendedCount(int count);
    // For signals whose last, partial block is nevertheless final and
    // readable (a closed recording): counts it among the complete blocks.
    void setCompleteBlockCount(int count);
    void notifyListeners();

private:
    void updateLsb();

    int m_channelCount;
    std::vector<TSignalChannel> m_channels;
    int m_blockSize;
    int m_completeBlockCount = 0;
    int m_appendedCount = 0;
    int m_samplingRate;
    int m_storageWidth;
    int m_resolutionBits = DefaultResolutionBits;
    double m_rangeMinimum = -1.0;
    double m_rangeMaximum = 1.0;
    double m_lsb = 0.0;
    std::vector<TSignalListener*> m_listeners;
};
