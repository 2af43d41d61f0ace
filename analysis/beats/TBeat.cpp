#include "analysis/beats/TBeat.h"

#include "analysis/signal/TSignal.h"

#include <stdexcept>

TBeat::TBeat(const TSignal* signal)
    : m_signal(signal)
{
    m_values.fill(-1.0);
    m_valueSet.fill(false);
    for (LeadMarks& marks : m_leads) {
        marks.values.fill(-1.0);
        marks.set.fill(false);
    }
}

int TBeat::channelCount() const
{
    return m_signal != nullptr ? m_signal->channelCount() : 0;
}

void TBeat::setValue(ValueKind kind, double value)
{
    m_values[kind] = value;
    m_valueSet[kind] = true;
}

const TBeat::LeadMarks& TBeat::lead(int lead) const
{
    if (lead < 0 || lead >= MaxLeads)
        throw std::out_of_range("Beat lead position out of range");
    return m_leads[lead];
}

TBeat::LeadMarks& TBeat::lead(int lead)
{
    return const_cast<LeadMarks&>(static_cast<const TBeat*>(this)->lead(lead));
}

double TBeat::mark(int lead, MarkKind kind) const
{
    return this->lead(lead).values[kind];
}

bool TBeat::isMarkSet(int lead, MarkKind kind) const
{
    return this->lead(lead).set[kind];
}

void TBeat::setMark(int lead, MarkKind kind, double value)
{
    LeadMarks& marks = this->lead(lead);
    marks.values[kind] = value;
    marks.set[kind] = true;
}

void TBeat::shift(double seconds)
{
    m_windowStart += seconds;
    setValue(QrsTime, m_values[QrsTime] + seconds);
    for (LeadMarks& marks : m_leads) {
        for (int kind = PWave; kind <= TWave; ++kind) {
            if (marks.set[kind])
                marks.values[kind] += seconds;
        }
    }
}
