#pragma once

#include <vector>

class TLiveBeatAverager;
class TWaveMarks;

// Wave boundaries found on one averaged beat: sample indices into the beat
// at its own rate, 0 where a wave was not found.
struct TWaveDelineation
{
    int pOnset = 0;
    int pPeak = 0;
    int pOffset = 0;
    int qrsOnset = 0;
    int qrsOffset = 0;
    int tOnset = 0;
    int tPeak = 0;
    int tOffset = 0;
    int lead = 0;

    // Writes "POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset",
    // "TOnset" and "TOffset" as seconds relative to the beat's centre index
    // ((index - centre) / rate). A wave that was not found is written as 0,
    // the registry's "not set", rather than as the time of sample 0.
    void storeInto(TWaveMarks& marks, int samplingRate, int centre) const;
};

// Delineation of an averaged beat. The beat is reduced to 250 Hz (means
// of groups of trunc(fs / 250) samples); the QRS onset is where the
// signal's local range falls below a fraction of the QRS amplitude before
// the centre, the QRS offset where the smoothed beat changes much before
// and little after; P and T lie between the steepest rise and fall of the
// smoothed beat before the QRS onset and after the QRS offset. Every index
// is kept inside the beat, whatever the centre and window passed.
class TWaveDelineator
{
public:
    // Beats with a smaller peak-to-peak amplitude (counts) have no waves.
    static constexpr double MinimumPeakToPeak = 10.0;

    // Delineates `beat` (rate fs, centre index C, search window W samples).
    TWaveDelineation delineate(const std::vector<double>& beat, int samplingRate, int centre, int window);
    // Delineates a lead of an averager with its rate and centre and a
    // window of trunc(0.75 * fs) samples; the result carries the lead.
    TWaveDelineation delineate(const TLiveBeatAverager& averager, int lead);

private:
    int qrsOnset(int centre) const;
    int qrsOffset(int onset, int centre) const;
    void findP(int qrsOnset, int window, TWaveDelineation& result) const;
    void findT(int qrsOffset, int window, TWaveDelineation& result) const;
    int peakIndex(int around, bool largest) const;
    double localRange(int k) const;

    // The beat at 250 Hz.
    std::vector<double> m_x;
};
