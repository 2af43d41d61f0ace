#pragma once

#include <QString>

#include <stdexcept>

// The largest recording taken in from another system. A recording is held
// whole in memory while it is converted to the device's leads and
// recorded (about 12 bytes per sample of the file, then 28 bytes per
// millisecond for the fourteen leads), so its size, not the memory of
// the machine, decides whether an import can succeed: within these limits
// it stays below 1 GB. A larger one is refused before its samples are read.
namespace TRecordingLimits {

constexpr double MaximumHours = 2.0;
constexpr double MaximumSeconds = MaximumHours * 3600.0;
// The longest study a workstation records live and an archive may carry:
// a day. Its files are written and copied piece by piece, never held whole,
// so this only bounds what an archive member may inflate to.
constexpr double MaximumStudySeconds = 24.0 * 3600.0;
// Samples of all signals together: 12 leads at 1000 Hz for 55 minutes.
constexpr double MaximumSamples = 40e6;

// Throws std::runtime_error naming the file when a recording of `seconds`
// with `samples` samples of all signals together is beyond the limits.
inline void requireSize(const QString& path, double seconds, double samples)
{
    if (!(seconds <= MaximumSeconds))
        throw std::runtime_error(QStringLiteral("%1 lasts %2 h; recordings of up to %3 h are taken in")
                                     .arg(path)
                                     .arg(seconds / 3600.0, 0, 'f', 1)
                                     .arg(MaximumHours)
                                     .toStdString());
    if (!(samples <= MaximumSamples))
        throw std::runtime_error(QStringLiteral("%1 holds %2 million samples; recordings of up to %3 million "
                                                "samples (all signals together) are taken in")
                                     .arg(path)
                                     .arg(samples / 1e6, 0, 'f', 1)
                                     .arg(MaximumSamples / 1e6)
                                     .toStdString());
}

} // namespace TRecordingLimits
