#pragma once

#include "analysis/signal/TSignal.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <list>
#include <vector>

// The ECG file of a study ("pxecg"), served as a TSignal straight from the
// file: a header area of 4096 bytes ("PXECG1" and a JSON document, written
// by the store), then frames of one little-endian signed 16-bit sample per
// channel.
//
// In create mode (recording) samples are appended at the end of the last
// complete frame and handed to the operating system after every append, so
// a crash loses at most the block in flight; the block count is the number
// of complete 8192-sample blocks and samples beyond them are served from a
// tail window of 16384 frames. In open mode (review) the file is not
// written; the block count rounds up, so the last, partial block is served
// through the block cache with the positions past the last sample reading
// 0. A trailing partial frame (a file cut mid-frame) is ignored.
class TEcgFile : public TSignal
{
public:
    static constexpr int DefaultHeaderSize = 4096;
    static constexpr int BlockSamples = 8192;
    static constexpr int TailWindowSamples = 16384;
    // Blocks of all channels kept in memory for reading.
    static constexpr int CachedBlocks = 32;

    // Create mode creates a new file, owner-only (an existing name fails:
    // std::runtime_error "Cannot create file"), and writes the zeroed header
    // area (failure: the same); open
    // mode opens it for reading and writing and derives the sample count
    // from its size (failure: "Cannot open file"). Throws
    // std::invalid_argument for a channel count outside 1..16.
    TEcgFile(const QString& path, int channelCount, int samplingRate,
             int headerSize = DefaultHeaderSize, bool create = false);
    ~TEcgFile() override;

    int sample(int channel, int index) const override;
    // Positions outside the recorded range give 0.
    void readRange(int channel, int start, int count, double* dst) const override;
    // BlockSamples samples of the channel, or nullptr when the block number
    // is not below blockCount() (or the channel does not exist).
    qint16* readBlock(int channel, int blockNumber) const override;
    void releaseBlock(qint16* block) const override;

    // The three appends are no-ops unless the file is writable. Whole
    // frames only: a trailing partial frame of a byte block is dropped.
    void appendInterleaved(const char* bytes, int length) override;
    void append(const qint16* const* channels, int count) override;
    // Each value is truncated toward zero and keeps its low 16 bits.
    void append(const double* const* channels, int count) override;

    // Writes the first min(header size, length) bytes at offset 0 and pads
    // the header area with zero bytes.
    // False when the bytes did not reach the file.
    bool writeHeader(const QByteArray& bytes);

    void setAmplitudeRange(double minimum, double maximum) { setRange(minimum, maximum); }
    void setResolution(int bits) { setResolutionBits(bits); }

    const QString& path() const { return m_path; }
    int headerSize() const { return m_headerSize; }
    bool isWritable() const { return m_writable; }
    int sampleCount() const { return appendedCount(); }
    int blockCount() const { return completeBlockCount(); }
    // Whether an append or header write could not reach the file whole.
    bool hasWriteError() const { return !m_writeError.isEmpty(); }
    // The system's reason for the first failed write (a full disk, a size
    // limit), empty while none failed.
    const QString& writeErrorText() const { return m_writeError; }

private:
    struct CachedBlock
    {
        int block;
        std::vector<qint16> samples;  // channel-major, BlockSamples each
    };

    int frameBytes() const { return 2 * channelCount(); }
    void appendFrames(const char* frames, qint64 frameCount);
    // Converts per-channel arrays to frames in chunks and appends them.
    template <typename Sample, typename Convert>
    void appendConverted(const Sample* const* channels, int count, Convert toSample);
    const CachedBlock& cachedBlock(int block) const;
    int tailSample(int channel, int index) const;
    // The tail window's samples of `channel` from `index` on, loading the
    // window around it when needed; `available` says how many follow in
    // it (0 and nullptr when the index lies beyond the file).
    const qint16* tailRun(int channel, int index, int& available) const;
    void loadTail(int index) const;
    void followTail(const char* frames, int first, int count);
    // Reads up to `frames` frames from sample `first` into `frames`; answers
    // the number of whole frames read.
    qint64 readFrames(qint64 first, qint64 frames, QByteArray& buffer) const;
    void setSampleCountFromEnd(qint64 endPosition);

    QString m_path;
    int m_headerSize;
    bool m_writable;
    // Why the first write failed; empty while none did.
    QString m_writeError;
    mutable QFile m_file;
    mutable std::list<CachedBlock> m_cache;  // most recently used first
    mutable std::vector<qint16> m_tail;      // channel-major, TailWindowSamples each
    mutable int m_tailStart = 0;
    mutable int m_tailCount = 0;
};
