#pragma once

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatCorrelator.h"
#include "analysis/beats/TBeatSegment.h"

#include <vector>

class TSignal;

// Per-lead signal averaging with template matching. The first beats are
// kept until ten have arrived; from them each lead builds a template (the
// mean of the beats that resemble the provisional mean of the list,
// aligned on it). From then on every beat with a regular RR interval is
// aligned on each lead's average by cross-correlation of the centre 0.1 s
// and, when the correlation reaches 0.96, enters that lead's running mean.
// Averages are segment-length vectors of signal counts. Adding a beat
// reuses buffers allocated at construction; only the list of first beats
// grows while some lead still lacks a template.
class TLiveBeatAverager
{
public:
    static constexpr int TemplateBeatCount = 10;
    // First beats kept while some lead has no template.
    static constexpr int FirstBeatLimit = 4 * TemplateBeatCount;
    static constexpr double AcceptedCorrelation = 0.96;

    explicit TLiveBeatAverager(const TSignal& signal);

    // Beats whose valid flag is clear are ignored.
    void add(const TBeat& beat);
    // The recording has ended: a lead still without a template gets one
    // from the first beats there are, by the same rule (at least three
    // beats resembling their provisional mean) except that their RR is
    // judged against the list's median RR, so that a short recording
    // still gives an averaged beat.
    void finish();

    // Beats averaged into the lead; 0 while the lead has no template (and
    // for positions outside the signal's leads).
    int count(int lead) const;
    // The lead's average (zeros outside the signal's leads).
    const std::vector<double>& average(int lead) const;

    // Tells that the lead is zero throughout the signal: it is then not
    // tried for a template, which it could never get.
    void setSilent(int lead);

    const TSignal& signal() const { return *m_signal; }
    int samplingRate() const { return m_segment.samplingRate(); }
    int length() const { return m_segment.length(); }
    int centre() const { return m_segment.centre(); }

    // Whether the RR interval of a beat allows averaging: 0.25 s <= RR <=
    // 2 s and 0.85 <= RR / mean RR <= 1.2.
    static bool hasRegularRr(const TBeat& beat);

private:
    static bool isRegularRr(double rr, double ratio);
    bool entersProvisionalMean(const TBeat& beat) const;
    double medianFirstRr() const;
    void buildMissingTemplates();
    void collectFirstBeat(const TBeat& beat);
    void buildTemplate(int lead);
    bool buildProvisionalMean(int lead);
    bool resemblesProvisionalMean(int lead, const TBeat& beat);
    // Reads the lead's segment at qrsTime into the segment buffer and
    // matches its centre window against `referenceWindow`.
    TBeatCorrelator::Match matchSegment(int lead, double qrsTime, const double* referenceWindow);
    void addToAverage(int lead, double qrsTime);

    const TSignal* m_signal;
    int m_leadCount;
    TBeatSegment m_segment;
    TBeatCorrelator m_correlator;
    std::vector<std::vector<double>> m_averages;
    std::vector<int> m_counts;
    std::vector<double> m_zeros;
    std::vector<TBeat> m_firstBeats;
    // Of the first beats, those resembling the provisional mean being built.
    std::vector<bool> m_resembling;
    std::vector<bool> m_silent;
    int m_firstBeatsSeen = 0;
    bool m_templatesReady = false;
    // The first beats' median RR once the recording has ended, else 0.
    double m_medianRr = 0.0;
    // Work buffers: a segment, the provisional mean with its centre window,
    // a beat's centre window and a lead's reference window.
    std::vector<double> m_segmentBuffer;
    std::vector<double> m_provisional;
    std::vector<double> m_provisionalWindow;
    std::vector<double> m_beatWindow;
    std::vector<double> m_referenceWindow;
};
