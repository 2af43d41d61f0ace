#pragma once

#include "analysis/detection/TLeadWaveRecord.h"
#include "analysis/detection/TQrsDetectorParameters.h"

#include <limits>

class TScaleWindow;

// The waves of one beat in one lead, read off the lead's wavelet scales
// once the beat's QRS position and the next beat's are known.
//
// The QRS is delineated on scale 2^2: the strongest positive and negative
// maxima within 0.1 s of the QRS position are its main slopes, and the
// main wave lies where the scale crosses zero between them. A weaker
// maximum of the opposite sign (above 10 % of the main one) within 0.05 s
// before the first main slope is the Q wave's slope, within 0.05 s after
// the last main slope the S wave's; their crossings are the first and last
// QRS waves, and the QRS onset and offset lie just outside them (0.005 s),
// or 0.04 s outside the main slopes when there is no Q or S wave.
//
// With the P/T search on, P and T are looked for on scale 2^4, each as the
// crossing between a pair of opposite maxima above a fraction of the QRS's
// own strength on that scale, of similar strength (the weaker at least 30 %
// of the stronger) and both within the pair span of the crossing (twice
// that for the wider T wave). The P window is the P search span ending the
// wave gap before the QRS onset (only the P wave's second maximum may come
// closer to the onset); it starts no earlier than the end of the previous
// beat's waves: past its T wave's last maximum, or the wave gap after its
// QRS offset. The T window runs from the wave gap after the QRS offset to
// the P search span, or a quarter of the RR interval when that is shorter,
// before the next QRS.
class TLeadWaveSearch
{
public:
    static constexpr int NoEnd = std::numeric_limits<int>::min();

    TLeadWaveSearch(const TQrsDetectorParameters& parameters, int rate);

    // The record of the QRS at `position`, whose successor is at `next`.
    // `wavesEnd` tells where the P wave may start (the end of the previous
    // beat's waves; NoEnd when unknown) and receives this beat's: past its T
    // wave's last maximum, or the wave gap after its QRS offset.
    TLeadWaveRecord search(const TScaleWindow& scales, int position, int next, int& wavesEnd) const;
    // How far before a QRS position the search reads the scales.
    int reachBefore() const;

private:
    struct Maximum
    {
        int index = -1;
        double value = 0.0;
        bool isFound() const { return index >= 0; }
    };

    // The modulus maximum of the given sign (+1, -1, or 0 for either) with
    // the largest magnitude above `floor` within [from, to].
    static Maximum strongest(const TScaleWindow& scales, int level, int from, int to, int sign, double floor);
    bool searchQrs(const TScaleWindow& scales, TLeadWaveRecord& record) const;
    void searchP(const TScaleWindow& scales, TLeadWaveRecord& record, int earliest, double threshold) const;
    // Returns the index of the T wave's last maximum, or NoEnd.
    int searchT(const TScaleWindow& scales, TLeadWaveRecord& record, int next, double threshold) const;
    // A wave: the strongest maximum in [from, to] and the strongest one of
    // the opposite sign near it (from `from` up to `partnerTo`), both within
    // `span` of their crossing, in time order; false when there is none.
    static bool wavePair(const TScaleWindow& scales, int from, int to, int partnerTo, int span, double threshold,
                         Maximum& first, Maximum& second);
    // The QRS's strength on scale 2^4, between its onset and offset.
    static double qrsStrength(const TScaleWindow& scales, const TLeadWaveRecord& record);

    bool m_searchPAndT;
    int m_qrsReach;
    int m_sideReach;
    int m_sideMargin;
    int m_mainMargin;
    int m_pSpan;
    int m_pairSpan;
    int m_gap;
    int m_pBound;
    int m_tBound;
};
