#include "analysis/detection/TScaleWindow.h"

#include "analysis/detection/TWaveletTransform.h"

#include <algorithm>
#include <cmath>

namespace {

// Storage per scale, in capacities: the span slides this far before it is
// moved back to the start.
constexpr int StorageCapacities = 4;

} // namespace

TScaleWindow::TScaleWindow(int capacity)
    : m_capacity(std::max(1, capacity))
{
    for (auto& values : m_values)
        values.assign(std::size_t(m_capacity) * StorageCapacities, 0.0);
}

bool TScaleWindow::continues(const TWaveletTransform& transform, int channel, int first, int end) const
{
    return &transform == m_transform && channel == m_channel && first >= m_first && first <= m_end && end >= m_end;
}

void TScaleWindow::compact(int from)
{
    const int kept = m_end - from;
    for (auto& values : m_values) {
        const auto start = values.begin() + std::ptrdiff_t(m_offset + from - m_first);
        std::copy(start, start + kept, values.begin());
    }
    m_offset = 0;
    m_first = from;
}

void TScaleWindow::load(const TWaveletTransform& transform, int channel, int first, int end)
{
    const int newFirst = std::max(first, end - m_capacity);
    const int newEnd = std::max(newFirst, end);
    int readFrom = newFirst;
    if (continues(transform, channel, newFirst, newEnd)) {
        readFrom = m_end;
        if (m_offset + (newEnd - m_first) > int(m_values.front().size()))
            compact(newFirst);
        m_offset += newFirst - m_first;
    } else {
        m_offset = 0;
    }
    m_first = newFirst;
    m_end = newEnd;
    m_transform = &transform;
    m_channel = channel;
    m_validFrom = std::max(m_first, transform.firstValid());
    for (int level = 1; level <= Levels; ++level) {
        double* values = m_values[std::size_t(level - 1)].data() + m_offset + (readFrom - m_first);
        transform.read(level, channel, readFrom, m_end - readFrom, values);
    }
}

void TScaleWindow::assign(int first, int count, const std::array<const double*, Levels>& values)
{
    const int kept = std::clamp(count, 0, m_capacity);
    m_first = first + (count - kept);
    m_end = m_first + kept;
    m_validFrom = m_first;
    m_offset = 0;
    m_transform = nullptr;
    m_channel = -1;
    for (int level = 0; level < Levels; ++level)
        std::copy_n(values[std::size_t(level)] + (count - kept), kept, m_values[std::size_t(level)].begin());
}

bool TScaleWindow::isPeak(int level, int index, int spacing) const
{
    const double centre = value(level, index);
    return value(level, index - spacing) < centre && centre > value(level, index + spacing);
}

bool TScaleWindow::isTrough(int level, int index, int spacing) const
{
    const double centre = value(level, index);
    return value(level, index - spacing) > centre && centre < value(level, index + spacing);
}

bool TScaleWindow::isModulusMaximum(int level, int index, int firstSpacing, int lastSpacing) const
{
    const double centre = value(level, index);
    for (int spacing = firstSpacing; spacing <= lastSpacing; ++spacing) {
        if (centre > 0.0 ? isPeak(level, index, spacing) : centre < 0.0 && isTrough(level, index, spacing))
            return true;
    }
    return false;
}

std::array<double, TScaleWindow::Levels> TScaleWindow::rms(int from, int to) const
{
    from = std::max(from, m_first);
    to = std::min(to, m_end);
    std::array<double, Levels> result{};
    if (to <= from)
        return result;
    std::array<const double*, Levels> values;
    for (int level = 0; level < Levels; ++level)
        values[std::size_t(level)] = m_values[std::size_t(level)].data() + (m_offset + from - m_first);
    std::array<double, Levels> sums{};
    for (int i = 0; i < to - from; ++i) {
        for (int level = 0; level < Levels; ++level)
            sums[std::size_t(level)] += values[std::size_t(level)][i] * values[std::size_t(level)][i];
    }
    for (int level = 0; level < Levels; ++level)
        result[std::size_t(level)] = std::sqrt(sums[std::size_t(level)] / (to - from));
    return result;
}

int TScaleWindow::signChangeAfter(int level, int from, int to) const
{
    const bool positive = value(level, from) > 0.0;
    for (int index = from + 1; index <= to; ++index) {
        const double v = value(level, index);
        if (positive ? v <= 0.0 : v >= 0.0)
            return index;
    }
    return to + 1;
}

int TScaleWindow::zeroCrossing(int level, int from, int to) const
{
    const int after = signChangeAfter(level, from, to);
    if (after > to)
        return NoCrossing;
    return std::fabs(value(level, after - 1)) < std::fabs(value(level, after)) ? after - 1 : after;
}
