#include "analysis/detection/TQrsFusion.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr double FusionWindow = 0.075; // s after the earliest front
constexpr double PWaveReach = 0.2;     // s from a P wave to its QRS, at most
constexpr int LeadsToWait = 5;         // fewer leads never wait for a weak beat
constexpr int MaxWaits = 2;

} // namespace

TQrsFusion::TQrsFusion(int leadCount, int rate)
    : m_leadCount(std::clamp(leadCount, 0, int(TSignal::MaxChannels)))
    , m_window(int(FusionWindow * rate))
    , m_pWaveReach(int(PWaveReach * rate))
{
    m_unreported.fill(TLeadWaveRecord::Missing);
    m_unreportedStrength.fill(0.0f);
    m_anchors.fill(true);
}

void TQrsFusion::setAnchor(int lead, bool anchor)
{
    m_anchors[std::size_t(lead)] = anchor;
}

int TQrsFusion::anchorCount() const
{
    return int(std::count(m_anchors.begin(), m_anchors.begin() + m_leadCount, true));
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
        if (m_anchors[std::size_t(lead)] && m_queues[std::size_t(lead)].size() >= needed)
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
    const int anchors = anchorCount();
    if (anchors >= LeadsToWait && fronts <= anchors / 2)
        return true;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        const int unreported = m_unreported[std::size_t(lead)];
        if (!inBeat(lead, earliest) && TLeadWaveRecord::isPresent(unreported)
            && std::abs(unreported - earliest) <= m_window)
            return true;
    }
    return false;
}

int TQrsFusion::earliestFront(int& fronts)
{
    fronts = 0;
    int earliest = 0;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        const TWaveRecordQueue& queue = m_queues[std::size_t(lead)];
        if (queue.isEmpty() || !m_anchors[std::size_t(lead)])
            continue;
        if (fronts == 0 || queue.front().qrs < earliest)
            earliest = queue.front().qrs;
        ++fronts;
    }
    // What other leads hold before that belongs to no beat.
    for (int lead = 0; lead < m_leadCount && fronts > 0; ++lead)
        m_queues[std::size_t(lead)].discardBefore(earliest);
    return earliest;
}

int TQrsFusion::laterLeads(int earliest, float& strength) const
{
    int count = 0;
    strength = 0.0f;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (!m_anchors[std::size_t(lead)])
            continue;
        const TWaveRecordQueue& queue = m_queues[std::size_t(lead)];
        int later = m_unreported[std::size_t(lead)];
        float laterStrength = m_unreportedStrength[std::size_t(lead)];
        for (int index = 0; index < queue.size(); ++index) {
            if (queue.at(index).qrs > earliest + m_window) {
                later = queue.at(index).qrs;
                laterStrength = queue.at(index).strength;
                break;
            }
        }
        if (TLeadWaveRecord::isPresent(later) && later > earliest + m_window && later <= earliest + m_pWaveReach) {
            ++count;
            strength = std::max(strength, laterStrength);
        }
    }
    return count;
}

void TQrsFusion::dropBeat(int earliest)
{
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (inBeat(lead, earliest))
            m_queues[std::size_t(lead)].pop();
    }
}

bool TQrsFusion::next(Records& records, int& position)
{
    if (!isBeatReady())
        return false;
    int fronts = 0;
    int earliest = earliestFront(fronts);
    for (;;) {
        int used = 0;
        float strength = 0.0f;
        for (int lead = 0; lead < m_leadCount; ++lead) {
            if (m_anchors[std::size_t(lead)] && inBeat(lead, earliest)) {
                ++used;
                strength = std::max(strength, m_queues[std::size_t(lead)].front().strength);
            }
        }
        float laterStrength = 0.0f;
        if (laterLeads(earliest, laterStrength) < used || laterStrength < strength)
            break;
        dropBeat(earliest);
        if (!isBeatReady())
            return false;
        earliest = earliestFront(fronts);
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

    // The fronts within the window of the earliest make the beat; the
    // anchoring leads among them place it.
    std::array<int, TSignal::MaxChannels> positions;
    int used = 0;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (m_anchors[std::size_t(lead)] && inBeat(lead, earliest))
            positions[std::size_t(used++)] = m_queues[std::size_t(lead)].front().qrs;
    }
    std::sort(positions.begin(), positions.begin() + used);
    // The median; of an even count the mean of the two middle positions,
    // so that two leads do not always give the later one.
    position = used % 2 != 0 ? positions[std::size_t(used / 2)]
                             : (positions[std::size_t(used / 2 - 1)] + positions[std::size_t(used / 2)]) / 2;

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
