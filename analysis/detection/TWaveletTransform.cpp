#include "analysis/detection/TWaveletTransform.h"

#include <algorithm>

namespace {

// How far before its own index a table reads: L - 1 - L / 2.
int reachBack(int level)
{
    const int length = int(TWaveletScale::taps(level).size());
    return length - 1 - length / 2;
}

} // namespace

TWaveletTransform::TWaveletTransform(const TSignal& signal, int origin, int capacity)
    : m_view(signal)
    , m_firstValid(std::max(origin, reachBack(TWaveletScale::Levels)))
{
    for (int level = 1; level <= TWaveletScale::Levels; ++level)
        m_scales[std::size_t(level - 1)] = std::make_unique<TWaveletScale>(level, m_view, origin, capacity);
}

void TWaveletTransform::advanceTo(int length)
{
    m_view.setLength(length);
    for (auto& scale : m_scales)
        scale->process();
}

void TWaveletTransform::advancePastEnd(int length)
{
    m_view.extendPastEnd(length);
    for (auto& scale : m_scales)
        scale->process();
}

int TWaveletTransform::computedEnd() const
{
    int end = m_scales[0]->computedEnd();
    for (const auto& scale : m_scales)
        end = std::min(end, scale->computedEnd());
    return end;
}

void TWaveletTransform::read(int level, int channel, int start, int count, double* dst) const
{
    if (count <= 0)
        return;
    const int transient = std::clamp(m_firstValid - start, 0, count);
    std::fill(dst, dst + transient, 0.0);
    m_scales[std::size_t(level - 1)]->read(channel, start + transient, count - transient, dst + transient);
}
