#include "analysis/filters/TFirBlockFilter.h"

#include "analysis/signal/TSampleConversion.h"

#include <vector>

namespace {

std::vector<double> tapsOrIdentity(const TFirTable& table)
{
    return table.isEmpty() ? std::vector<double>{1.0} : table.taps();
}

} // namespace

TFirBlockFilter::TFirBlockFilter(const TFirTable& table)
    : m_kernel(tapsOrIdentity(table))
    , m_delay(m_kernel.length() / 2)
{
}

void TFirBlockFilter::filter(const TBlockPosition&, const qint16* previous, const qint16* current, const qint16* next,
                             int n, qint16* out) const
{
    const int length = m_kernel.length();
    // Inputs x[D - (L-1)] .. x[D + n - 1].
    const int first = m_delay - (length - 1);
    const int span = n + length - 1;
    std::vector<double> window(static_cast<std::size_t>(span));
    for (int i = 0; i < span; ++i)
        window[std::size_t(i)] = neighbourhood(previous, current, next, n, long(first) + i);
    std::vector<double> result(static_cast<std::size_t>(n));
    m_kernel.run(window.data(), n, result.data());
    for (int j = 0; j < n; ++j)
        out[j] = toSample16(result[std::size_t(j)]);
}
