#include "analysis/detection/TLeadUsability.h"

#include "analysis/filters/TFirTables.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cmath>

namespace {

const double FlatnessHalf[24] = {
    -0.00416575, -0.00435634, -0.00486754, -0.00561775, -0.0064733,  -0.00725617,
    -0.00775638, -0.00774813, -0.00700871, -0.00533848, -0.00258033, 0.00136292,
    0.00651498,  0.01281743,  0.02012703,  0.02821945,  0.03679935,  0.04551617,
    0.05398476,  0.06180921,  0.06860835,  0.0740408,   0.07782786,  0.07977242,
};
constexpr int FlatnessLength = 48;

constexpr double SaturationBefore = 0.5; // s before the beat
constexpr double SaturationLength = 1.0; // s
constexpr double FlatnessBefore = 2.0;   // s before the beat
constexpr double FlatnessLengthTime = 3.0;
constexpr double Closeness = 2.0;        // counts from an extreme
constexpr int MaxRuns = 3;
constexpr int MaxRunPercent = 35;
// With every lead below the flatness threshold, a lead is flat below the
// threshold divided by LowVoltageDivisor, or beside a lead at least
// LargerLeadFactor times larger.
constexpr double LargerLeadFactor = 2.0;
constexpr double LowVoltageDivisor = 8.0;

int samples(double seconds, int rate)
{
    return int(std::lround(seconds * rate));
}

struct Runs
{
    int count = 0;   // runs of two or more samples
    int samples = 0; // samples in those runs
};

// Runs of two or more samples within Closeness of `extreme` (above it when
// `high`, below when not).
Runs runsNear(const double* values, int count, double extreme, bool high)
{
    Runs runs;
    int length = 0;
    for (int i = 0; i <= count; ++i) {
        const bool near = i < count && (high ? values[i] >= extreme - Closeness : values[i] <= extreme + Closeness);
        if (near) {
            ++length;
            continue;
        }
        if (length >= 2) {
            ++runs.count;
            runs.samples += length;
        }
        length = 0;
    }
    return runs;
}

} // namespace

const std::vector<double>& TLeadUsability::flatnessTaps()
{
    static const TFirTable table = TFirTable::fromHalf(FlatnessHalf, FlatnessLength);
    return table.taps();
}

TLeadUsability::TLeadUsability(const TSignal& signal)
    : m_signal(signal)
    , m_saturationBefore(samples(SaturationBefore, signal.samplingRate()))
    , m_saturationLength(samples(SaturationLength, signal.samplingRate()))
    , m_flatnessBefore(samples(FlatnessBefore, signal.samplingRate()))
    , m_flatnessLength(samples(FlatnessLengthTime, signal.samplingRate()))
    , m_kernel(flatnessTaps())
    , m_window(std::size_t(std::max(m_saturationLength, m_flatnessLength)))
    , m_smoothed(m_window.size())
{
}

int TLeadUsability::readWindow(int lead, int from, int count)
{
    const int first = std::max(from, 0);
    const int end = std::min(from + count, m_signal.appendedCount());
    if (end <= first)
        return 0;
    m_signal.readRange(lead, first, end - first, m_window.data());
    return end - first;
}

void TLeadUsability::judge(int qrsIndex, bool* usable)
{
    const int resolution = m_signal.resolutionBits();
    const int leads = std::min(m_signal.channelCount(), int(TSignal::MaxChannels));
    double spans[TSignal::MaxChannels];
    double largest = 0.0;
    for (int lead = 0; lead < leads; ++lead) {
        int count = readWindow(lead, qrsIndex - m_saturationBefore, m_saturationLength);
        usable[lead] = !isSaturated(m_window.data(), count, resolution);
        if (!usable[lead])
            continue;
        count = readWindow(lead, qrsIndex - m_flatnessBefore, m_flatnessLength);
        spans[lead] = smoothedSpan(m_window.data(), count);
        largest = std::max(largest, spans[lead]);
    }
    for (int lead = 0; lead < leads; ++lead)
        usable[lead] = usable[lead] && !isFlat(spans[lead], largest, resolution);
}

bool TLeadUsability::isSaturated(const double* samples, int count, int resolution)
{
    if (count <= 0)
        return false;
    const auto [low, high] = std::minmax_element(samples, samples + count);
    const double full = std::ldexp(1.0, resolution - 2);
    if (*high - Closeness < full && *low + Closeness > -full)
        return false;
    const Runs top = runsNear(samples, count, *high, true);
    const Runs bottom = runsNear(samples, count, *low, false);
    return top.count > MaxRuns || bottom.count > MaxRuns || top.samples * 100 / count > MaxRunPercent
        || bottom.samples * 100 / count > MaxRunPercent;
}

double TLeadUsability::smoothedSpan(const double* samples, int count)
{
    const int outputs = count - m_kernel.length() + 1;
    if (outputs <= 0)
        return 0.0;
    m_kernel.run(samples, outputs, m_smoothed.data());
    const auto [low, high] = std::minmax_element(m_smoothed.data(), m_smoothed.data() + outputs);
    return *high - *low;
}

bool TLeadUsability::isFlat(double span, double largestSpan, int resolution)
{
    const double least = std::ldexp(1.0, resolution) / (resolution > 12 ? 2048.0 : 32.0);
    if (span >= least)
        return false;
    if (largestSpan >= least)
        return true;
    return span < least / LowVoltageDivisor || span * LargerLeadFactor <= largestSpan;
}
