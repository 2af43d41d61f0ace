#pragma once

#include <array>
#include <vector>

class TWaveletTransform;

// The four wavelet scales of one lead over a span [first, end) of absolute
// sample indices, copied out of the transform so that the detector's inner
// loops read plain arrays. Every index outside the span reads 0, so no
// search can reach outside what was loaded.
//
// The transform only appends values, so a load of the same lead that
// overlaps the span loaded before copies only the values new to the
// window: the span slides along storage a few times the capacity long,
// which is compacted when the span reaches its end.
class TScaleWindow
{
public:
    static constexpr int Levels = 4;
    static constexpr int NoCrossing = -1;

    // Room for `capacity` samples per scale, allocated once.
    explicit TScaleWindow(int capacity);

    int first() const { return m_first; }
    int end() const { return m_end; }
    // The first index whose values are not start-up transients of the
    // transform (the span's first index when nothing precedes it).
    int validFrom() const { return m_validFrom; }

    // Loads [first, end) of a lead, at most capacity() samples (the newest
    // are kept when more are asked for).
    void load(const TWaveletTransform& transform, int channel, int first, int end);
    // Loads [first, first + count) of every scale from plain arrays
    // (values[level - 1][i] for index first + i).
    void assign(int first, int count, const std::array<const double*, Levels>& values);

    // Value of a scale (level 1..4); 0 outside the span.
    double value(int level, int index) const
    {
        return index >= m_first && index < m_end
            ? m_values[std::size_t(level - 1)][std::size_t(m_offset + index - m_first)]
            : 0.0;
    }
    // Strictly above both neighbours `spacing` samples away.
    bool isPeak(int level, int index, int spacing) const;
    // Strictly below both neighbours `spacing` samples away.
    bool isTrough(int level, int index, int spacing) const;
    bool isExtremum(int level, int index, int spacing) const
    {
        return isPeak(level, index, spacing) || isTrough(level, index, spacing);
    }
    // A peak (positive value) or trough (negative value) at any of the
    // spacings first .. last: a modulus maximum of the scale.
    bool isModulusMaximum(int level, int index, int firstSpacing, int lastSpacing) const;
    // Root mean square of each scale (level 1 first) over [from, to)
    // (clipped to the span); 0 when empty. The four sums run side by side.
    std::array<double, Levels> rms(int from, int to) const;
    // The first index after `from`, up to `to` inclusive, whose value has
    // the sign opposite to value(level, from) (or is 0); `to` + 1 when none.
    int signChangeAfter(int level, int from, int to) const;
    // Of the two samples around the sign change after `from`, the one with
    // the smaller magnitude; NoCrossing when the scale keeps its sign up to
    // `to`.
    int zeroCrossing(int level, int from, int to) const;

private:
    // Whether [first, end) of the lead continues the span held now.
    bool continues(const TWaveletTransform& transform, int channel, int first, int end) const;
    // Moves the span's values from `from` on to the start of storage.
    void compact(int from);

    int m_capacity;
    int m_first = 0;
    int m_end = 0;
    int m_validFrom = 0;
    int m_offset = 0; // storage position of m_first
    // What the span was loaded from (none after assign).
    const TWaveletTransform* m_transform = nullptr;
    int m_channel = -1;
    std::array<std::vector<double>, Levels> m_values;
};
