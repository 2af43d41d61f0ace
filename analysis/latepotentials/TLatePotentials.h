#pragma once

#include <array>
#include <vector>

class TLiveBeatAverager;

// Time-domain late potentials of the signal-averaged ECG. The orthogonal
// leads X, Y and Z are synthesised from the averaged beats of leads I, II
// and V1 to V6 (inverse Dower transform, millivolts), high-pass filtered
// with a 4th-order Butterworth filter run from both ends of the beat toward
// its centre, and combined into the vector magnitude. On it the filtered
// QRS is delimited (automatically, or by hand) and measured: its duration
// QRSD, the RMS voltage of its last RMS-duration samples, and the duration
// LAS of its terminal signal below the LAS threshold. Durations are in
// samples (milliseconds at 1000 Hz).
class TLatePotentials
{
public:
    static constexpr int DefaultHighPassCutoff = 25;
    static constexpr int DefaultLasThreshold = 40; // microvolts
    static constexpr int DefaultRmsDuration = 40;  // samples
    // Vector magnitude below which a 10-sample window counts as quiet (mV).
    static constexpr double QuietLevel = 0.005;
    // Farthest the automatic search goes from the centre (samples).
    static constexpr int SearchReach = 120;

    explicit TLatePotentials(const TLiveBeatAverager& averager);

    // 40 selects the 40 Hz filter, any other value the 25 Hz one.
    void setHighPassCutoff(int hertz) { m_cutoff = hertz; }
    int highPassCutoff() const { return m_cutoff; }
    void setLasThreshold(int microvolts) { m_lasThreshold = microvolts; }
    int lasThreshold() const { return m_lasThreshold; }
    void setRmsDuration(int samples) { m_rmsDuration = samples; }
    int rmsDuration() const { return m_rmsDuration; }
    // QRS limits: sample indices into the averaged beat, 0 = not set.
    void setOnset(int index) { m_onset = index; }
    int onset() const { return m_onset; }
    void setOffset(int index) { m_offset = index; }
    int offset() const { return m_offset; }

    // Synthesises X, Y and Z from the averager's beats and analyses them.
    void compute();
    // Analyses orthogonal leads given directly (millivolts; each is cut or
    // zero-padded to the averaged beat's length).
    void computeFromOrthogonal(const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<double>& z);

    int QRSD() const { return m_offset - m_onset; }
    int RMS() const;
    int LAS() const;

    const std::vector<double>& x() const { return m_x; }
    const std::vector<double>& y() const { return m_y; }
    const std::vector<double>& z() const { return m_z; }
    const std::vector<double>& filteredX() const { return m_filteredX; }
    const std::vector<double>& filteredY() const { return m_filteredY; }
    const std::vector<double>& filteredZ() const { return m_filteredZ; }
    const std::vector<double>& vectorMagnitude() const { return m_magnitude; }

    const TLiveBeatAverager& averager() const { return *m_averager; }
    int length() const { return m_length; }
    int centre() const { return m_centre; }

    // X, Y and Z (in the unit of the inputs) from the values of leads I,
    // II, V1, V2, V3, V4, V5 and V6, in that order.
    static std::array<double, 3> inverseDower(const std::array<double, 8>& leads);

    // RMS voltage in microvolts of vm[offset - duration .. offset - 1] (the
    // offset sample excluded), truncated as truncateNearWhole does (20 uV
    // computed as 19.999999999 is 20); 0 when onset >= offset or
    // duration <= 0. A window reaching outside the beat is limited to the
    // samples that exist.
    static int rmsMicrovolts(const std::vector<double>& vm, int onset, int offset, int duration);
    // Samples counted from the offset backwards while vm stays below the
    // threshold, when that run ends above the onset; otherwise 0. Samples
    // beyond the beat's ends do not count.
    static int lasSamples(const std::vector<double>& vm, int onset, int offset, int thresholdMicrovolts);

private:
    void analyse();
    void filterLead(const std::vector<double>& lead, std::vector<double>& filtered) const;
    void searchLimits();
    // Largest vm over the samples of [from, to) that exist; -1 when none.
    double peakMagnitude(int from, int to) const;

    const TLiveBeatAverager* m_averager;
    int m_length;
    int m_centre;
    int m_cutoff = DefaultHighPassCutoff;
    int m_onset = 0;
    int m_offset = 0;
    int m_lasThreshold = DefaultLasThreshold;
    int m_rmsDuration = DefaultRmsDuration;
    std::vector<double> m_x;
    std::vector<double> m_y;
    std::vector<double> m_z;
    std::vector<double> m_filteredX;
    std::vector<double> m_filteredY;
    std::vector<double> m_filteredZ;
    std::vector<double> m_magnitude;
};
