#include "analysis/beats/TBeatAverager.h"

#include "analysis/signal/TSignal.h"

#include <algorithm>

TBeatAverager::TBeatAverager(const TSignal& signal, double windowSeconds)
    : m_signal(&signal)
    , m_leadCount(signal.channelCount())
    , m_windowSeconds(windowSeconds)
    , m_segment(signal.samplingRate())
{
    const std::size_t length = std::size_t(m_segment.length());
    m_averages.assign(std::size_t(m_leadCount), std::vector<double>(length, 0.0));
    m_secondAverages = m_averages;
    m_zeros.assign(length, 0.0);
    m_segmentBuffer.assign(length, 0.0);
}

void TBeatAverager::add(const TBeat& beat)
{
    m_beats.push_back(beat);
    while (!m_beats.empty() && beat.windowStart() - m_beats.front().windowStart() >= m_windowSeconds)
        m_beats.pop_front();
    m_stale = true;
}

int TBeatAverager::count()
{
    refresh();
    return m_count;
}

const std::vector<double>& TBeatAverager::average(int lead)
{
    refresh();
    return lead >= 0 && lead < m_leadCount ? m_averages[std::size_t(lead)] : m_zeros;
}

double TBeatAverager::meanRrInterval()
{
    refresh();
    return m_meanRr;
}

int TBeatAverager::referenceLead()
{
    refresh();
    return m_referenceLead;
}

const std::vector<double>& TBeatAverager::secondAverage(int lead) const
{
    return lead >= 0 && lead < m_leadCount ? m_secondAverages[std::size_t(lead)] : m_zeros;
}

void TBeatAverager::reset(bool full)
{
    m_beats.clear();
    clearAverages();
    if (full) {
        for (std::vector<double>& second : m_secondAverages)
            std::fill(second.begin(), second.end(), 0.0);
    }
    m_stale = false;
}

bool TBeatAverager::recompute()
{
    m_stale = false;
    clearAverages();
    m_referenceLead = chooseReferenceLead();
    double rrSum = 0.0;
    for (const TBeat& beat : m_beats) {
        if (!isAccepted(beat))
            continue;
        rrSum += beat.value(TBeat::RrInterval);
        const double time = beat.mark(m_referenceLead, TBeat::MainQrsWave);
        for (int lead = 0; lead < m_leadCount; ++lead) {
            m_segment.read(*m_signal, lead, time, m_segmentBuffer.data());
            std::vector<double>& sum = m_averages[std::size_t(lead)];
            for (std::size_t i = 0; i < sum.size(); ++i)
                sum[i] += m_segmentBuffer[i];
        }
        ++m_count;
    }
    if (m_count == 0)
        return false;
    m_meanRr = rrSum / m_count;
    for (std::vector<double>& sum : m_averages) {
        for (double& value : sum)
            value /= m_count;
    }
    return true;
}

bool TBeatAverager::hasUprightMainWave(const TBeat& beat, int lead) const
{
    return beat.isMarkSet(lead, TBeat::MainQrsWave) && beat.isMarkSet(lead, TBeat::QrsPolarity)
        && beat.mark(lead, TBeat::QrsPolarity) == 1.0;
}

// The lead with the most retained beats that have an upright main QRS
// wave; the lowest such lead on ties.
int TBeatAverager::chooseReferenceLead() const
{
    int best = 0;
    int bestCount = -1;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        const int upright = int(std::count_if(m_beats.begin(), m_beats.end(),
                                              [&](const TBeat& beat) { return hasUprightMainWave(beat, lead); }));
        if (upright > bestCount) {
            best = lead;
            bestCount = upright;
        }
    }
    return best;
}

bool TBeatAverager::isAccepted(const TBeat& beat) const
{
    const double rr = beat.value(TBeat::RrInterval);
    const double ratio = TBeatSegment::rrToMeanRatio(beat);
    return hasUprightMainWave(beat, m_referenceLead) && rr > 0.2 && rr < 2.0 && ratio > 0.85 && ratio < 1.2;
}

void TBeatAverager::clearAverages()
{
    for (std::vector<double>& average : m_averages)
        std::fill(average.begin(), average.end(), 0.0);
    m_count = 0;
    m_meanRr = 0.0;
}

void TBeatAverager::refresh()
{
    if (m_stale)
        recompute();
}
