#pragma once

#include "analysis/beats/TBeatPauses.h"

#include <array>
#include <memory>
#include <optional>
#include <vector>

class TLatePotentials;
class TLiveBeatAverager;
class TReviewFilterChain;
class TSignalBuffer16;
class TStudy;
class TWaveMarks;

// The analysis of a recorded study under review, shared by the review
// window and the headless analysis: the study's ECG filtered for averaging
// (the averaging chain, low-pass "40hz"), every stored beat averaged (the
// main averager), the seven wave marks of the averaged beat (the study's
// stored ones, or found automatically on a precordial lead) and the late
// potentials of the averaged beat.
//
// Marks are kept as the study stores them: seconds from the centre of the
// averaged beat, 0 for a mark that is not set.
class TReviewAnalysis
{
public:
    static constexpr int MarkCount = 7;
    using Marks = std::array<double, MarkCount>;
    // The study results behind the marks: P onset, P offset, P peak, QRS
    // onset, QRS offset, T onset, T offset.
    static const std::array<const char*, MarkCount>& markNames();
    // The study result holding the mean RR interval (seconds).
    static constexpr const char* MeanRrName = "avgRRInterval";

    // The study must outlive the analysis.
    explicit TReviewAnalysis(TStudy& study);
    ~TReviewAnalysis();
    TReviewAnalysis(const TReviewAnalysis&) = delete;
    TReviewAnalysis& operator=(const TReviewAnalysis&) = delete;

    // Sets the averaging chain's notch and low-pass filters, before any
    // beat is added (the main averager and the late-potential analysis are
    // made again on the new output); throws what the chain throws, keeping
    // the filters built before the failure.
    void configureAveraging(bool notch, bool lowPass);
    // Every stored beat into the main averager, which then finishes (a
    // recording of fewer than ten beats still gets averaged beats).
    void addStoredBeats();

    // The study's marks when the QRS onset and offset are set (a mark of 0
    // is a wave not found).
    std::optional<Marks> storedMarks() const;
    // The marks delineated on the averaged beat of automaticMarksLead(),
    // with the QRS limits, T offset and P onset found over all leads;
    // nothing when the recording has none of its leads.
    std::optional<Marks> automaticMarks() const;
    // The lead automatic marks are found on: "V5", else "V6", "V4", "II",
    // the first whose averaged beat is not flat; -1 when there is none.
    int automaticMarksLead() const;
    // Writes the marks and the mean RR interval into the study's results.
    // A boundary mark that differs from the one stored (moved by hand)
    // replaces the boundary found over all leads beside it, so that the
    // mark decides its intervals.
    void storeMarks(const Marks& marks, double meanRrSeconds);
    // Delineates every lead of the averaged beat together
    // (TMultiLeadDelineator) and stores the boundaries beside the marks:
    // after automatic marks, which they then measure.
    void storeMultiLeadBoundaries();

    // Mean RR interval (seconds) of the valid stored beats whose interval
    // is known; 0 when there is none.
    double recordingMeanRr() const;
    // The pauses between the stored beats, normal and rejected, and the
    // longest interval between two of them, not across a join
    // (TBeatPauses).
    std::vector<TBeatPauses::Pause> pauses() const;
    double longestRr() const;
    // Seconds from the first sample of an averaged beat to its centre.
    double alignmentTime() const;

    // Late potentials. The settings are kept with the study as named
    // results: "LPCutoff", "LPLASThreshold", "LPRMSDuration", and
    // "LPOnset" and "LPOffset" while the operator holds the QRS limits by
    // hand (0 while the search places them). Restoring applies them; a
    // study recorded before they were kept gets `defaultCutoff` and the
    // analysis's defaults. Every change below, and computing, recomputes the
    // analysis (limits not held by hand searched afresh) and stores the
    // settings again.
    void restoreLatePotentialSettings(int defaultCutoff);
    // A new cutoff searches the limits again unless they are held by hand.
    void setLatePotentialCutoff(int hertz);
    void setLasThreshold(int microvolts);
    void setRmsDuration(int samples);
    // The operator's limits (sample indices of the averaged beat); both 0
    // give them back to the search.
    void setLatePotentialLimits(int onset, int offset);
    bool latePotentialLimitsByHand() const { return m_limitsByHand; }
    // Whether a study's results hold the QRS limits by hand.
    static bool latePotentialLimitsByHand(const TWaveMarks& results);
    void computeLatePotentials();

    TReviewFilterChain& averagingChain() const { return *m_averagingChain; }
    TLiveBeatAverager& mainAverager() const { return *m_mainAverager; }
    TLatePotentials& latePotentials() const { return *m_latePotentials; }

private:
    // The stored beats' times in seconds, ascending.
    std::vector<double> storedBeatTimes() const;
    // Wave positions (samples of the averaged beat) of the marks' lead,
    // with the QRS, T offset and P onset found over all leads put in.
    void takeBoundariesOverAllLeads(std::array<int, MarkCount>& positions) const;
    // A fresh main averager and late-potential analysis on the chain's output.
    void attachAverager();
    void storeLatePotentialSettings();
    double result(const char* name) const;
    void setResult(const char* name, double value);

    TStudy& m_study;
    std::unique_ptr<TReviewFilterChain> m_averagingChain;
    // The averaging chain's output for the whole recording.
    std::unique_ptr<TSignalBuffer16> m_averagedSignal;
    std::unique_ptr<TLiveBeatAverager> m_mainAverager;
    std::unique_ptr<TLatePotentials> m_latePotentials;
    bool m_limitsByHand = false;
};
