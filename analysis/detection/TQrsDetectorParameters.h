#pragma once

// The fixed parameters of the QRS detector, in seconds. Only the P/T search
// switch is chosen when a detector is created; the application leaves it off.
struct TQrsDetectorParameters
{
    // Search P and T waves besides the QRS of every beat.
    bool searchPAndT = false;
    // Half-width of the search for matching maxima one scale down.
    double scaleSearchHalfWidth = 0.05;
    // Two marks of the same sign closer than this keep only the stronger.
    double redundancyWindow = 0.2;
    // P and T search: length of the P window before the QRS onset, largest
    // distance of a wave's maxima from its crossing, and the gap kept between
    // a P or T window and the QRS bounds.
    double pSearchSpan = 0.2;
    double wavePairSpan = 0.06;
    double waveGap = 0.04;
    // Mean RR interval assumed before any beat is known.
    double initialMeanRr = 0.75;
};
