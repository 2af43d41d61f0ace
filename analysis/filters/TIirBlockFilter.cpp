#include "analysis/filters/TIirBlockFilter.h"

#include "analysis/signal/TSampleConversion.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

// Blocks filter independently of each other, so several go through the
// recursion side by side, one per lane: each lane does exactly the
// arithmetic of a block filtered alone (multiplications and additions in
// the same order, never fused), and while one block's recursion waits for
// its previous output the others proceed.
constexpr int Lanes = 4;
using Vector = double __attribute__((vector_size(Lanes * sizeof(double))));
// A vector in an array: the default target aligns Vector to 16 bytes only,
// the wider one loads it as 32-byte aligned.
struct alignas(32) Slot
{
    Vector v;
};

// Working arrays over indices -P-M .. n+P+M-1 (index i at i + base).
struct Work
{
    Work(int n, const TIirSet& set)
        : base(set.padding + set.order)
        , size(n + 2 * base)
        , input(std::size_t(size))
        , forward(std::size_t(size))
        , backward(std::size_t(size))
    {
    }

    int base;
    int size;
    std::vector<Slot> input;
    std::vector<Slot> forward;
    std::vector<Slot> backward;
};

template <int Order>
[[gnu::always_inline]] inline void forwardPass(const double* b, const double* a, const Slot* x, Slot* y, int from,
                                               int to)
{
    for (int at = from; at < to; ++at) {
        Vector value = b[0] * x[at].v;
        for (int k = 1; k <= Order; ++k)
            value += a[k] * y[at - k].v + b[k] * x[at - k].v;
        y[at].v = value;
    }
}

template <int Order>
[[gnu::always_inline]] inline void backwardPass(const double* b, const double* a, const Slot* y, Slot* z, int from,
                                                int last)
{
    for (int at = last; at >= from; --at) {
        Vector value = b[0] * y[at].v;
        for (int k = 1; k <= Order; ++k)
            value += a[k] * z[at + k].v + b[k] * y[at + k].v;
        z[at].v = value;
    }
}

// The passes over work.input, the last result left in work.input.
template <int Order>
[[gnu::always_inline]] inline void runPasses(const TIirSet& set, bool backward, int passes, int n, Work& work)
{
    const int padding = set.padding;
    const int base = work.base;
    for (int pass = 0; pass < passes; ++pass) {
        std::fill(work.forward.begin(), work.forward.end(), Slot{});
        forwardPass<Order>(set.b, set.a, work.input.data(), work.forward.data(), base - padding, base + n + padding);
        if (!backward) {
            work.input.swap(work.forward);
            continue;
        }
        std::fill(work.backward.begin(), work.backward.end(), Slot{});
        backwardPass<Order>(set.b, set.a, work.forward.data(), work.backward.data(), base, base + n + padding - 1);
        work.input.swap(work.backward);
    }
}

[[gnu::target_clones("avx2", "default")]] void filterLanes(const TIirSet& set, bool backward, int passes, int n,
                                                           Work& work)
{
    switch (set.order) {
    case 1: runPasses<1>(set, backward, passes, n, work); break;
    case 2: runPasses<2>(set, backward, passes, n, work); break;
    case 3: runPasses<3>(set, backward, passes, n, work); break;
    default: runPasses<4>(set, backward, passes, n, work); break;
    }
}

} // namespace

TIirBlockFilter::TIirBlockFilter(const TIirSet& set, bool backward, int passes)
    : m_set(set)
    , m_backward(backward)
    , m_passes(std::max(1, passes))
{
}

void TIirBlockFilter::filter(const TBlockPosition&, const qint16* previous, const qint16* current, const qint16* next,
                             int n, qint16* out) const
{
    const qint16* const blocks[] = {previous, current, next};
    filterGroup(blocks, 1, n, &out);
}

void TIirBlockFilter::filterBlocks(int, const qint16* samples, int blocks, int n, int, qint16* out) const
{
    const auto block = [&](int b) { return b >= 0 && b < blocks ? samples + std::size_t(b) * n : nullptr; };
    for (int first = 0; first < blocks; first += Lanes) {
        const int lanes = std::min(Lanes, blocks - first);
        const qint16* neighbours[Lanes + 2];
        qint16* outs[Lanes];
        for (int lane = -1; lane <= lanes; ++lane)
            neighbours[lane + 1] = block(first + lane);
        for (int lane = 0; lane < lanes; ++lane)
            outs[lane] = out + std::size_t(first + lane) * n;
        filterGroup(neighbours, lanes, n, outs);
    }
}

// Blocks 0 .. lanes-1 of a group, block l being blocks[l + 1] with
// neighbours blocks[l] and blocks[l + 2], filtered into outs[l].
void TIirBlockFilter::filterGroup(const qint16* const* blocks, int lanes, int n, qint16* const* outs) const
{
    Work work(n, m_set);
    const int padding = m_set.padding;
    for (int lane = 0; lane < lanes; ++lane) {
        for (int i = -padding; i < n + padding; ++i)
            work.input[std::size_t(i + work.base)].v[lane] =
                neighbourhood(blocks[lane], blocks[lane + 1], blocks[lane + 2], n, i);
    }
    filterLanes(m_set, m_backward, m_passes, n, work);
    for (int lane = 0; lane < lanes; ++lane) {
        for (int i = 0; i < n; ++i)
            outs[lane][i] = toSample16(work.input[std::size_t(i + work.base)].v[lane]);
    }
}
