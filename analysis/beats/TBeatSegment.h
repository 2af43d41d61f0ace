#pragma once

class TBeat;
class TSignal;

// Geometry of the one-second averaged beat at a sampling rate fs: N = fs
// samples with the centre index C = trunc(0.5 * fs) on the QRS. A beat
// segment of a lead at QRS time T is the N samples starting at
// trunc((T - 0.5) * fs), minus their own mean; samples the signal does not
// hold read as 0, so segments near either end of a recording are safe.
class TBeatSegment
{
public:
    explicit TBeatSegment(int samplingRate);

    int samplingRate() const { return m_rate; }
    int length() const { return m_length; }
    int centre() const { return m_centre; }

    // First sample of the segment at QRS time `seconds`, truncated as
    // truncateNearWhole does and bounded as boundedPosition does.
    int startIndex(double seconds) const;

    // Reads the segment of `lead` at `seconds` into out[0 .. length()).
    void read(const TSignal& signal, int lead, double seconds, double* out) const;

    // RR interval over the running mean RR of a beat (values 1 and 2), or 0
    // when either is not positive.
    static double rrToMeanRatio(const TBeat& beat);

private:
    int m_rate;
    int m_length;
    int m_centre;
};
