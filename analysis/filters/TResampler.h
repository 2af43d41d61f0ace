#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Band-limited sampling-rate conversion of a whole signal, for records
// taken at another rate than the analysis expects (128, 250, 257, 360, 500,
// 1024 Hz ... to 1000 Hz).
//
// Both rates are taken to the nearest microhertz, so their ratio is the
// rational number up / down in lowest terms. Output sample k lies at input
// position k * down / up; it is the input filtered by a Kaiser-windowed
// sinc low-pass centred on that position, so the conversion has no delay
// (a wave keeps its time) and unit gain in the pass band. The low-pass
// passes up to 0.4 and stops (80 dB) from 0.5 of the lower of the two
// rates: no aliases when the rate goes down, no images when it goes up.
//
// The filter is tabulated in phases (fractions of an input sample): one
// phase per distinct output position when there are at most MaxPhases of
// them, which makes the conversion exact polyphase filtering; for ratios
// with a larger `up`, MaxPhases phases with linear interpolation between
// neighbouring phases. Every phase is normalised to unit gain at 0 Hz.
// Before its first and after its last sample the input is taken to hold
// its first and last value, so a record that starts or ends off zero
// shows no ringing there.
class TResampler
{
public:
    static constexpr int MaxPhases = 4096;
    static constexpr double AttenuationDb = 80.0;
    static constexpr double PassFraction = 0.4; // of the lower rate
    static constexpr double StopFraction = 0.5;

    // Throws std::runtime_error unless both rates lie between 1 Hz and 1 MHz.
    TResampler(double inputRate, double outputRate);

    // Equal rates: resample() returns its input unchanged.
    bool isPassThrough() const { return m_up == m_down; }
    // The rate ratio output / input in lowest terms.
    std::int64_t up() const { return m_up; }
    std::int64_t down() const { return m_down; }

    // round(inputLength x output rate / input rate).
    std::size_t outputLength(std::size_t inputLength) const;

    std::vector<double> resample(const std::vector<double>& input) const;

private:
    void buildTable(double inputRate, double outputRate);
    // The filter at input position (phase / m_up) past window[m_before].
    double filterAt(const double* window, std::int64_t phase) const;
    double dot(int row, const double* window) const;

    std::int64_t m_up = 1;
    std::int64_t m_down = 1;
    int m_phases = 1;   // tabulated phases per input sample
    int m_width = 1;    // taps per row
    int m_before = 0;   // taps before the input sample a position falls in
    std::vector<double> m_table; // (m_phases + 1) rows of m_width taps
};
