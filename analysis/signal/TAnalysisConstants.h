#pragma once

// Program-wide constants of the analysis. All are fixed except the
// low-battery threshold, which the monitor window may replace from its
// settings.
class TAnalysisConstants
{
public:
    TAnalysisConstants() = delete;

    // Filter selections of the live monitor chain.
    static constexpr char MonitorNotchFilter[] = "50hz";
    static constexpr char MonitorLowPassFilter[] = "40hz";
    static constexpr char MonitorBaselineMode[] = "fir";

    // Factor that brings a 16-bit count onto the unit scale (1 / 32768).
    static constexpr double UnitScale = 1.0 / 32768.0;

    // Position of a wave the detector did not find.
    static constexpr int MissingWave = -999999999;

    static constexpr double DefaultLowBatteryThreshold = 2.3;

    // Battery voltage below which the device battery is reported low.
    static double lowBatteryThreshold();
    // Replaces the threshold; a value that is not above 0 is ignored, so an
    // unset or zero setting keeps the current threshold.
    static void setLowBatteryThreshold(double volts);
};
