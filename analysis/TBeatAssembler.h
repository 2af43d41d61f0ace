#pragma once

#include "analysis/TBeat.h"
#include "analysis/TLeadUsability.h"
#include "analysis/TQrsFusion.h"
#include "analysis/TRrRing.h"

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

    bool hasPrevious() const { return m_hasPrevious; }
    const TBeat& previous() const { return m_previous; }

private:
    enum class Prematurity { Normal, Dropped, HeldBack };

    bool skipped(double time);
    void checkUsability(int position, TQrsFusion::Records& records, bool* usable);
    // The agreement ratio, or -1 when the beat lacks agreement.
    double agreement(const TQrsFusion::Records& records, const bool* usable) const;
    static bool shows(const TLeadWaveRecord& record);
    bool isLone(const TQrsFusion::Records& records, const bool* usable) const;
    static bool anyQuietLead(const TQrsFusion::Records& records, const bool* usable, int leads);
    // Whether a lead has shown enough of the recent beats to carry the ECG.
    bool followsBeats(int lead) const;
    void follow(const bool* shown);
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
    // Per lead, whether it showed each of the last beats (newest in bit 0).
    std::array<quint32, TSignal::MaxChannels> m_followed{};
    int m_followedCount = 0;
};
