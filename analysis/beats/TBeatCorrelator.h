#pragma once

#include <vector>

// Cross-correlation alignment of beat segments on their centre: the 2W
// samples C - W .. C + W - 1 of a segment of length N, scaled to unit
// Euclidean norm, are compared at every lag. Works in caller-owned buffers
// of windowLength() values and a buffer of its own made at construction,
// so it allocates nothing.
class TBeatCorrelator
{
public:
    struct Match
    {
        double correlation; // largest cross-correlation value
        int lag;            // samples the beat lies before the reference
    };

    TBeatCorrelator(int segmentLength, int centre, int halfWidth);

    int windowLength() const { return 2 * m_halfWidth; }

    // The centre window of `segment`, normalised (left unscaled when its
    // norm is below 1e-6). Indices outside the segment read as 0.
    void centreWindow(const double* segment, double* window) const;

    // The full cross-correlation of two centre windows (the reversed beat
    // window convolved with the reference window, 4W - 1 values): its first
    // largest value, and the lag m - (4W - 1) / 2 of that index m. Taking
    // the beat segment again (lag / fs) seconds earlier lines it up with
    // the reference. Empty windows give correlation 0 at lag 0.
    Match match(const double* beatWindow, const double* referenceWindow) const;

private:
    int m_segmentLength;
    int m_centre;
    int m_halfWidth;
    // The reference window with a window's length of zeros either side.
    mutable std::vector<double> m_padded;
};
