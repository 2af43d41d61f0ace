#pragma once

#include <algorithm>
#include <cmath>

// Rounding of sample positions and measurements computed in floating point.

// Truncation toward zero. Values that are whole numbers in exact
// arithmetic (sample positions from beat times, milliseconds between marks,
// microvolts) come out a hair below them in floating point, so a value
// within 1e-6 of a whole number is taken as that number first: 730.9999999
// samples, or 159.9999999 ms between two marks, must not lose a unit.
inline double truncateNearWhole(double value)
{
    const double nearest = std::round(value);
    return std::fabs(value - nearest) < 1e-6 ? nearest : std::trunc(value);
}

// A position as int, kept within +-1e9 samples: far outside any signal,
// so reads there give zeros, and clear of overflow when lengths are added.
// A position that is not finite goes to the far negative end.
inline int boundedPosition(double position)
{
    constexpr double Far = 1e9;
    if (!std::isfinite(position))
        return int(-Far);
    return int(std::clamp(position, -Far, Far));
}
