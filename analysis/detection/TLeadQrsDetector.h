#pragma once

#include "analysis/detection/TLeadWaveSearch.h"
#include "analysis/detection/TMarkBuffer.h"
#include "analysis/detection/TQrsDetectorParameters.h"

#include <array>

class TScaleWindow;
class TWaveRecordQueue;

// Finds the QRS complexes of one lead on its wavelet scales, range by range.
//
// For a range [start, end): the thresholds come from the root mean square
// of each scale over the 4 s before `end`; every index of the range whose
// scale-2^4 value is a strong local extremum is followed down through
// matching strong extrema at 2^3 and 2^2, and each 2^2 extremum reached is
// marked with its sign. Marks are cleaned (a mark without a mark of the
// opposite sign within 0.15 s goes, and of two marks of the same sign
// within the redundancy window the one weaker at 2^3 goes) and scanned in
// pairs of opposite sign less than 0.15 s apart; each pair gives a QRS
// position, the zero crossing of scale 2^2 between them. A QRS less than
// 0.15 s after the previous one is ignored; one more than 1.4 mean RR after
// it first makes the lead search that interval again at 0.7 times the
// thresholds. Each accepted QRS completes the previous one's wave record.
//
// Cleaning and scanning run behind the marking: a mark is cleaned once
// every mark that can still appear near it has been placed, and scanned
// once it is clean. The outcome therefore depends only on the sequence of
// ranges, not on how the marks of one range were split.
class TLeadQrsDetector
{
public:
    // Thresholds of the scales 2^1 .. 2^4 (index level - 1).
    using Thresholds = std::array<double, 4>;

    TLeadQrsDetector(const TQrsDetectorParameters& parameters, int rate, int start);

    // Detects the QRS complexes of [start, end) and appends to `records` the
    // wave record of every QRS whose successor became known. `scales` must
    // hold the lead's scales from lookBehind() before `start` to about 0.1 s
    // after `end` (whatever lies outside reads 0). A range that starts more
    // than 3 s after the last one ended (or before it) restarts the lead:
    // its previous QRS and pending marks are forgotten.
    void process(const TScaleWindow& scales, int start, int end, TWaveRecordQueue& records);
    // The signal ended at `end`, the end of the last range processed:
    // cleans and scans the marks up to it and appends the records of every
    // QRS still held, the last one included (it has no successor).
    void finish(const TScaleWindow& scales, int end, TWaveRecordQueue& records);

    // The last accepted QRS, whose record comes once the next QRS is
    // accepted; TLeadWaveRecord::Missing when there is none.
    int unreportedQrs() const { return m_hasPrevious ? m_previous : TLeadWaveRecord::Missing; }
    // Its strength (TLeadWaveRecord::strength).
    float unreportedStrength() const { return m_hasPrevious ? m_previousStrength : 0.0f; }
    double meanRr() const { return m_meanRr; }
    // The median scale-2^4 modulus of the lead's recent QRSs; 0 before
    // the first.
    double typicalModulus() const;
    const Thresholds& thresholds() const { return m_thresholds; }
    // Search-backs done since creation.
    int searchBackCount() const { return m_searchBacks; }
    // How far before a range's start the lead reads its scales.
    int lookBehind() const;

private:
    void restart(int start);
    void computeThresholds(const TScaleWindow& scales, int end);
    // Marks the maxima of the indices [from, to) with the thresholds times
    // `factor`, writing marks only inside [lo, hi).
    void markMaxima(const TScaleWindow& scales, int from, int to, double factor, int lo, int hi);
    bool matchesAtLevel3(const TScaleWindow& scales, int index, int sign, double threshold) const;
    bool matchesAtLevel2(const TScaleWindow& scales, int index, int sign, double threshold) const;
    // Cleaning of the marks in [from, to), looking at marks in [lo, hi).
    void removeIsolated(int from, int to, int lo, int hi);
    void removeRedundant(const TScaleWindow& scales, int from, int to, int lo, int hi);
    // Cleans the marks below `end` and scans those that are clean.
    void settle(const TScaleWindow& scales, int isolatedEnd, int redundantEnd, TWaveRecordQueue& records);
    void scan(const TScaleWindow& scales, int end, TWaveRecordQueue& records);
    int qrsPosition(const TScaleWindow& scales, int first, int second) const;
    void searchBack(const TScaleWindow& scales, int position);
    void accept(const TScaleWindow& scales, int position, int pairEnd, TWaveRecordQueue& records);
    float strength(const TScaleWindow& scales, int position);
    // Forgets what left the mark buffer after it moved.
    void dropUncovered();

    int m_rate;
    double m_period;
    int m_halfWidth;    // search half-width across scales
    int m_isolation;    // a mark needs an opposite one within this
    int m_redundancy;   // same-sign marks within this compete
    int m_pairLimit;    // the marks of a pair are closer than this
    int m_refractory;   // search-back starts and ends this far from QRSs
    int m_gapLimit;     // a longer gap between ranges restarts the lead
    int m_thresholdSpan;
    int m_recentSpan;
    TLeadWaveSearch m_waveSearch;
    TMarkBuffer m_marks;

    Thresholds m_thresholds{};
    double m_meanRr;
    int m_lastProcessed;
    // Cleaning and scanning frontiers: marks below them are done.
    int m_isolatedEnd;
    int m_redundantEnd;
    int m_scanEnd;
    // The mark waiting for its partner.
    bool m_scanning = false;
    int m_current = 0;
    int m_currentSign = 0;
    // The last accepted QRS.
    bool m_hasPrevious = false;
    int m_previous = 0;
    float m_previousStrength = 0.0f;
    // Scale-2^4 moduli of the last QRSs accepted.
    static constexpr int ModuliKept = 16;
    std::array<float, ModuliKept> m_moduli{};
    int m_moduliCount = 0;
    int m_moduliNext = 0;
    int m_previousPairEnd = 0;
    int m_previousWavesEnd; // where the next P wave may start
    bool m_searchedBack = false;
    // Where the last search-back ended; a QRS before it was found by it.
    int m_searchBackEnd = 0;
    int m_searchBacks = 0;
};
