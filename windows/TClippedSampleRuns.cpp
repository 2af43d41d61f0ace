#include "windows/TClippedSampleRuns.h"

#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int ChunkSamples = 1024;

} // namespace

TClippedSampleRuns::TClippedSampleRuns(const TSignal& signal)
    : m_signal(signal)
    , m_limit((1 << (signal.resolutionBits() - 1)) - 2)
    , m_chunk(ChunkSamples)
{
}

bool TClippedSampleRuns::nextRun(int channel, int first, int last, int& runFirst, int& runLast) const
{
    // Samples that were never recorded cannot be clipped.
    last = std::min(last, m_signal.appendedCount() - 1);
    const int begin = find(channel, std::max(first, 0), last, true);
    if (begin > last)
        return false;
    runFirst = begin;
    runLast = find(channel, begin, last, false) - 1;
    return true;
}

int TClippedSampleRuns::find(int channel, int from, int last, bool clipped) const
{
    for (int start = from; start <= last; start += ChunkSamples) {
        const int count = std::min(ChunkSamples, last - start + 1);
        m_signal.readRange(channel, start, count, m_chunk.data());
        for (int i = 0; i < count; ++i) {
            if ((std::fabs(m_chunk[std::size_t(i)]) > m_limit) == clipped)
                return start + i;
        }
    }
    return last + 1;
}
