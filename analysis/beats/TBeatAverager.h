#pragma once

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatSegment.h"

#include <deque>
#include <vector>

class TSignal;

// Plain mean of the beats of a sliding time window, aligned on the main
// QRS wave of a reference lead. Beats are only collected when added; the
// averages are recomputed when next asked for. The reference lead is the
// one whose main QRS wave is most often found with upright polarity.
class TBeatAverager
{
public:
    TBeatAverager(const TSignal& signal, double windowSeconds);

    // Keeps a copy of the beat and forgets the beats whose window starts
    // `windowSeconds` or more before this one's.
    void add(const TBeat& beat);

    // Recomputes the averages from the retained beats; false (count 0,
    // averages zero) when no beat is accepted.
    bool recompute();

    // Accepted beats of the last recomputation (recomputing first when
    // beats were added since).
    int count();
    const std::vector<double>& average(int lead);
    // Mean RR interval of the accepted beats (seconds; 0 without any).
    double meanRrInterval();
    int referenceLead();

    // A second averaged beat per lead, shown beside the first by the
    // displays; it is only ever cleared here, by a full reset.
    const std::vector<double>& secondAverage(int lead) const;

    // Forgets the beats and clears the averages; a full reset also clears
    // the second averaged beats.
    void reset(bool full);

    int retainedCount() const { return int(m_beats.size()); }
    double windowSeconds() const { return m_windowSeconds; }
    const TSignal& signal() const { return *m_signal; }
    int samplingRate() const { return m_segment.samplingRate(); }
    int length() const { return m_segment.length(); }
    int centre() const { return m_segment.centre(); }

private:
    bool hasUprightMainWave(const TBeat& beat, int lead) const;
    int chooseReferenceLead() const;
    bool isAccepted(const TBeat& beat) const;
    void clearAverages();
    void refresh();

    const TSignal* m_signal;
    int m_leadCount;
    double m_windowSeconds;
    TBeatSegment m_segment;
    std::deque<TBeat> m_beats;
    std::vector<std::vector<double>> m_averages;
    std::vector<std::vector<double>> m_secondAverages;
    std::vector<double> m_zeros;
    std::vector<double> m_segmentBuffer;
    int m_count = 0;
    double m_meanRr = 0.0;
    int m_referenceLead = 0;
    bool m_stale = false;
};
