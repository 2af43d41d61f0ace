#include "analysis/beats/TBeatSegment.h"

#include "analysis/beats/TBeat.h"
#include "analysis/signal/TRounding.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cmath>

TBeatSegment::TBeatSegment(int samplingRate)
    : m_rate(std::max(1, samplingRate))
    , m_length(m_rate)
    , m_centre(int(0.5 * m_rate))
{
}

int TBeatSegment::startIndex(double seconds) const
{
    return boundedPosition(truncateNearWhole((seconds - 0.5) * m_rate));
}

void TBeatSegment::read(const TSignal& signal, int lead, double seconds, double* out) const
{
    signal.readRange(lead, startIndex(seconds), m_length, out);
    double sum = 0.0;
    for (int i = 0; i < m_length; ++i)
        sum += out[i];
    const double mean = sum / m_length;
    for (int i = 0; i < m_length; ++i)
        out[i] -= mean;
}

double TBeatSegment::rrToMeanRatio(const TBeat& beat)
{
    const double rr = beat.value(TBeat::RrInterval);
    const double mean = beat.value(TBeat::MeanRrInterval);
    return rr > 0.0 && mean > 0.0 ? rr / mean : 0.0;
}
