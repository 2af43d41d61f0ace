#pragma once

#include <vector>

// Detected beat times scored against reference beat times as QRS detectors
// are scored on annotated databases: a detection within the match window
// of a reference beat (150 ms by the standard rules) is a true positive,
// each reference beat taking at most one detection, the nearest one still
// free; a reference beat left without one is a false negative, a detection
// left over a false positive.
struct TBeatMatching
{
    static constexpr double StandardWindow = 0.15; // s

    long truePositives = 0;
    long falseNegatives = 0;
    long falsePositives = 0;

    // Both lists in seconds, in increasing order.
    static TBeatMatching match(const std::vector<double>& reference, const std::vector<double>& detected,
                               double window = StandardWindow);

    void add(const TBeatMatching& other);
    // Se = TP / (TP + FN) and +P = TP / (TP + FP), in percent; 0 when
    // there is nothing to count.
    double sensitivity() const;
    double positivePredictivity() const;
};
