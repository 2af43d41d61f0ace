#include "storage/TEcgFile.h"
#include "storage/TFileHeaderArea.h"
#include "storage/TPrivateFiles.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace {

// Frames converted and written at a time by the array appends.
constexpr int AppendChunkFrames = 65536;
// Frames split into channels at a time: a tile that stays in the
// first-level cache while each channel's run is written out in order
// (frame by frame, the channel arrays a power of two apart would compete
// for the same cache sets).
constexpr qint64 SplitTileFrames = 256;

// Splits `count` interleaved frames of `channels` little-endian samples
// into channel arrays `stride` samples apart, from position `at` on.
void splitFrames(const char* frames, qint64 count, int channels, qint16* out, std::size_t stride, std::size_t at)
{
    for (qint64 tile = 0; tile < count; tile += SplitTileFrames) {
        const qint64 end = std::min(count, tile + SplitTileFrames);
        for (int channel = 0; channel < channels; ++channel) {
            qint16* samples = out + std::size_t(channel) * stride + at;
            const char* in = frames + 2 * (tile * channels + channel);
            for (qint64 i = tile; i < end; ++i, in += 2 * channels)
                samples[i] = qFromLittleEndian<qint16>(in);
        }
    }
}

// Low 16 bits of the value truncated toward zero (NaN gives 0; values
// beyond the int range saturate there first).
qint16 lowSixteenBits(double value)
{
    int whole = 0;
    if (value != value)
        whole = 0;
    else if (value >= double(INT_MAX))
        whole = INT_MAX;
    else if (value <= double(INT_MIN))
        whole = INT_MIN;
    else
        whole = int(value);
    return qint16(quint16(unsigned(whole) & 0xffffu));
}

} // namespace

TEcgFile::TEcgFile(const QString& path, int channelCount, int samplingRate, int headerSize, bool create)
    : TSignal(channelCount, samplingRate, BlockSamples, 16)
    , m_path(path)
    , m_headerSize(std::max(0, headerSize))
    , m_writable(create)
    , m_file(path)
{
    // Unbuffered: every write goes straight to the operating system. A new
    // file only: whatever already has the name (another study's file, one
    // a second process just made, a link) is never truncated or followed.
    if (create) {
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered))
            throw std::runtime_error("Cannot create file");
        TPrivateFiles::restrict(m_file);
        const QByteArray zeros(m_headerSize, '\0');
        if (m_file.write(zeros) != zeros.size()) {
            m_file.remove();  // made by this call, so no file of anyone else's
            throw std::runtime_error("Cannot create file");
        }
        setSampleCountFromEnd(m_headerSize);
    } else {
        // Review never writes the ECG file.
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            throw std::runtime_error("Cannot open file");
        setSampleCountFromEnd(m_file.size());
    }
    m_tail.assign(std::size_t(channelCount) * TailWindowSamples, 0);
}

TEcgFile::~TEcgFile()
{
    m_file.close();
}

void TEcgFile::setSampleCountFromEnd(qint64 endPosition)
{
    const qint64 frames = std::max<qint64>(0, (endPosition - m_headerSize) / frameBytes());
    const int count = int(std::min<qint64>(frames, INT_MAX));
    setAppendedCount(count);
    // Opened for review the recording is final: its partial last block
    // counts (missing samples read as zero). While recording only complete
    // blocks do.
    if (!m_writable)
        setCompleteBlockCount(int((qint64(count) + BlockSamples - 1) / BlockSamples));
}

bool TEcgFile::writeHeader(const QByteArray& bytes)
{
    const bool written = writeHeaderArea(m_file, m_headerSize, bytes);
    if (!written)
        noteWriteError(m_writeError, m_file);
    return written;
}

void TEcgFile::appendFrames(const char* frames, qint64 frameCount)
{
    if (!m_writable || frameCount <= 0)
        return;
    // After the last whole frame, so a partly written frame of an earlier
    // failed append is overwritten instead of shifting every later frame.
    const qint64 at = m_headerSize + qint64(sampleCount()) * frameBytes();
    const qint64 length = frameCount * frameBytes();
    qint64 written = -1;
    if (m_file.seek(at))
        written = writeWhole(m_file, frames, length);
    if (written != length || !m_file.flush())
        noteWriteError(m_writeError, m_file);
    const int before = sampleCount();
    setSampleCountFromEnd(at + std::max<qint64>(0, written));
    followTail(frames, before, sampleCount() - before);
    if (sampleCount() != before)
        notifyListeners();
}

// A loaded tail window that ends where the appended frames begin takes them
// in, so that reading the newest samples while recording does not reload
// the window from the file after every append. When they do not fit, the
// window first drops its oldest samples down to half its size, which still
// covers every sample beyond the complete blocks.
void TEcgFile::followTail(const char* frames, int first, int count)
{
    if (count <= 0 || m_tailCount == 0 || m_tailStart + m_tailCount != first)
        return;
    if (count > TailWindowSamples / 2) {
        m_tailCount = 0;
        return;
    }
    const int c = channelCount();
    if (m_tailCount + count > TailWindowSamples) {
        const int drop = m_tailCount + count - TailWindowSamples / 2;
        for (int channel = 0; channel < c; ++channel) {
            qint16* samples = m_tail.data() + std::size_t(channel) * TailWindowSamples;
            std::copy(samples + drop, samples + m_tailCount, samples);
        }
        m_tailStart += drop;
        m_tailCount -= drop;
    }
    splitFrames(frames, count, c, m_tail.data(), TailWindowSamples, std::size_t(m_tailCount));
    m_tailCount += count;
}

void TEcgFile::appendInterleaved(const char* bytes, int length)
{
    if (bytes == nullptr || length <= 0)
        return;
    appendFrames(bytes, length / frameBytes());
}

void TEcgFile::append(const qint16* const* channels, int count)
{
    appendConverted(channels, count, [](qint16 value) { return value; });
}

void TEcgFile::append(const double* const* channels, int count)
{
    appendConverted(channels, count, lowSixteenBits);
}

template <typename Sample, typename Convert>
void TEcgFile::appendConverted(const Sample* const* channels, int count, Convert toSample)
{
    if (!m_writable || channels == nullptr || count <= 0)
        return;
    const int c = channelCount();
    for (int first = 0; first < count; first += AppendChunkFrames) {
        const int frameCount = std::min(AppendChunkFrames, count - first);
        QByteArray frames(frameCount * frameBytes(), Qt::Uninitialized);
        char* out = frames.data();
        for (int i = first; i < first + frameCount; ++i) {
            for (int channel = 0; channel < c; ++channel, out += 2)
                qToLittleEndian<qint16>(toSample(channels[channel][i]), out);
        }
        appendFrames(frames.constData(), frameCount);
    }
}

qint64 TEcgFile::readFrames(qint64 first, qint64 frames, QByteArray& buffer) const
{
    frames = std::min<qint64>(frames, qint64(sampleCount()) - first);
    if (first < 0 || frames <= 0)
        return 0;
    buffer.resize(int(frames * frameBytes()));
    if (!m_file.seek(m_headerSize + first * frameBytes()))
        return 0;
    const qint64 read = m_file.read(buffer.data(), buffer.size());
    return read <= 0 ? 0 : read / frameBytes();
}

const TEcgFile::CachedBlock& TEcgFile::cachedBlock(int block) const
{
    for (auto at = m_cache.begin(); at != m_cache.end(); ++at) {
        if (at->block == block) {
            m_cache.splice(m_cache.begin(), m_cache, at);
            return m_cache.front();
        }
    }

    const int c = channelCount();
    CachedBlock entry{block, std::vector<qint16>(std::size_t(c) * BlockSamples, 0)};
    QByteArray buffer;
    const qint64 frames = readFrames(qint64(block) * BlockSamples, BlockSamples, buffer);
    splitFrames(buffer.constData(), frames, c, entry.samples.data(), BlockSamples, 0);
    m_cache.push_front(std::move(entry));
    if (int(m_cache.size()) > CachedBlocks)
        m_cache.pop_back();
    return m_cache.front();
}

void TEcgFile::loadTail(int index) const
{
    const int n = sampleCount();
    int start = std::max(0, index - BlockSamples);
    if (qint64(n) < qint64(index) + BlockSamples)
        start = n < TailWindowSamples + 1 ? 0 : n - TailWindowSamples;

    const int c = channelCount();
    QByteArray buffer;
    const qint64 frames = readFrames(start, TailWindowSamples, buffer);
    splitFrames(buffer.constData(), frames, c, m_tail.data(), TailWindowSamples, 0);
    m_tailStart = start;
    m_tailCount = int(frames);
}

const qint16* TEcgFile::tailRun(int channel, int index, int& available) const
{
    if (index < m_tailStart || index >= m_tailStart + m_tailCount)
        loadTail(index);
    available = m_tailStart + m_tailCount - index;
    if (index < m_tailStart || available <= 0) {
        available = 0;
        return nullptr;
    }
    return m_tail.data() + std::size_t(channel) * TailWindowSamples + std::size_t(index - m_tailStart);
}

int TEcgFile::tailSample(int channel, int index) const
{
    int available = 0;
    const qint16* run = tailRun(channel, index, available);
    return run != nullptr ? *run : 0;
}

int TEcgFile::sample(int channel, int index) const
{
    if (channel < 0 || channel >= channelCount() || index < 0 || index >= sampleCount())
        return 0;
    const int block = index / BlockSamples;
    if (block < completeBlockCount())
        return cachedBlock(block).samples[std::size_t(channel) * BlockSamples + std::size_t(index % BlockSamples)];
    return tailSample(channel, index);
}

void TEcgFile::readRange(int channel, int start, int count, double* dst) const
{
    if (dst == nullptr || count <= 0)
        return;
    const bool channelValid = channel >= 0 && channel < channelCount();
    const qint64 n = sampleCount();
    int i = 0;
    while (i < count) {
        const qint64 position = qint64(start) + i;
        if (!channelValid || position < 0 || position >= n) {
            dst[i++] = 0.0;
            continue;
        }
        const int block = int(position / BlockSamples);
        if (block < completeBlockCount()) {
            const qint16* samples = cachedBlock(block).samples.data() + std::size_t(channel) * BlockSamples;
            const int offset = int(position % BlockSamples);
            const int run = int(std::min<qint64>(BlockSamples - offset, count - i));
            for (int k = 0; k < run; ++k)
                dst[i + k] = samples[offset + k];
            i += run;
        } else {
            int available = 0;
            const qint16* samples = tailRun(channel, int(position), available);
            const int run = int(std::min<qint64>(std::max(available, 1), count - i));
            for (int k = 0; k < run; ++k)
                dst[i + k] = samples != nullptr ? samples[k] : 0.0;
            i += run;
        }
    }
}

qint16* TEcgFile::readBlock(int channel, int blockNumber) const
{
    if (channel < 0 || channel >= channelCount() || blockNumber < 0 || blockNumber >= completeBlockCount())
        return nullptr;
    const qint16* samples = cachedBlock(blockNumber).samples.data() + std::size_t(channel) * BlockSamples;
    auto* block = new qint16[BlockSamples];
    std::copy(samples, samples + BlockSamples, block);
    return block;
}

void TEcgFile::releaseBlock(qint16* block) const
{
    delete[] block;
}
