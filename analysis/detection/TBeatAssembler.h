#pragma once

#include "analysis/beats/TBeat.h"
#include "analysis/detection/TLeadFollowing.h"
#include "analysis/detection/TLeadUsability.h"
#include "analysis/detection/TQrsFusion.h"
#include "analysis/detection/TRrRing.h"

#include <array>

class TBeatListener;
class TSignal;

// Turns fused beats into emitted TBeat records: checks time range, lead
// usability and lead agreement, measures the RR interval, holds back
// premature beats until the next beat shows whether they were followed by
// a compensatory pause, keeps the running mean RR and numbers the beats in
// the order they are emitted.
class TBeatAssembler
{
public:
    // Beats outside [startTime, endTime] are ignored (no end when endTime is
    // 0). Emitted beats go to `output`.
    TBeatAssembler(const TSignal& signal, double startTime, double endTime, TBeatListener& output);

    // Assembles the fused beat at sample `position`; the records of leads
    // found unusable are made absent.
    void assemble(int position, TQrsFusion::Records& records);
    // No beat follows: a held-back beat never got the pause that would
    // confirm it, and is emitted as rejected.
    void finish();

    // Whether a lead carried the ECG at the last beat assembled: not flat
    // or saturated there, and following the beats.
    bool carriesEcg(int lead) const;

    bool hasPrevious() const { return m_hasPrevious; }
    const TBeat& previous() const { return m_previous; }

private:
    enum class Prematurity { Normal, Dropped, HeldBack };

    bool skipped(double time);
    bool makeBeat(double time, int position, TQrsFusion::Records& records);
    void checkUsability(int position, TQrsFusion::Records& records, bool* usable);
    // The agreement ratio, or -1 when the beat lacks agreement.
    double agreement(const TQrsFusion::Records& records, const bool* usable) const;
    static bool shows(const TLeadWaveRecord& record);
    bool isLone(const TQrsFusion::Records& records, const bool* usable) const;
    static bool anyQuietLead(const TQrsFusion::Records& records, const bool* usable, int leads);
    TBeat build(double time, const TQrsFusion::Records& records, const bool* usable) const;
    void setLeadMarks(TBeat& beat, int lead, const TLeadWaveRecord& record, bool usable) const;
    void setWindow(TBeat& beat, double time, const TQrsFusion::Records& records) const;
    double medianRr(const TBeat& beat) const;
    static Prematurity prematurity(double ratio, double rr, double mean);
    // Emits the pending beat as normal or rejected; returns the new beat's RR.
    double resolvePending(double rr, double mean);
    double runningMean(double rr, bool heldBack);
    void emit(TBeat& beat);
    double seconds(int position) const { return position * m_period; }

    const TSignal& m_signal;
    TBeatListener& m_output;
    int m_leadCount;
    double m_period;
    double m_startTime;
    double m_endTime;
    TLeadUsability m_usability;

    int m_emitted = 0;
    bool m_hasPrevious = false;
    TBeat m_previous;
    bool m_hasPending = false;
    TBeat m_pending;
    TRrRing m_ring;
    int m_lastRingUpdate = 0;
    TLeadFollowing m_following;
    // Per lead, whether the signal checks passed at the last candidate.
    std::array<bool, TSignal::MaxChannels> m_signalUsable;
};
