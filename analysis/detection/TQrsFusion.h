#pragma once

#include "analysis/detection/TLeadWaveRecord.h"
#include "analysis/signal/TSignal.h"
#include "analysis/detection/TWaveRecordQueue.h"

#include <array>

// Joins the per-lead wave records of the same heartbeat into one beat.
//
// Every lead queues its records. A beat is fused while some queue holds at
// least two records: the earliest front record and every other front
// within 75 ms of it make the beat, whose QRS position is the median of
// theirs; leads without such a front get an absent record.
//
// A tall P wave can pass a lead's thresholds (a lead's refractory period is
// shorter than the PR interval): when as many leads or more hold a QRS
// 75 to 200 ms after the earliest front as make the beat there, and the
// strongest of them is as strong as the strongest there (a QRS stands
// higher above its lead's threshold than a P wave), the earlier one is
// taken for a P wave and dropped, and the later one makes the beat.
//
// A beat may wait for leads that are still to report it: with five or more
// leads, when no more than half of them have a record queued, and whenever
// a lead without a front in the beat has already accepted a QRS within
// 75 ms of it, whose record it will give once it knows the next QRS. The
// fusion then stops until the next run, for at most two runs in a row;
// a run that finds its waits used up fuses everything it can without
// waiting, so the queues never pile up behind a lead that detects alone.
class TQrsFusion
{
public:
    using Records = std::array<TLeadWaveRecord, TSignal::MaxChannels>;

    TQrsFusion(int leadCount, int rate);

    TWaveRecordQueue& queue(int lead) { return m_queues[std::size_t(lead)]; }
    // The QRS a lead has accepted but not yet reported (its record comes
    // with the next QRS), or TLeadWaveRecord::Missing.
    void setUnreported(int lead, int position, float strength)
    {
        m_unreported[std::size_t(lead)] = position;
        m_unreportedStrength[std::size_t(lead)] = strength;
    }

    // Only leads that carry the ECG anchor a beat and vote on it; the others
    // (flat, or not following the beats) may only join a beat anchored by
    // them. All leads anchor at first.
    void setAnchor(int lead, bool anchor);

    // Starts a run: drops the queued records before `discardBefore`
    // (records of beats already emitted).
    void beginRun(int discardBefore);
    // Fuses the next beat into `records` (one per lead of the signal) and
    // its QRS position into `position`; false when the queues hold no beat
    // yet or the beat waits for the next run.
    bool next(Records& records, int& position);
    // The signal has ended and every lead has reported all it found: from
    // now on next() fuses whatever is queued, without waiting.
    void finish();

private:
    bool isBeatReady() const;
    bool inBeat(int lead, int earliest) const;
    bool shouldWait(int fronts, int earliest) const;
    // Leads with a QRS, queued or still unreported, after the window of
    // the earliest front but within the P-wave reach of it, and the
    // largest strength among those QRSs.
    int laterLeads(int earliest, float& strength) const;
    // The earliest front of an anchoring lead and the number of anchoring
    // leads with a front; drops the records of other leads before it.
    int earliestFront(int& fronts);
    int anchorCount() const;
    void dropBeat(int earliest);

    int m_leadCount;
    int m_window;
    int m_pWaveReach;
    int m_waited = 0;
    bool m_draining = false;
    bool m_finished = false;
    std::array<TWaveRecordQueue, TSignal::MaxChannels> m_queues;
    std::array<int, TSignal::MaxChannels> m_unreported;
    std::array<float, TSignal::MaxChannels> m_unreportedStrength;
    std::array<bool, TSignal::MaxChannels> m_anchors;
};
