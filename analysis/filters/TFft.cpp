#include "analysis/filters/TFft.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

constexpr double Pi = 3.14159265358979323846;

} // namespace

namespace {

// Four doubles at a time, and the same vector at any double's address for
// loads; stores go through memcpy.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
using UnalignedLanes = double __attribute__((vector_size(4 * sizeof(double)), aligned(alignof(double))));
constexpr int LanesPerVector = 4;

// One stage of butterflies (see TFft::transform) over groups of 2 half,
// four butterflies at a time when half allows it (the compiler does not
// vectorise the plain loop), each with the arithmetic of the plain one.
[[gnu::target_clones("avx2", "default")]] void butterflies(double* re, double* im, int size, int half,
                                                           const double* cosines, const double* sines,
                                                           double turn)
{
    const auto load = [](const double* values) -> const UnalignedLanes& {
        return *reinterpret_cast<const UnalignedLanes*>(values);
    };
    const auto store = [](double* values, const Lanes& lanes) { std::memcpy(values, &lanes, sizeof lanes); };
    const int vectorEnd = half - half % LanesPerVector;
    for (int group = 0; group < size; group += 2 * half) {
        double* ar = re + group;
        double* ai = im + group;
        double* br = re + group + half;
        double* bi = im + group + half;
        for (int j = 0; j < vectorEnd; j += LanesPerVector) {
            const Lanes wr = load(cosines + j);
            const Lanes wi = turn * load(sines + j);
            const Lanes xr = load(ar + j), xi = load(ai + j);
            const Lanes yr = load(br + j), yi = load(bi + j);
            const Lanes dr = xr - yr;
            const Lanes di = xi - yi;
            store(ar + j, xr + yr);
            store(ai + j, xi + yi);
            store(br + j, dr * wr - di * wi);
            store(bi + j, dr * wi + di * wr);
        }
        for (int j = vectorEnd; j < half; ++j) {
            const double wr = cosines[j];
            const double wi = turn * sines[j];
            const double dr = ar[j] - br[j];
            const double di = ai[j] - bi[j];
            ar[j] = ar[j] + br[j];
            ai[j] = ai[j] + bi[j];
            br[j] = dr * wr - di * wi;
            bi[j] = dr * wi + di * wr;
        }
    }
}

// The last two stages (groups of 4, then of 2) in one pass: their
// twiddles are 1 and -i (forward) or +i (inverse), applied exactly.
[[gnu::target_clones("avx2", "default")]] void lastTwoStages(double* re, double* im, int size, double turn)
{
    for (int g = 0; g < size; g += 4) {
        const double s0r = re[g] + re[g + 2], s0i = im[g] + im[g + 2];
        const double d0r = re[g] - re[g + 2], d0i = im[g] - im[g + 2];
        const double s1r = re[g + 1] + re[g + 3], s1i = im[g + 1] + im[g + 3];
        const double e1r = re[g + 1] - re[g + 3], e1i = im[g + 1] - im[g + 3];
        const double d1r = -turn * e1i, d1i = turn * e1r;
        re[g] = s0r + s1r;
        im[g] = s0i + s1i;
        re[g + 1] = s0r - s1r;
        im[g + 1] = s0i - s1i;
        re[g + 2] = d0r + d1r;
        im[g + 2] = d0i + d1i;
        re[g + 3] = d0r - d1r;
        im[g + 3] = d0i - d1i;
    }
}

} // namespace

TFft::TFft(int size)
    : m_size(size)
    , m_bitReversed(std::size_t(size))
{
    if (size < 2 || (size & (size - 1)) != 0)
        throw std::invalid_argument("The FFT size must be a power of two");
    // Every twiddle angle is a multiple of 2 pi / size.
    for (int half = size / 2; half >= 1; half /= 2) {
        const int stride = (size / 2) / half;
        for (int j = 0; j < half; ++j) {
            const double angle = 2.0 * Pi * (j * stride) / size;
            m_cos.push_back(std::cos(angle));
            m_sin.push_back(std::sin(angle));
        }
    }
    int stages = 0;
    while ((1 << stages) < size)
        ++stages;
    for (int i = 0; i < size; ++i) {
        int reversed = 0;
        for (int bit = 0; bit < stages; ++bit) {
            if (i & (1 << bit))
                reversed |= 1 << (stages - 1 - bit);
        }
        m_bitReversed[std::size_t(i)] = reversed;
    }
}

// Each butterfly: a + b, and (a - b) times the twiddle w = cos - i sin
// (forward) or cos + i sin (inverse), as complex arithmetic computes them.
void TFft::transform(double* re, double* im, bool inverse) const
{
    const double turn = inverse ? 1.0 : -1.0;
    std::size_t offset = 0;
    for (int half = m_size / 2; half >= 4; half /= 2) {
        butterflies(re, im, m_size, half, m_cos.data() + offset, m_sin.data() + offset, turn);
        offset += std::size_t(half);
    }
    if (m_size >= 4)
        lastTwoStages(re, im, m_size, turn);
    else
        butterflies(re, im, m_size, 1, m_cos.data() + offset, m_sin.data() + offset, turn);
    for (int i = 0; i < m_size; ++i) {
        const int r = m_bitReversed[std::size_t(i)];
        if (r > i) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
}
