#include "analysis/filters/TPartitionedFir.h"

#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int Size = 2 * TPartitionedFir::Block;

// Bins summed at a time, in two vectors of four whose sums stay in
// registers over every partition.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
// The same vector at any double's address, for loads from the spectra.
using UnalignedLanes = double __attribute__((vector_size(4 * sizeof(double)), aligned(alignof(double))));
constexpr int LanesPerVector = 4;

// sum = sum over m of h[m] x[m], bin by bin (complex), m ascending.
[[gnu::target_clones("avx2", "default")]] void multiplyAccumulate(const double* const* hr, const double* const* hi,
                                                                  const double* const* xr, const double* const* xi,
                                                                  int partitions, double* sr, double* si)
{
    const auto load = [](const double* values) -> const UnalignedLanes& {
        return *reinterpret_cast<const UnalignedLanes*>(values);
    };
    for (int bin = 0; bin < Size; bin += 2 * LanesPerVector) {
        const int next = bin + LanesPerVector;
        Lanes re0 = {}, re1 = {}, im0 = {}, im1 = {};
        for (int m = 0; m < partitions; ++m) {
            const Lanes a0 = load(hr[m] + bin), a1 = load(hr[m] + next);
            const Lanes b0 = load(hi[m] + bin), b1 = load(hi[m] + next);
            const Lanes c0 = load(xr[m] + bin), c1 = load(xr[m] + next);
            const Lanes d0 = load(xi[m] + bin), d1 = load(xi[m] + next);
            re0 += a0 * c0 - b0 * d0;
            re1 += a1 * c1 - b1 * d1;
            im0 += a0 * d0 + b0 * c0;
            im1 += a1 * d1 + b1 * c1;
        }
        std::memcpy(sr + bin, &re0, sizeof re0);
        std::memcpy(sr + next, &re1, sizeof re1);
        std::memcpy(si + bin, &im0, sizeof im0);
        std::memcpy(si + next, &im1, sizeof im1);
    }
}

} // namespace

TPartitionedFir::TPartitionedFir(const std::vector<double>& taps, int delay, int channels)
    : m_fft(Size)
    , m_delay(delay)
    , m_channels(channels)
    , m_partitions(int((taps.size() + Block - 1) / Block))
    , m_line(std::size_t((channels + 1) / 2))
    , m_sum{std::vector<double>(Size), std::vector<double>(Size)}
    , m_xRe(std::size_t(m_partitions))
    , m_xIm(std::size_t(m_partitions))
{
    const double scale = 1.0 / Size; // the inverse transform is not scaled
    for (int m = 0; m < m_partitions; ++m) {
        Spectrum part{std::vector<double>(Size, 0.0), std::vector<double>(Size, 0.0)};
        for (int k = 0; k < Block && m * Block + k < int(taps.size()); ++k)
            part.re[std::size_t(k)] = taps[std::size_t(m * Block + k)] * scale;
        m_fft.transform(part.re.data(), part.im.data(), false);
        m_table.push_back(std::move(part));
    }
    for (const Spectrum& part : m_table) {
        m_hRe.push_back(part.re.data());
        m_hIm.push_back(part.im.data());
    }
    for (auto& line : m_line)
        line.assign(std::size_t(m_partitions), Spectrum{std::vector<double>(Size), std::vector<double>(Size)});
}

void TPartitionedFir::transformInput(const TSignal& source, int pair, int start, Spectrum& spectrum)
{
    const int first = 2 * pair;
    source.readRange(first, start, Size, spectrum.re.data());
    if (first + 1 < m_channels)
        source.readRange(first + 1, start, Size, spectrum.im.data());
    else
        std::fill(spectrum.im.begin(), spectrum.im.end(), 0.0);
    m_fft.transform(spectrum.re.data(), spectrum.im.data(), false);
}

// Outputs first + j need inputs up to first + delay + j: the newest input
// block starts at first + delay, and partition m meets the block m blocks
// older. Each spectrum covers its block and the one before it, whose
// wrapped-around products the overlap-save discards.
void TPartitionedFir::step(const TSignal& source, int first, double* out, int stride)
{
    const int newestStart = first + m_delay - Block;
    const bool consecutive = m_primed && first == m_nextFirst;
    if (consecutive)
        m_newest = (m_newest + 1) % m_partitions;
    for (int pair = 0; pair < int(m_line.size()); ++pair) {
        std::vector<Spectrum>& line = m_line[std::size_t(pair)];
        if (consecutive) {
            transformInput(source, pair, newestStart, line[std::size_t(m_newest)]);
        } else {
            for (int m = 0; m < m_partitions; ++m)
                transformInput(source, pair, newestStart - m * Block,
                               line[std::size_t((m_newest - m + m_partitions) % m_partitions)]);
        }
        for (int m = 0; m < m_partitions; ++m) {
            const Spectrum& x = line[std::size_t((m_newest - m + m_partitions) % m_partitions)];
            m_xRe[std::size_t(m)] = x.re.data();
            m_xIm[std::size_t(m)] = x.im.data();
        }
        multiplyAccumulate(m_hRe.data(), m_hIm.data(), m_xRe.data(), m_xIm.data(), m_partitions, m_sum.re.data(),
                           m_sum.im.data());
        m_fft.transform(m_sum.re.data(), m_sum.im.data(), true);
        const int channel = 2 * pair;
        std::copy_n(m_sum.re.data() + Block, Block, out + std::size_t(channel) * std::size_t(stride));
        if (channel + 1 < m_channels)
            std::copy_n(m_sum.im.data() + Block, Block, out + std::size_t(channel + 1) * std::size_t(stride));
    }
    m_primed = true;
    m_nextFirst = first + Block;
}
