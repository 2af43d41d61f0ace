#include "analysis/latepotentials/TLatePotentials.h"

#include "analysis/filters/TButterworthHighPass.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/signal/TRounding.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cmath>

namespace {

// Lead positions the synthesis reads, in the order of the coefficients.
constexpr int SourceLeads[8] = {
    TLeadSet::LeadI,  TLeadSet::LeadII, TLeadSet::LeadV1, TLeadSet::LeadV2,
    TLeadSet::LeadV3, TLeadSet::LeadV4, TLeadSet::LeadV5, TLeadSet::LeadV6,
};

constexpr double InverseDower[3][8] = {
    {0.156, -0.009, -0.172, -0.073, 0.122, 0.231, 0.239, 0.193},
    {-0.227, 0.886, 0.057, -0.019, -0.106, -0.022, 0.04, 0.048},
    {0.021, 0.102, -0.228, -0.31, -0.245, -0.063, 0.054, 0.108},
};

// A copy of `values` cut or zero-padded to `length`.
std::vector<double> fitted(const std::vector<double>& values, int length)
{
    std::vector<double> copy(values);
    copy.resize(std::size_t(length), 0.0);
    return copy;
}

} // namespace

TLatePotentials::TLatePotentials(const TLiveBeatAverager& averager)
    : m_averager(&averager)
    , m_length(averager.length())
    , m_centre(averager.centre())
{
    for (std::vector<double>* curve : {&m_x, &m_y, &m_z, &m_filteredX, &m_filteredY, &m_filteredZ, &m_magnitude})
        curve->assign(std::size_t(m_length), 0.0);
}

std::array<double, 3> TLatePotentials::inverseDower(const std::array<double, 8>& leads)
{
    std::array<double, 3> xyz{};
    for (int axis = 0; axis < 3; ++axis) {
        for (int lead = 0; lead < 8; ++lead)
            xyz[std::size_t(axis)] += InverseDower[axis][lead] * leads[std::size_t(lead)];
    }
    return xyz;
}

void TLatePotentials::compute()
{
    const double lsb = m_averager->signal().lsb();
    for (int i = 0; i < m_length; ++i) {
        std::array<double, 8> leads;
        for (int k = 0; k < 8; ++k)
            leads[std::size_t(k)] = m_averager->average(SourceLeads[k])[std::size_t(i)] * lsb;
        const std::array<double, 3> xyz = inverseDower(leads);
        m_x[std::size_t(i)] = xyz[0];
        m_y[std::size_t(i)] = xyz[1];
        m_z[std::size_t(i)] = xyz[2];
    }
    analyse();
}

void TLatePotentials::computeFromOrthogonal(const std::vector<double>& x, const std::vector<double>& y,
                                            const std::vector<double>& z)
{
    m_x = fitted(x, m_length);
    m_y = fitted(y, m_length);
    m_z = fitted(z, m_length);
    analyse();
}

void TLatePotentials::analyse()
{
    filterLead(m_x, m_filteredX);
    filterLead(m_y, m_filteredY);
    filterLead(m_z, m_filteredZ);
    for (std::size_t i = 0; i < m_magnitude.size(); ++i) {
        m_magnitude[i] = std::sqrt(m_filteredX[i] * m_filteredX[i] + m_filteredY[i] * m_filteredY[i]
                                   + m_filteredZ[i] * m_filteredZ[i]);
    }
    if (m_onset == 0 || m_offset == 0)
        searchLimits();
}

// Forward over [0, C), backward from the end over [C, N): both halves are
// filtered toward the QRS at the centre, so neither smears its transient
// response over the low-amplitude signals on either side of the QRS.
void TLatePotentials::filterLead(const std::vector<double>& lead, std::vector<double>& filtered) const
{
    const TButterworthHighPass& filter = TButterworthHighPass::forCutoff(m_cutoff);
    const int split = std::clamp(m_centre, 0, m_length);
    filter.forward(lead.data(), split, filtered.data());
    filter.backward(lead.data() + split, m_length - split, filtered.data() + split);
}

// Outward from the centre in steps of 5 samples, the first 10-sample
// window whose vector magnitude stays below the quiet level ends (or
// starts) the QRS. Where no window is quiet, a limit already set keeps its
// value and an unset one goes to the end of the search.
void TLatePotentials::searchLimits()
{
    bool found = false;
    for (int s = m_centre; s < m_centre + SearchReach && !found; s += 5) {
        const double peak = peakMagnitude(s, s + 10);
        if (peak >= 0.0 && peak < QuietLevel) {
            m_offset = s + 5;
            found = true;
        }
    }
    if (!found && m_offset == 0)
        m_offset = m_centre + SearchReach;
    found = false;
    for (int s = m_centre; s > m_centre - SearchReach && !found; s -= 5) {
        const double peak = peakMagnitude(s - 10, s);
        if (peak >= 0.0 && peak < QuietLevel) {
            m_onset = s - 5;
            found = true;
        }
    }
    if (!found && m_onset == 0)
        m_onset = m_centre - SearchReach;
}

double TLatePotentials::peakMagnitude(int from, int to) const
{
    from = std::max(from, 0);
    to = std::min(to, m_length);
    if (from >= to)
        return -1.0;
    return *std::max_element(m_magnitude.begin() + from, m_magnitude.begin() + to);
}

int TLatePotentials::RMS() const
{
    return rmsMicrovolts(m_magnitude, m_onset, m_offset, m_rmsDuration);
}

int TLatePotentials::LAS() const
{
    return lasSamples(m_magnitude, m_onset, m_offset, m_lasThreshold);
}

int TLatePotentials::rmsMicrovolts(const std::vector<double>& vm, int onset, int offset, int duration)
{
    if (onset >= offset || duration <= 0)
        return 0;
    const int first = std::max(0, offset - duration);
    const int end = std::min(offset, int(vm.size()));
    if (first >= end)
        return 0;
    double energy = 0.0;
    for (int i = first; i < end; ++i)
        energy += vm[std::size_t(i)] * vm[std::size_t(i)];
    return int(truncateNearWhole(1000.0 * std::sqrt(energy / (end - first))));
}

int TLatePotentials::lasSamples(const std::vector<double>& vm, int onset, int offset, int thresholdMicrovolts)
{
    if (onset >= offset || thresholdMicrovolts <= 0 || vm.empty())
        return 0;
    const double threshold = thresholdMicrovolts * 0.001;
    // Only samples of the beat count: the scan starts at its last sample at
    // the latest and, below its first, has reached the onset.
    const int stop = std::max(onset, -1);
    int i = std::min(offset, int(vm.size()) - 1);
    int count = 0;
    while (i > stop && vm[std::size_t(i)] < threshold) {
        --i;
        ++count;
    }
    return i > stop ? count : 0;
}
