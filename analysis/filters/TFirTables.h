#pragma once

#include <QString>

#include <vector>

// A linear-phase FIR table h[0 .. L-1] with its delay D = L / 2 (integer
// division). An empty table (no taps) stands for "no filtering": the stages
// and block filters that get one pass their input through unchanged.
class TFirTable
{
public:
    TFirTable() = default;
    explicit TFirTable(std::vector<double> taps);
    // Mirrors a first half of (length + 1) / 2 values into a symmetric table.
    static TFirTable fromHalf(const double* firstHalf, int length);

    const std::vector<double>& taps() const { return m_taps; }
    const double* data() const { return m_taps.data(); }
    int length() const { return int(m_taps.size()); }
    int delay() const { return length() / 2; }
    bool isEmpty() const { return m_taps.empty(); }
    double operator[](int k) const { return m_taps[std::size_t(k)]; }

private:
    std::vector<double> m_taps;
};

// The fixed coefficient tables and their selection by name and
// rate. Tables are built once, on first use, and live for the program.
namespace TFirTables {

const TFirTable& lowPass40Hz500();  // 12 taps, -3 dB at 40 Hz
const TFirTable& lowPass25Hz500();  // 19 taps, -3 dB at 25 Hz
const TFirTable& lowPass25Hz1000(); // 34 taps, DC gain 1.01
const TFirTable& lowPass40Hz1000(); // 41 taps, -6 dB at 40 Hz
const TFirTable& lowPass250();      // 62 taps, any name
const TFirTable& decimation();      // 29 taps, 1000 to 500 Hz
const TFirTable& displayBaseline(); // 1501 taps at 500 Hz
const TFirTable& empty();           // no taps

// Low-pass by name ("40hz", "25hz") and rate: the 62-tap table at 250 Hz
// whatever the name; at 500 Hz the 12-tap table unless the name is "25hz"
// (19 taps); at 1000 Hz the 41-tap table unless "25hz" (34 taps). A name
// that is neither "40hz" nor "25hz", or another rate, gives the empty table.
const TFirTable& lowPass(const QString& name, int rate);
// Mains notch by name ("50hz", "60hz") and rate (250, 500, 1000); empty
// for any other name or rate.
const TFirTable& notch(const QString& name, int rate);
// Baseline "fir" high-pass of the rate (250, 500, 1000); empty otherwise.
const TFirTable& baseline(int rate);
// The monitor low-pass: 62 taps at 250 Hz, 12 at 500 Hz, 41 at any other rate.
const TFirTable& monitorLowPass(int rate);

} // namespace TFirTables
