#include "analysis/TPartitionedFir.h"

#include "analysis/TSignal.h"

#include <algorithm>

namespace {

constexpr int Size = 2 * TPartitionedFir::Block;

// sum += h x, bin by bin (complex).
[[gnu::target_clones("avx2", "default")]] void multiplyAccumulate(const double* __restrict hr,
                                                                  const double* __restrict hi,
                                                                  const double* __restrict xr,
                                                                  const double* __restrict xi,
                                                                  double* __restrict sr, double* __restrict si)
{
    for (int bin = 0; bin < Size; ++bin) {
        sr[bin] += hr[bin] * xr[bin] - hi[bin] * xi[bin];
        si[bin] += hr[bin] * xi[bin] + hi[bin] * xr[bin];
    }
}

} // namespace

TPartitionedFir::TPartitionedFir(const std::vector<double>& taps, int delay, int channels)
    : m_fft(Size)
    , m_delay(delay)
    , m_channels(channels)
    , m_partitions(int((taps.size() + Block - 1) / Block))
    , m_line(std::size_t((channels + 1) / 2))
    , m_second(Size)
    , m_sum{std::vector<double>(Size), std::vector<double>(Size)}
{
    const double scale = 1.0 / Size; // the inverse transform is not scaled
    for (int m = 0; m < m_partitions; ++m) {
        Spectrum part{std::vector<double>(Size, 0.0), std::vector<double>(Size, 0.0)};
        for (int k = 0; k < Block && m * Block + k < int(taps.size()); ++k)
            part.re[std::size_t(k)] = taps[std::size_t(m * Block + k)] * scale;
        m_fft.transform(part.re.data(), part.im.data(), false);
        m_table.push_back(std::move(part));
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
        std::fill(m_sum.re.begin(), m_sum.re.end(), 0.0);
        std::fill(m_sum.im.begin(), m_sum.im.end(), 0.0);
        for (int m = 0; m < m_partitions; ++m) {
            const Spectrum& x = line[std::size_t((m_newest - m + m_partitions) % m_partitions)];
            const Spectrum& h = m_table[std::size_t(m)];
            multiplyAccumulate(h.re.data(), h.im.data(), x.re.data(), x.im.data(), m_sum.re.data(), m_sum.im.data());
        }
        m_fft.transform(m_sum.re.data(), m_sum.im.data(), true);
        const int channel = 2 * pair;
        std::copy_n(m_sum.re.data() + Block, Block, out + std::size_t(channel) * std::size_t(stride));
        if (channel + 1 < m_channels)
            std::copy_n(m_sum.im.data() + Block, Block, out + std::size_t(channel + 1) * std::size_t(stride));
    }
    m_primed = true;
    m_nextFirst = first + Block;
}
