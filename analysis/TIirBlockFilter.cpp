#include "analysis/TIirBlockFilter.h"

#include "analysis/TSampleConversion.h"

#include <algorithm>
#include <vector>

TBlockFilter::~TBlockFilter() = default;

TIirBlockFilter::TIirBlockFilter(const TIirSet& set, bool backward, int passes)
    : m_set(set)
    , m_backward(backward)
    , m_passes(std::max(1, passes))
{
}

void TIirBlockFilter::filter(const TBlockPosition&, const qint16* previous, const qint16* current, const qint16* next,
                             int n, qint16* out) const
{
    const int order = m_set.order;
    const int padding = m_set.padding;
    const double* b = m_set.b;
    const double* a = m_set.a;
    // Arrays cover indices -P-M .. n+P+M-1: offset maps index i to i + base.
    const int base = padding + order;
    const int size = n + 2 * (padding + order);
    std::vector<double> input(std::size_t(size), 0.0);
    for (int i = -padding; i < n + padding; ++i)
        input[std::size_t(i + base)] = neighbourhood(previous, current, next, n, i);
    std::vector<double> forward(std::size_t(size), 0.0);
    std::vector<double> backward(std::size_t(size), 0.0);
    for (int pass = 0; pass < m_passes; ++pass) {
        std::fill(forward.begin(), forward.end(), 0.0);
        for (int i = -padding; i < n + padding; ++i) {
            const int at = i + base;
            double y = b[0] * input[at];
            for (int k = 1; k <= order; ++k)
                y += a[k] * forward[at - k] + b[k] * input[at - k];
            forward[at] = y;
        }
        if (!m_backward) {
            input.swap(forward);
            continue;
        }
        std::fill(backward.begin(), backward.end(), 0.0);
        for (int j = n + padding - 1; j >= 0; --j) {
            const int at = j + base;
            double z = b[0] * forward[at];
            for (int k = 1; k <= order; ++k)
                z += a[k] * backward[at + k] + b[k] * forward[at + k];
            backward[at] = z;
        }
        input.swap(backward);
    }
    // `input` now holds the last result.
    for (int i = 0; i < n; ++i)
        out[i] = toSample16(input[std::size_t(i + base)]);
}
