#include "analysis/filters/TFirKernel.h"

#include <algorithm>
#include <utility>

namespace {

// Outputs computed together: their sums stay in registers while the taps
// pass, and the window they read (the table's length and this many values)
// stays in the first-level cache, however long the table.
constexpr int Block = 16;

// One block of outputs of a symmetric (Sign 1) or antisymmetric (Sign -1)
// table, each pair of equal taps folded into one multiplication: per output
// the sum over the pairs, four at a time, then the single pairs left, then
// the middle tap of an odd table. `Width` is Block for full blocks, so that
// the inner loops have a fixed length the compiler vectorises.
template <int Sign, int Width>
[[gnu::always_inline]] inline void foldedBlock(const double* h, int length, const double* window, int width, double* __restrict out)
{
    const int n = Width > 0 ? Width : width;
    double sum[Block] = {};
    const int pairs = length / 2;
    int k = 0;
    for (; k + 4 <= pairs; k += 4) {
        const double h0 = h[k], h1 = h[k + 1], h2 = h[k + 2], h3 = h[k + 3];
        const double* __restrict a0 = window + (length - 1 - k);
        const double* __restrict a1 = a0 - 1;
        const double* __restrict a2 = a0 - 2;
        const double* __restrict a3 = a0 - 3;
        const double* __restrict b0 = window + k;
        const double* __restrict b1 = b0 + 1;
        const double* __restrict b2 = b0 + 2;
        const double* __restrict b3 = b0 + 3;
        for (int j = 0; j < n; ++j) {
            sum[j] += h0 * (a0[j] + Sign * b0[j]) + h1 * (a1[j] + Sign * b1[j]) + h2 * (a2[j] + Sign * b2[j])
                + h3 * (a3[j] + Sign * b3[j]);
        }
    }
    for (; k < pairs; ++k) {
        const double hk = h[k];
        const double* __restrict a = window + (length - 1 - k);
        const double* __restrict b = window + k;
        for (int j = 0; j < n; ++j)
            sum[j] += hk * (a[j] + Sign * b[j]);
    }
    if (length % 2 == 1) {
        const double hk = h[pairs];
        const double* __restrict a = window + pairs;
        for (int j = 0; j < n; ++j)
            sum[j] += hk * a[j];
    }
    std::copy(sum, sum + n, out);
}

template <int Sign>
[[gnu::always_inline]] inline void runFolded(const std::vector<double>& taps, const double* window, int count, double* out)
{
    const int length = int(taps.size());
    int j = 0;
    for (; j + Block <= count; j += Block)
        foldedBlock<Sign, Block>(taps.data(), length, window + j, Block, out + j);
    if (j < count)
        foldedBlock<Sign, 0>(taps.data(), length, window + j, count - j, out + j);
}

[[gnu::always_inline]] inline void runDirect(const std::vector<double>& taps, const double* window, int count, double* __restrict out)
{
    const int length = int(taps.size());
    std::fill(out, out + count, 0.0);
    for (int k = 0; k < length; ++k) {
        const double hk = taps[std::size_t(k)];
        const double* __restrict a = window + (length - 1 - k);
        for (int j = 0; j < count; ++j)
            out[j] += hk * a[j];
    }
}

// The loops above (inlined here) compiled once for the baseline x86-64 and
// once for AVX2, chosen when the program loads: four doubles per instruction where the
// processor has them, the same operations in the same order (no fused
// multiply-add), so both give the same results to the bit.
[[gnu::target_clones("avx2", "default")]] void convolve(const std::vector<double>& taps, int symmetry,
                                                        const double* window, int count, double* out)
{
    if (symmetry > 0)
        runFolded<1>(taps, window, count, out);
    else if (symmetry < 0)
        runFolded<-1>(taps, window, count, out);
    else
        runDirect(taps, window, count, out);
}

} // namespace

TFirKernel::TFirKernel(std::vector<double> taps)
    : m_taps(std::move(taps))
{
    const int length = int(m_taps.size());
    bool symmetric = true, antisymmetric = true;
    for (int k = 0; k < length; ++k) {
        symmetric = symmetric && m_taps[k] == m_taps[length - 1 - k];
        antisymmetric = antisymmetric && m_taps[k] == -m_taps[length - 1 - k];
    }
    m_symmetry = symmetric ? Symmetry::Symmetric : antisymmetric ? Symmetry::Antisymmetric : Symmetry::None;
}

void TFirKernel::run(const double* window, int count, double* out) const
{
    if (count <= 0)
        return;
    if (m_taps.empty()) {
        std::fill(out, out + count, 0.0);
        return;
    }
    const int symmetry = m_symmetry == Symmetry::Symmetric ? 1 : m_symmetry == Symmetry::Antisymmetric ? -1 : 0;
    convolve(m_taps, symmetry, window, count, out);
}
