#include "analysis/beats/TLiveBeatAverager.h"

#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double MinimumNorm = 1e-6;
constexpr double TemplateSimilarity = 0.85;
constexpr int MinimumTemplateBeats = 3;

// Scales `values` to unit Euclidean norm, leaving them as they are when the
// norm is below MinimumNorm.
bool normalise(std::vector<double>& values)
{
    double energy = 0.0;
    for (double v : values)
        energy += v * v;
    const double norm = std::sqrt(energy);
    if (norm < MinimumNorm)
        return false;
    for (double& v : values)
        v /= norm;
    return true;
}

} // namespace

TLiveBeatAverager::TLiveBeatAverager(const TSignal& signal)
    : m_signal(&signal)
    , m_leadCount(signal.channelCount())
    , m_segment(signal.samplingRate())
    , m_correlator(m_segment.length(), m_segment.centre(), int(std::lround(0.05 * m_segment.samplingRate())))
{
    const std::size_t length = std::size_t(m_segment.length());
    m_averages.assign(std::size_t(m_leadCount), std::vector<double>(length, 0.0));
    m_counts.assign(std::size_t(m_leadCount), 0);
    m_zeros.assign(length, 0.0);
    m_firstBeats.reserve(FirstBeatLimit);
    m_resembling.assign(FirstBeatLimit, false);
    m_silent.assign(std::size_t(m_leadCount), false);
    m_segmentBuffer.assign(length, 0.0);
    m_provisional.assign(length, 0.0);
    const std::size_t window = std::size_t(m_correlator.windowLength());
    m_provisionalWindow.assign(window, 0.0);
    m_beatWindow.assign(window, 0.0);
    m_referenceWindow.assign(window, 0.0);
}

bool TLiveBeatAverager::hasRegularRr(const TBeat& beat)
{
    return isRegularRr(beat.value(TBeat::RrInterval), TBeatSegment::rrToMeanRatio(beat));
}

bool TLiveBeatAverager::isRegularRr(double rr, double ratio)
{
    return rr >= 0.25 && rr <= 2.0 && ratio >= 0.85 && ratio <= 1.2;
}

// In the provisional mean, a first beat's RR is judged against its running
// mean RR, or against the list's median RR once the recording has ended.
bool TLiveBeatAverager::entersProvisionalMean(const TBeat& beat) const
{
    if (m_medianRr <= 0.0)
        return hasRegularRr(beat);
    const double rr = beat.value(TBeat::RrInterval);
    return isRegularRr(rr, rr > 0.0 ? rr / m_medianRr : 0.0);
}

double TLiveBeatAverager::medianFirstRr() const
{
    std::array<double, FirstBeatLimit> intervals;
    std::size_t count = 0;
    for (const TBeat& beat : m_firstBeats) {
        const double rr = beat.value(TBeat::RrInterval);
        if (rr > 0.0)
            intervals[count++] = rr;
    }
    if (count == 0)
        return 0.0;
    std::nth_element(intervals.begin(), intervals.begin() + count / 2, intervals.begin() + count);
    return intervals[count / 2];
}

void TLiveBeatAverager::add(const TBeat& beat)
{
    if (!beat.isValid())
        return;
    // A lead whose template this beat completes has it in the template
    // already: it must not count twice.
    std::array<bool, TSignal::MaxChannels> hadTemplate{};
    for (int lead = 0; lead < m_leadCount; ++lead)
        hadTemplate[std::size_t(lead)] = m_counts[std::size_t(lead)] > 0;
    if (!m_templatesReady)
        collectFirstBeat(beat);
    if (!hasRegularRr(beat))
        return;
    const double qrsTime = beat.value(TBeat::QrsTime);
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (hadTemplate[std::size_t(lead)])
            addToAverage(lead, qrsTime);
    }
}

// The running mean RR is known only from the sixth beat on and, when the
// first RRs include a false or premature beat, stays off the rhythm for
// the rest of a short recording. A lead that gets no template by the usual
// rule therefore tries again with the RRs judged against the median RR of
// the beats there are, so that such a recording's regular beats still
// make its template.
void TLiveBeatAverager::finish()
{
    if (m_templatesReady)
        return;
    buildMissingTemplates();
    m_medianRr = medianFirstRr();
    buildMissingTemplates();
}

void TLiveBeatAverager::buildMissingTemplates()
{
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (m_counts[std::size_t(lead)] == 0)
            buildTemplate(lead);
    }
}

int TLiveBeatAverager::count(int lead) const
{
    return lead >= 0 && lead < m_leadCount ? m_counts[std::size_t(lead)] : 0;
}

const std::vector<double>& TLiveBeatAverager::average(int lead) const
{
    return lead >= 0 && lead < m_leadCount ? m_averages[std::size_t(lead)] : m_zeros;
}

// Keeps the beat; from the tenth beat on, tries to build a template for
// every lead that has none. The list is kept until every lead has one,
// since a lead may only become buildable with more beats. A lead may also
// never get one (a lead that stays flat or noisy for the whole recording):
// the list then keeps the last FirstBeatLimit beats only, and building is
// tried again every TemplateBeatCount beats, so that neither memory nor
// the time spent per beat keeps growing with the recording.
void TLiveBeatAverager::collectFirstBeat(const TBeat& beat)
{
    if (int(m_firstBeats.size()) == FirstBeatLimit)
        m_firstBeats.erase(m_firstBeats.begin());
    m_firstBeats.push_back(beat);
    ++m_firstBeatsSeen;
    if (m_firstBeatsSeen < TemplateBeatCount)
        return;
    if (m_firstBeatsSeen > FirstBeatLimit && m_firstBeatsSeen % TemplateBeatCount != 0)
        return;
    m_templatesReady = true;
    for (int lead = 0; lead < m_leadCount; ++lead) {
        if (m_counts[std::size_t(lead)] == 0) {
            m_templatesReady = false;
            buildTemplate(lead);
        }
    }
    if (m_templatesReady)
        m_firstBeats.clear();
}

// The template of a lead: the beats that resemble the provisional mean,
// the first as it is and the others aligned on the provisional mean.
void TLiveBeatAverager::buildTemplate(int lead)
{
    if (m_silent[std::size_t(lead)] || !buildProvisionalMean(lead))
        return;
    int retained = 0;
    for (std::size_t k = 0; k < m_firstBeats.size(); ++k) {
        m_resembling[k] = resemblesProvisionalMean(lead, m_firstBeats[k]);
        retained += m_resembling[k] ? 1 : 0;
    }
    if (retained < MinimumTemplateBeats)
        return;
    m_correlator.centreWindow(m_provisional.data(), m_provisionalWindow.data());
    std::vector<double>& sum = m_averages[std::size_t(lead)];
    bool first = true;
    for (std::size_t k = 0; k < m_firstBeats.size(); ++k) {
        if (!m_resembling[k])
            continue;
        const double qrsTime = m_firstBeats[k].value(TBeat::QrsTime);
        if (first) {
            m_segment.read(*m_signal, lead, qrsTime, m_segmentBuffer.data());
            first = false;
        } else {
            const TBeatCorrelator::Match match = matchSegment(lead, qrsTime, m_provisionalWindow.data());
            m_segment.read(*m_signal, lead, qrsTime - double(match.lag) / samplingRate(), m_segmentBuffer.data());
        }
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] += m_segmentBuffer[i];
    }
    for (double& value : sum)
        value /= retained;
    m_counts[std::size_t(lead)] = retained;
}

// The normalised mean of the segments of the listed beats with a regular
// RR interval; false when there is none, or when they cancel out (no beat
// can then resemble the mean).
bool TLiveBeatAverager::buildProvisionalMean(int lead)
{
    std::fill(m_provisional.begin(), m_provisional.end(), 0.0);
    int used = 0;
    for (const TBeat& beat : m_firstBeats) {
        if (!entersProvisionalMean(beat))
            continue;
        m_segment.read(*m_signal, lead, beat.value(TBeat::QrsTime), m_segmentBuffer.data());
        for (std::size_t i = 0; i < m_provisional.size(); ++i)
            m_provisional[i] += m_segmentBuffer[i];
        ++used;
    }
    return used > 0 && normalise(m_provisional);
}

bool TLiveBeatAverager::resemblesProvisionalMean(int lead, const TBeat& beat)
{
    m_segment.read(*m_signal, lead, beat.value(TBeat::QrsTime), m_segmentBuffer.data());
    normalise(m_segmentBuffer);
    double dot = 0.0;
    for (std::size_t i = 0; i < m_provisional.size(); ++i)
        dot += m_segmentBuffer[i] * m_provisional[i];
    return dot > TemplateSimilarity;
}

void TLiveBeatAverager::setSilent(int lead)
{
    if (lead >= 0 && lead < m_leadCount)
        m_silent[std::size_t(lead)] = true;
}

TBeatCorrelator::Match TLiveBeatAverager::matchSegment(int lead, double qrsTime, const double* referenceWindow)
{
    m_segment.read(*m_signal, lead, qrsTime, m_segmentBuffer.data());
    m_correlator.centreWindow(m_segmentBuffer.data(), m_beatWindow.data());
    return m_correlator.match(m_beatWindow.data(), referenceWindow);
}

// Aligns the beat on the lead's average and, when the correlation reaches
// the acceptance level, folds the realigned segment into the running mean.
void TLiveBeatAverager::addToAverage(int lead, double qrsTime)
{
    std::vector<double>& average = m_averages[std::size_t(lead)];
    m_correlator.centreWindow(average.data(), m_referenceWindow.data());
    const TBeatCorrelator::Match match = matchSegment(lead, qrsTime, m_referenceWindow.data());
    if (match.correlation < AcceptedCorrelation)
        return;
    // Without a lag the segment matched is the one to add.
    if (match.lag != 0)
        m_segment.read(*m_signal, lead, qrsTime - double(match.lag) / samplingRate(), m_segmentBuffer.data());
    int& count = m_counts[std::size_t(lead)];
    const double n = count;
    for (std::size_t i = 0; i < average.size(); ++i)
        average[i] = average[i] * n / (n + 1.0) + m_segmentBuffer[i] / (n + 1.0);
    ++count;
}
