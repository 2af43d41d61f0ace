#pragma once

#include <QtGlobal>

#include <cmath>
#include <limits>

// Conversions from computed (floating-point) values to stored integer samples.
// Every conversion truncates toward zero; values beyond the target range
// saturate at its ends instead of wrapping, and NaN becomes 0, so a filter
// overshoot can never flip the sign of a sample.

inline qint16 toSample16(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 32767.0)
        return 32767;
    if (value <= -32768.0)
        return -32768;
    return static_cast<qint16>(value);
}

inline int toSampleInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}
