#pragma once

#include <array>

class TSignal;

// One detected heartbeat: its window in the recording, four beat-level
// values and, per lead, twelve wave marks. Every value and mark carries a
// flag telling whether it has been set; times are seconds from the start of
// the signal.
class TBeat
{
public:
    static constexpr int MaxLeads = 16;

    enum ValueKind {
        QrsTime = 0,
        RrInterval = 1,
        MeanRrInterval = 2,  // 0 while not yet known
        LeadAgreement = 3,
        ValueKindCount = 4,
    };

    enum MarkKind {
        LeadUsable = 0,      // 1 or 0
        PWave = 1,           // kinds 1..5: wave times
        FirstQrsWave = 2,
        MainQrsWave = 3,     // the lead's fiducial point
        LastQrsWave = 4,
        TWave = 5,
        QrsPolarity = 6,     // kinds 6..8: +1, -1, or 0 when not found
        PPolarity = 7,
        TPolarity = 8,
        QrsWindow = 9,       // kinds 9..11: window lengths
        PToQrsWindow = 10,
        QrsToTWindow = 11,
        MarkKindCount = 12,
    };

    enum BeatClass {
        Normal = 0,
        Rejected = -1,
    };

    // A fresh beat: number, times and class 0, every value and mark -1 and
    // unset, valid.
    explicit TBeat(const TSignal* signal = nullptr);

    int number() const { return m_number; }
    void setNumber(int number) { m_number = number; }
    const TSignal* signal() const { return m_signal; }
    void setSignal(const TSignal* signal) { m_signal = signal; }
    // Leads of the linked signal; 0 without one.
    int channelCount() const;

    double windowStart() const { return m_windowStart; }
    void setWindowStart(double seconds) { m_windowStart = seconds; }
    double windowLength() const { return m_windowLength; }
    void setWindowLength(double seconds) { m_windowLength = seconds; }

    double value(ValueKind kind) const { return m_values[kind]; }
    bool isValueSet(ValueKind kind) const { return m_valueSet[kind]; }
    void setValue(ValueKind kind, double value);

    // Lead positions outside 0..15 throw std::out_of_range.
    double mark(int lead, MarkKind kind) const;
    bool isMarkSet(int lead, MarkKind kind) const;
    void setMark(int lead, MarkKind kind, double value);

    int beatClass() const { return m_class; }
    void setBeatClass(int beatClass) { m_class = beatClass; }
    // A beat is valid while its class is not negative.
    bool isValid() const { return m_class >= Normal; }

    // Moves the beat by `seconds`: the window start, the QRS time (which
    // becomes set, starting from its current value even when unset) and
    // every set wave-time mark (kinds 1..5) of every lead. The window length
    // does not change.
    void shift(double seconds);

private:
    struct LeadMarks
    {
        std::array<double, MarkKindCount> values;
        std::array<bool, MarkKindCount> set;
    };

    const LeadMarks& lead(int lead) const;
    LeadMarks& lead(int lead);

    int m_number = 0;
    const TSignal* m_signal;
    double m_windowStart = 0.0;
    double m_windowLength = 0.0;
    std::array<double, ValueKindCount> m_values;
    std::array<bool, ValueKindCount> m_valueSet;
    std::array<LeadMarks, MaxLeads> m_leads;
    int m_class = Normal;
};
