#pragma once

#include "analysis/signal/TSignal.h"

#include <QtGlobal>

#include <array>

// Whether each lead carries the ECG, judged by how its detections agree
// with the beats made of them. Every candidate beat gives each lead an
// event when the lead detected it or when it became a beat: a hit when
// both hold, a miss otherwise. A lead carries the ECG while at least half
// of its last 16 events are hits; a lead with an electrode off and
// drifting, whose marks come anywhere, or one lost in noise, does not,
// and takes its place again once its detections meet the beats.
class TLeadFollowing
{
public:
    static constexpr int Events = 16;

    explicit TLeadFollowing(int leadCount);

    void record(const bool* detected, bool beat);
    // True until a lead has had its 16 events.
    bool follows(int lead) const;

private:
    int m_leadCount;
    std::array<quint16, TSignal::MaxChannels> m_hits{};
    std::array<int, TSignal::MaxChannels> m_events{};
};
