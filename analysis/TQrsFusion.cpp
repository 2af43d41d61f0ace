#include "analysis/TQrsFusion.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr double FusionWindow = 0.075; // s after the earliest front
constexpr int LeadsToWait = 5;         // fewer leads never wait for a weak beat
constexpr int MaxWaits = 2;

} // namespace

TQrsFusion::TQrsFusion(int leadCount, int rate)
    : m_leadCount(std::clamp(leadCount, 0, int(TSignal::MaxChannels)))
    , m_window(int(FusionWindow * rate))
{
    m_unreported.fill(TLeadWaveRecord::Missing);
}

void TQrsFusion::beginRun(int discardBefore)
{
    for (int lead = 0; lead < m_leadCount; ++lead)
        m_queues[std::size_t(lead)].discardBefore(discardBefore);
    if (m_draining)
        m_waited = 0;
    m_draining = false;
}

void TQrsFusion::finish()
{
    m_finished = true;
    m_unreported.fill(TLeadWaveRecord::Missing);
}

// A beat is ready once some lead has reported the next one after it, or
// at the end, once anything is queued.
bool TQrsFusion::isBeatReady() const
{
    const int needed = m_finished ? 1 : 2;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (m_queues[std::size_t(lead)].size() >= needed)
            return true;
    }
    return false;
}

bool TQrsFusion::inBeat(int lead, int earliest) const
{
    const TWaveRecordQueue& queue = m_queues[std::size_t(lead)];
    return !queue.isEmpty() && queue.front().qrs <= earliest + m_window;
}

bool TQrsFusion::shouldWait(int fronts, int earliest) const
{
    if (m_leadCount >= LeadsToWait && fronts <= m_leadCount / 2)
        return true;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        const int unreported = m_unreported[std::size_t(lead)];
        if (!inBeat(lead, earliest) && TLeadWaveRecord::isPresent(unreported)
            && std::abs(unreported - earliest) <= m_window)
            return true;
    }
    return false;
}

bool TQrsFusion::next(Records& records, int& position)
{
    if (!isBeatReady())
        return false;
    int fronts = 0;
    int earliest = 0;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        const TWaveRecordQueue& queue = m_queues[std::size_t(lead)];
        if (queue.isEmpty())
            continue;
        if (fronts == 0 || queue.front().qrs < earliest)
            earliest = queue.front().qrs;
        ++fronts;
    }
    if (!m_draining && !m_finished && shouldWait(fronts, earliest)) {
        if (m_waited < MaxWaits) {
            ++m_waited;
            return false;
        }
        m_draining = true;
    }
    if (!m_draining)
        m_waited = 0;

    // The fronts within the window of the earliest make the beat.
    std::array<int, TSignal::MaxChannels> positions;
    int used = 0;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (inBeat(lead, earliest))
            positions[std::size_t(used++)] = m_queues[std::size_t(lead)].front().qrs;
    }
    std::sort(positions.begin(), positions.begin() + used);
    position = positions[std::size_t(used / 2)];

    for (int lead = 0; lead < m_leadCount; ++lead) {
        records[std::size_t(lead)] = TLeadWaveRecord();
        if (inBeat(lead, earliest)) {
            TWaveRecordQueue& queue = m_queues[std::size_t(lead)];
            records[std::size_t(lead)] = queue.front().fused(position);
            queue.pop();
        }
    }
    return true;
}
