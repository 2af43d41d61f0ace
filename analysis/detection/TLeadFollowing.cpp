#include "analysis/detection/TLeadFollowing.h"

#include <algorithm>
#include <bitset>

TLeadFollowing::TLeadFollowing(int leadCount)
    : m_leadCount(std::clamp(leadCount, 0, int(TSignal::MaxChannels)))
{
}

void TLeadFollowing::record(const bool* detected, bool beat)
{
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (!detected[lead] && !beat)
            continue;
        const std::size_t index = std::size_t(lead);
        m_hits[index] = quint16((m_hits[index] << 1) | (detected[lead] && beat ? 1u : 0u));
        m_events[index] = std::min(m_events[index] + 1, Events);
    }
}

bool TLeadFollowing::follows(int lead) const
{
    const std::size_t index = std::size_t(lead);
    return m_events[index] < Events || 2 * std::bitset<Events>(m_hits[index]).count() >= std::size_t(Events);
}
