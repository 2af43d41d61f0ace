#include "analysis/signal/TSignalRingBuffer.h"

#include "analysis/signal/TSampleConversion.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace {

template <typename To>
To convertSample(qint16 value)
{
    return static_cast<To>(value);
}

template <typename To>
To convertSample(double value);

template <>
qint16 convertSample<qint16>(double value)
{
    return toSample16(value);
}

template <>
int convertSample<int>(double value)
{
    return toSampleInt(value);
}

template <typename From, typename To>
void copyConverted(const From* src, To* dst, int count)
{
    if constexpr (std::is_same_v<From, To>) {
        if (count > 0)
            std::memcpy(dst, src, static_cast<std::size_t>(count) * sizeof(To));
    } else {
        for (int i = 0; i < count; ++i)
            dst[i] = convertSample<To>(src[i]);
    }
}

} // namespace

template <typename T>
TSignalRingBuffer<T>::TSignalRingBuffer(int channelCount, int samplingRate, int blockSize, int capacity)
    : TSignal(channelCount, samplingRate, blockSize, int(8 * sizeof(T)))
    , m_capacity(capacity)
{
    if (capacity < 1)
        throw std::invalid_argument("Signal ring capacity must be positive");
    m_samples.assign(static_cast<std::size_t>(channelCount) * capacity, T(0));
}

// Calls segment(slot, offset, length) for the at most two pieces into which
// `length` consecutive ring slots starting at `slot` split at the ring end;
// `offset` counts from the first piece.
template <typename T>
template <typename Segment>
void TSignalRingBuffer<T>::forEachSegment(int slot, int length, Segment segment) const
{
    const int head = std::min(length, m_capacity - slot);
    segment(slot, 0, head);
    if (head < length)
        segment(0, head, length - head);
}

template <typename T>
int TSignalRingBuffer<T>::sample(int channel, int index) const
{
    const int appended = appendedCount();
    if (!hasChannel(channel) || index < 0 || index >= appended || index < appended - m_capacity)
        return 0;
    return convertSample<int>(ring(channel)[index % m_capacity]);
}

template <typename T>
template <typename Target>
void TSignalRingBuffer<T>::copyOut(int channel, int start, int count, Target* dst) const
{
    if (count <= 0)
        return;
    const qint64 appended = appendedCount();
    const qint64 end = qint64(start) + count;
    const qint64 from = std::max<qint64>({qint64(start), appended - m_capacity, 0});
    const qint64 to = std::min(end, appended);
    if (!hasChannel(channel) || from >= to) {
        std::fill_n(dst, count, Target(0));
        return;
    }
    const int leading = int(from - start);
    const int kept = int(to - from);
    std::fill_n(dst, leading, Target(0));
    const T* samples = ring(channel);
    Target* out = dst + leading;
    forEachSegment(int(from % m_capacity), kept, [&](int slot, int offset, int length) {
        copyConverted(samples + slot, out + offset, length);
    });
    std::fill_n(dst + leading + kept, int(end - to), Target(0));
}

template <typename T>
void TSignalRingBuffer<T>::readRange(int channel, int start, int count, double* dst) const
{
    copyOut(channel, start, count, dst);
}

template <typename T>
qint16* TSignalRingBuffer<T>::readBlock(int channel, int blockNumber) const
{
    if (!hasChannel(channel) || blockNumber < 0 || blockNumber >= completeBlockCount())
        return nullptr;
    qint16* block = new qint16[blockSize()];
    copyOut(channel, blockNumber * blockSize(), blockSize(), block);
    return block;
}

template <typename T>
void TSignalRingBuffer<T>::releaseBlock(qint16* block) const
{
    delete[] block;
}

// Of an append longer than the ring, only the newest `capacity` samples
// are written; they land where they would have after writing all of them.
// Returns how many leading samples are skipped and where the first written
// one goes.
template <typename T>
std::pair<int, int> TSignalRingBuffer<T>::planWrite(int count) const
{
    const int skipped = std::max(0, count - m_capacity);
    return {skipped, int((qint64(appendedCount()) + skipped) % m_capacity)};
}

template <typename T>
template <typename Source>
void TSignalRingBuffer<T>::appendChannels(const Source* const* channels, int count)
{
    if (count <= 0)
        return;
    const auto [skipped, slot] = planWrite(count);
    for (int channel = 0; channel < channelCount(); ++channel) {
        const Source* src = channels[channel] + skipped;
        T* samples = ring(channel);
        forEachSegment(slot, count - skipped, [&](int at, int offset, int length) {
            copyConverted(src + offset, samples + at, length);
        });
    }
    setAppendedCount(appendedCount() + count);
    notifyListeners();
}

template <typename T>
void TSignalRingBuffer<T>::append(const qint16* const* channels, int count)
{
    appendChannels(channels, count);
}

template <typename T>
void TSignalRingBuffer<T>::append(const double* const* channels, int count)
{
    appendChannels(channels, count);
}

template <typename T>
void TSignalRingBuffer<T>::appendInterleaved(const char* bytes, int length)
{
    const int channels = channelCount();
    const int frameBytes = 2 * channels;
    const int frames = std::max(0, length) / frameBytes;
    if (frames == 0)
        return;
    const auto [skipped, slot] = planWrite(frames);
    T* rings[MaxChannels];
    for (int channel = 0; channel < channels; ++channel)
        rings[channel] = ring(channel);
    const uchar* frame = reinterpret_cast<const uchar*>(bytes) + std::size_t(skipped) * frameBytes;
    forEachSegment(slot, frames - skipped, [&](int at, int, int length) {
        for (int i = at; i < at + length; ++i, frame += frameBytes) {
            for (int channel = 0; channel < channels; ++channel)
                rings[channel][i] = convertSample<T>(qFromLittleEndian<qint16>(frame + 2 * channel));
        }
    });
    setAppendedCount(appendedCount() + frames);
    notifyListeners();
}

template class TSignalRingBuffer<qint16>;
template class TSignalRingBuffer<double>;
