#include "analysis/filters/TBlockFilter.h"

#include <cstddef>

TBlockFilter::~TBlockFilter() = default;

void TBlockFilter::filterBlocks(int channel, const qint16* samples, int blocks, int n, int appendedCount,
                                qint16* out) const
{
    for (int block = 0; block < blocks; ++block) {
        const qint16* previous = block > 0 ? samples + std::size_t(block - 1) * n : nullptr;
        const qint16* next = block + 1 < blocks ? samples + std::size_t(block + 1) * n : nullptr;
        filter(TBlockPosition{channel, block, appendedCount}, previous, samples + std::size_t(block) * n, next, n,
               out + std::size_t(block) * n);
    }
}
