#pragma once

#include <QtGlobal>

// Where a block lies: its channel, its number (block b covers samples
// [b * n, (b + 1) * n)) and the source's appended sample count.
struct TBlockPosition {
    int channel;
    int blockNumber;
    int sourceAppendedCount;
};

// A filter applied to one block of n 16-bit samples of one channel, with
// the previous and next blocks of the same channel at hand (nullptr when
// missing). A sample more than one block away, or in a missing block,
// reads as 0. TFilteredSignalView applies block filters lazily.
class TBlockFilter
{
public:
    TBlockFilter() = default;
    TBlockFilter(const TBlockFilter&) = delete;
    TBlockFilter& operator=(const TBlockFilter&) = delete;
    virtual ~TBlockFilter();

    virtual void filter(const TBlockPosition& position, const qint16* previous, const qint16* current,
                        const qint16* next, int n, qint16* out) const = 0;

    // Blocks 0 .. blocks-1 of one channel held one after another in
    // `samples` (n each, no blocks beyond them), filtered into `out`: what
    // filter() gives block by block. Filters that can do several blocks at
    // once override it.
    virtual void filterBlocks(int channel, const qint16* samples, int blocks, int n, int appendedCount,
                              qint16* out) const;

protected:
    // Input sample i relative to the current block (i < 0: previous block,
    // i >= n: next block); 0 beyond the neighbours or in a missing block.
    static double neighbourhood(const qint16* previous, const qint16* current, const qint16* next, int n, long i)
    {
        if (i < 0)
            return i >= -n && previous != nullptr ? previous[i + n] : 0.0;
        if (i < n)
            return current != nullptr ? current[i] : 0.0;
        return i < 2L * n && next != nullptr ? next[i - n] : 0.0;
    }
};
