#pragma once

#include <QtGlobal>

class TSignal;

// Owns one block read from a signal and hands it back through the signal's
// releaseBlock when it goes out of scope. Move-only: a block is released
// exactly once.
class TSignalBlock
{
public:
    TSignalBlock() = default;
    // Reads block `blockNumber` of `channel`; null when the signal has no
    // such complete block.
    TSignalBlock(const TSignal& signal, int channel, int blockNumber);
    ~TSignalBlock();

    TSignalBlock(TSignalBlock&& other) noexcept;
    TSignalBlock& operator=(TSignalBlock&& other) noexcept;
    TSignalBlock(const TSignalBlock&) = delete;
    TSignalBlock& operator=(const TSignalBlock&) = delete;

    bool isNull() const { return m_data == nullptr; }
    const qint16* data() const { return m_data; }
    qint16 operator[](int index) const { return m_data[index]; }

    // Releases the block now; the handle becomes null.
    void reset();

private:
    const TSignal* m_signal = nullptr;
    qint16* m_data = nullptr;
};
