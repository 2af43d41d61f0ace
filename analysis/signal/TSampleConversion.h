#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>

// Conversions from computed (floating-point) values to stored integer samples.
// toSample16 and toSampleInt truncate toward zero, deviceCount rounds to the
// nearest count; values beyond the target range saturate at its ends instead
// of wrapping, and NaN becomes 0, so a filter overshoot can never flip the
// sign of a sample.

// Written without branches so that loops over arrays vectorise.
inline qint16 toSample16(double value)
{
    const double clamped = value != value      ? 0.0
                           : value < -32768.0 ? -32768.0
                           : value > 32767.0  ? 32767.0
                                              : value;
    return static_cast<qint16>(static_cast<int>(clamped));
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

// The acquisition device's scale: 16-bit counts spanning -300.0 ... +300.0 mV.
constexpr double DeviceRangeMillivolts = 600.0;

// A value in millivolts as a count on the device scale:
// round(mV x 65536 / 600), clamped to -32768 ... 32767.
inline qint16 deviceCount(double millivolts)
{
    if (std::isnan(millivolts))
        return 0;
    const double count = std::round(millivolts * 65536.0 / DeviceRangeMillivolts);
    return static_cast<qint16>(std::clamp(count, -32768.0, 32767.0));
}
