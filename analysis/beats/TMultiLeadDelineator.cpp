#include "analysis/beats/TMultiLeadDelineator.h"

#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/signal/TSignal.h"
#include "analysis/beats/TWaveDelineator.h"
#include "analysis/signal/TWaveMarks.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The QRS offset is where this share of the leads have ended theirs: a
// slurred terminal wave shows in some leads only, where a single lead's
// offset comes early.
constexpr double QrsOffsetShare = 2.0 / 3.0;

// P and T waves are smoothed by a centred moving average over 20 ms, and
// their slopes taken over +-4 ms.
constexpr double WaveSmoothing = 0.020;
constexpr double SlopeHalfSpan = 0.004;
// The QRS amplitude the P and T waves are compared with: peak to peak
// within 80 ms of the centre.
constexpr double QrsSpan = 0.080;
// The level before the QRS: the mean over the 20 ms that end 5 ms before
// the QRS onset.
constexpr double LevelSpan = 0.020;
constexpr double LevelGap = 0.005;

// The T peak lies from 60 ms after the QRS offset up to 450 ms after the
// centre, and at fast rates before 0.7 RR; a T wave smaller than 5 % of the
// lead's QRS gives no offset. Its steepest descent is sought within 150 ms
// of the peak, and before 0.8 RR (the next beat).
constexpr double TSearchGap = 0.060;
constexpr double LatestTPeak = 0.450;
constexpr double TShareOfRr = 0.7;
constexpr double SmallestT = 0.05;
constexpr double TDescentSpan = 0.150;
constexpr double TDescentShareOfRr = 0.8;

// The P peak lies between 300 ms (at fast rates 0.4 RR) and 20 ms before the
// QRS onset, not at either end of that range; a P wave smaller than 2 % of
// the lead's QRS gives no onset. The level its tangent meets lies halfway
// between the level before the QRS (the PR segment, which atrial
// repolarisation often depresses) and the level at the start of the search
// (the TP segment), each a mean over 40 ms. An onset less than 80 ms
// before the QRS onset, shorter than the shortest PR of a conducted beat
// (pre-excitation's), belongs to no P wave but to a pacemaker's atrial
// spike or a notch of the QRS itself.
constexpr double PSearchSpan = 0.300;
constexpr double ShortestPr = 0.080;
constexpr double PShareOfRr = 0.4;
constexpr double PSearchGap = 0.020;
constexpr double SmallestP = 0.02;
constexpr double PLevelHalfSpan = 0.020;

// A boundary found in fewer leads is not found.
constexpr std::size_t MinimumLeads = 3;

// Centred moving average over `width` samples (fewer at the ends).
std::vector<double> movingAverage(const std::vector<double>& x, int width)
{
    const int n = int(x.size());
    const int half = std::max(0, width / 2);
    std::vector<double> prefix(std::size_t(n) + 1, 0.0);
    for (int i = 0; i < n; ++i)
        prefix[std::size_t(i) + 1] = prefix[std::size_t(i)] + x[std::size_t(i)];
    std::vector<double> smoothed(std::size_t(n), 0.0);
    for (int i = 0; i < n; ++i) {
        const int from = std::max(0, i - half);
        const int to = std::min(n, i + half + 1);
        smoothed[std::size_t(i)] = (prefix[std::size_t(to)] - prefix[std::size_t(from)]) / (to - from);
    }
    return smoothed;
}

// The value below which `share` of the sorted values lie, interpolated.
double quantile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const double position = share * double(values.size() - 1);
    const std::size_t below = std::size_t(position);
    if (below + 1 >= values.size())
        return values.back();
    const double fraction = position - double(below);
    return values[below] * (1.0 - fraction) + values[below + 1] * fraction;
}

int commonIndex(const std::vector<double>& indices, double share = 0.5)
{
    return indices.size() >= MinimumLeads ? int(std::lround(quantile(indices, share))) : 0;
}

// The P onset and T offset of one lead, given the lead's QRS boundaries:
// where the tangent at the steepest slope of the wave meets the level
// around it. 0 where a wave is not found.
class LeadWaves
{
public:
    LeadWaves(const std::vector<double>& beat, int samplingRate, int centre, double meanRr)
        : m_rate(samplingRate)
        , m_centre(centre)
        , m_meanRr(meanRr)
        , m_halfSpan(std::max(1, samples(SlopeHalfSpan)))
        , m_waves(movingAverage(beat, samples(WaveSmoothing)))
    {
        const int n = int(beat.size());
        const auto first = beat.begin() + std::max(0, centre - samples(QrsSpan));
        const auto last = beat.begin() + std::min(n, centre + samples(QrsSpan) + 1);
        const auto [lowest, highest] = std::minmax_element(first, last);
        m_qrsAmplitude = *highest - *lowest;
    }

    void find(int qrsOnset, int qrsOffset)
    {
        const int levelEnd = qrsOnset - samples(LevelGap);
        m_level = meanOver(levelEnd - samples(LevelSpan), levelEnd);
        tOffset = findTOffset(qrsOffset);
        pOnset = findPOnset(qrsOnset);
    }

    int pOnset = 0;
    int tOffset = 0;

private:
    int samples(double seconds) const { return int(std::lround(seconds * m_rate)); }

    double meanOver(int from, int to) const
    {
        from = std::max(0, from);
        to = std::min(int(m_waves.size()) - 1, to);
        double sum = 0.0;
        for (int i = from; i <= to; ++i)
            sum += m_waves[std::size_t(i)];
        return to >= from ? sum / (to - from + 1) : 0.0;
    }

    // Slope of the smoothed beat at i over +-m_halfSpan, per sample.
    double slope(int i) const
    {
        return (m_waves[std::size_t(i + m_halfSpan)] - m_waves[std::size_t(i - m_halfSpan)]) / (2.0 * m_halfSpan);
    }

    // The largest departure from the level before the QRS within [from, to].
    int peakOf(int from, int to) const
    {
        int peak = from;
        for (int i = from; i <= to; ++i) {
            if (std::fabs(m_waves[std::size_t(i)] - m_level) > std::fabs(m_waves[std::size_t(peak)] - m_level))
                peak = i;
        }
        return peak;
    }

    // The first index of [from, to) where the slope, times `sign`, is largest;
    // -1 when it is nowhere positive.
    int steepest(int from, int to, double sign) const
    {
        int best = -1;
        for (int i = from; i < to; ++i) {
            if (sign * slope(i) > 0.0 && (best < 0 || sign * slope(i) > sign * slope(best)))
                best = i;
        }
        return best;
    }

    // Where the tangent at i meets `level`.
    double tangentTo(int i, double level) const { return i + (level - m_waves[std::size_t(i)]) / slope(i); }

    int findTOffset(int qrsOffset) const
    {
        const int n = int(m_waves.size());
        double latest = LatestTPeak;
        int descentEnd = n - m_halfSpan;
        if (m_meanRr > 0.0) {
            latest = std::min(latest, TShareOfRr * m_meanRr);
            descentEnd = std::min(descentEnd, m_centre + samples(TDescentShareOfRr * m_meanRr));
        }
        const int from = std::max(m_halfSpan, qrsOffset + samples(TSearchGap));
        const int to = std::min(m_centre + samples(latest), n - 1 - m_halfSpan);
        if (from >= to)
            return 0;
        const int peak = peakOf(from, to);
        const double height = m_waves[std::size_t(peak)] - m_level;
        if (std::fabs(height) < SmallestT * m_qrsAmplitude)
            return 0;
        // The steepest descent back towards the level.
        const int descent = steepest(peak, std::min(descentEnd, peak + samples(TDescentSpan)), height > 0.0 ? -1.0 : 1.0);
        if (descent < 0)
            return 0;
        const double offset = tangentTo(descent, m_level);
        return offset < n - 1 ? int(std::lround(offset)) : 0;
    }

    int findPOnset(int qrsOnset) const
    {
        double span = PSearchSpan;
        if (m_meanRr > 0.0)
            span = std::min(span, PShareOfRr * m_meanRr);
        const int to = qrsOnset - samples(PSearchGap);
        const int from = std::max(m_halfSpan, qrsOnset - samples(span));
        if (from >= to)
            return 0;
        const int peak = peakOf(from, to);
        const double height = m_waves[std::size_t(peak)] - m_level;
        if (peak == from || peak == to || std::fabs(height) < SmallestP * m_qrsAmplitude)
            return 0;
        // The steepest rise towards the peak.
        const int rise = steepest(from, peak, height > 0.0 ? 1.0 : -1.0);
        if (rise < 0)
            return 0;
        const int halfLevel = samples(PLevelHalfSpan);
        const double level = (m_level + meanOver(from - halfLevel, from + halfLevel)) / 2.0;
        const double onset = tangentTo(rise, level);
        return onset >= 1.0 && onset <= qrsOnset - samples(ShortestPr) ? int(std::lround(onset)) : 0;
    }

    int m_rate;
    int m_centre;
    double m_meanRr;
    int m_halfSpan;
    std::vector<double> m_waves;
    double m_qrsAmplitude = 0.0;
    double m_level = 0.0;
};

} // namespace

const std::array<TMultiLeadBoundaries::Names, 4>& TMultiLeadBoundaries::names()
{
    static const std::array<Names, 4> names = {{
        {"MultiLeadPOnset", "POnset"},
        {"MultiLeadQRSOnset", "QRSOnset"},
        {"MultiLeadQRSOffset", "QRSOffset"},
        {"MultiLeadTOffset", "TOffset"},
    }};
    return names;
}

const char* TMultiLeadBoundaries::resultBeside(const char* mark)
{
    for (const Names& entry : names()) {
        if (std::strcmp(entry.mark, mark) == 0)
            return entry.result;
    }
    return nullptr;
}

void TMultiLeadBoundaries::storeInto(TWaveMarks& marks, int samplingRate, int centre) const
{
    const int indices[] = {pOnset, qrsOnset, qrsOffset, tOffset};
    for (std::size_t k = 0; k < names().size(); ++k) {
        const QString name = QString::fromLatin1(names()[k].result);
        TWaveMark* mark = marks.find(name);
        if (mark == nullptr)
            mark = &marks.insert(name, TWaveMark::SingleValue);
        mark->setValue(indices[k] != 0 && samplingRate > 0 ? double(indices[k] - centre) / samplingRate : 0.0);
    }
}

TMultiLeadBoundaries TMultiLeadDelineator::delineate(const std::vector<const std::vector<double>*>& beats,
                                                     int samplingRate, int centre, double meanRr) const
{
    const int window = int(0.75 * samplingRate);
    std::vector<double> qrsOnsets;
    std::vector<double> qrsOffsets;
    std::vector<double> pOnsets;
    std::vector<double> tOffsets;
    for (const std::vector<double>* beat : beats) {
        // The QRS of each lead as the averaged-beat delineation finds it;
        // flat leads find nothing.
        const TWaveDelineation qrs = TWaveDelineator().delineate(*beat, samplingRate, centre, window);
        if (qrs.qrsOnset == 0 || qrs.qrsOffset == 0)
            continue;
        qrsOnsets.push_back(qrs.qrsOnset);
        qrsOffsets.push_back(qrs.qrsOffset);
        LeadWaves waves(*beat, samplingRate, centre, meanRr);
        waves.find(qrs.qrsOnset, qrs.qrsOffset);
        if (waves.pOnset != 0)
            pOnsets.push_back(waves.pOnset);
        if (waves.tOffset != 0)
            tOffsets.push_back(waves.tOffset);
    }
    TMultiLeadBoundaries found;
    found.qrsOnset = commonIndex(qrsOnsets);
    found.qrsOffset = commonIndex(qrsOffsets, QrsOffsetShare);
    if (found.qrsOnset == 0 || found.qrsOffset <= found.qrsOnset)
        return TMultiLeadBoundaries{};
    // A P wave seen in less than half the leads is taken for noise (atrial
    // fibrillation leaves none in the averaged beat).
    if (2 * pOnsets.size() >= qrsOnsets.size())
        found.pOnset = commonIndex(pOnsets);
    if (found.pOnset >= found.qrsOnset)
        found.pOnset = 0;
    found.tOffset = commonIndex(tOffsets);
    if (found.tOffset <= found.qrsOffset)
        found.tOffset = 0;
    return found;
}

TMultiLeadBoundaries TMultiLeadDelineator::delineate(const TLiveBeatAverager& averager, double meanRr) const
{
    std::vector<const std::vector<double>*> beats;
    for (int lead = 0; lead < averager.signal().channelCount(); ++lead) {
        if (averager.count(lead) > 0)
            beats.push_back(&averager.average(lead));
    }
    return delineate(beats, averager.samplingRate(), averager.centre(), meanRr);
}
