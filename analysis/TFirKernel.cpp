#include "analysis/TFirKernel.h"

#include <algorithm>
#include <utility>

namespace {

// out[j] += sum over the four taps of h_i * (a_i[j] +/- b_i[j]).
template <int Sign>
void foldedQuad(const double* h, const double* const* a, const double* const* b, int count,
                double* __restrict out)
{
    const double h0 = h[0], h1 = h[1], h2 = h[2], h3 = h[3];
    const double* __restrict a0 = a[0];
    const double* __restrict a1 = a[1];
    const double* __restrict a2 = a[2];
    const double* __restrict a3 = a[3];
    const double* __restrict b0 = b[0];
    const double* __restrict b1 = b[1];
    const double* __restrict b2 = b[2];
    const double* __restrict b3 = b[3];
    for (int j = 0; j < count; ++j) {
        out[j] += h0 * (a0[j] + Sign * b0[j]) + h1 * (a1[j] + Sign * b1[j]) + h2 * (a2[j] + Sign * b2[j])
            + h3 * (a3[j] + Sign * b3[j]);
    }
}

template <int Sign>
void foldedOne(double h, const double* __restrict a, const double* __restrict b, int count, double* __restrict out)
{
    for (int j = 0; j < count; ++j)
        out[j] += h * (a[j] + Sign * b[j]);
}

void directOne(double h, const double* __restrict a, int count, double* __restrict out)
{
    for (int j = 0; j < count; ++j)
        out[j] += h * a[j];
}

template <int Sign>
void runFolded(const std::vector<double>& taps, const double* window, int count, double* out)
{
    const int length = int(taps.size());
    const double* h = taps.data();
    const int pairs = length / 2;
    int k = 0;
    for (; k + 4 <= pairs; k += 4) {
        const double* a[4];
        const double* b[4];
        for (int i = 0; i < 4; ++i) {
            a[i] = window + (length - 1 - (k + i)); // x[p + D - k]
            b[i] = window + (k + i);                // x[p + D - (L-1-k)]
        }
        foldedQuad<Sign>(h + k, a, b, count, out);
    }
    for (; k < pairs; ++k)
        foldedOne<Sign>(h[k], window + (length - 1 - k), window + k, count, out);
    if (length % 2 == 1)
        directOne(h[pairs], window + pairs, count, out);
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
    std::fill(out, out + count, 0.0);
    if (count <= 0 || m_taps.empty())
        return;
    switch (m_symmetry) {
    case Symmetry::Symmetric:
        runFolded<1>(m_taps, window, count, out);
        return;
    case Symmetry::Antisymmetric:
        runFolded<-1>(m_taps, window, count, out);
        return;
    case Symmetry::None:
        break;
    }
    const int taps = length();
    for (int k = 0; k < taps; ++k)
        directOne(m_taps[k], window + (taps - 1 - k), count, out);
}
