#include "FrankComparison.h"

#include "DemoConversion.h"

#include "analysis/beats/TBeat.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/signal/TSignalBuffer16.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace FrankComparison {

namespace {

// Twelve standard leads in lead order, then the Frank leads.
const QStringList& signalNames()
{
    static const QStringList names = {
        QStringLiteral("i"),  QStringLiteral("ii"), QStringLiteral("iii"), QStringLiteral("avr"),
        QStringLiteral("avl"), QStringLiteral("avf"), QStringLiteral("v1"), QStringLiteral("v2"),
        QStringLiteral("v3"), QStringLiteral("v4"), QStringLiteral("v5"), QStringLiteral("v6"),
        QStringLiteral("vx"), QStringLiteral("vy"), QStringLiteral("vz"),
    };
    return names;
}

constexpr int FrankX = 12;
// Half a microvolt per count, the resolution of the PTB records.
constexpr double RangeMillivolts = 16.384;

std::vector<std::vector<double>> namedSignals(const TWfdbRecord& record)
{
    std::vector<std::vector<double>> signals;
    for (const QString& name : signalNames()) {
        const auto info = std::find_if(record.header.signalInfos.begin(), record.header.signalInfos.end(),
                                       [&](const TWfdbSignalInfo& s) { return s.description.trimmed().toLower() == name; });
        if (info == record.header.signalInfos.end())
            throw std::runtime_error("Record has no signal " + name.toStdString());
        signals.push_back(record.millivolts[std::size_t(info - record.header.signalInfos.begin())]);
    }
    return signals;
}

std::unique_ptr<TSignalBuffer16> toSignal(const std::vector<std::vector<double>>& signals, int rate)
{
    const int count = int(signals.front().size());
    auto signal = std::make_unique<TSignalBuffer16>(int(signals.size()), rate, 4096, std::max(count, 1));
    signal->setRange(-RangeMillivolts, RangeMillivolts);
    std::vector<std::vector<qint16>> counts;
    for (const std::vector<double>& millivolts : signals) {
        std::vector<qint16> values(millivolts.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = qint16(std::clamp(std::lround(millivolts[i] / signal->lsb()), -32768L, 32767L));
        counts.push_back(std::move(values));
    }
    std::vector<const qint16*> pointers;
    for (const auto& values : counts)
        pointers.push_back(values.data());
    signal->append(pointers.data(), count);
    return signal;
}

// Beats at the given QRS positions with their RR interval and the mean of
// the last eight RR intervals, as the detector supplies them.
void feedBeats(TLiveBeatAverager& averager, const TSignal& signal, const std::vector<int>& positions, int rate)
{
    std::vector<double> intervals;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        TBeat beat(&signal);
        beat.setValue(TBeat::QrsTime, positions[k] / double(rate));
        const double rr = k > 0 ? (positions[k] - positions[k - 1]) / double(rate) : 0.0;
        if (rr > 0.0)
            intervals.push_back(rr);
        const std::size_t recent = std::min<std::size_t>(intervals.size(), 8);
        double sum = 0.0;
        for (std::size_t i = intervals.size() - recent; i < intervals.size(); ++i)
            sum += intervals[i];
        beat.setValue(TBeat::RrInterval, rr);
        beat.setValue(TBeat::MeanRrInterval, recent > 0 ? sum / double(recent) : 0.0);
        averager.add(beat);
    }
}

// The signal minus its centred moving mean over 2 * halfWidth + 1 samples
// (shorter at the ends): removes the baseline wander, which differs
// between the two electrode systems and says nothing about the synthesis.
std::vector<double> withoutBaseline(const std::vector<double>& values, int halfWidth)
{
    std::vector<double> sums(values.size() + 1, 0.0);
    for (std::size_t i = 0; i < values.size(); ++i)
        sums[i + 1] = sums[i] + values[i];
    std::vector<double> result(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t first = i >= std::size_t(halfWidth) ? i - std::size_t(halfWidth) : 0;
        const std::size_t end = std::min(values.size(), i + std::size_t(halfWidth) + 1);
        result[i] = values[i] - (sums[end] - sums[first]) / double(end - first);
    }
    return result;
}

LatePotentialFigures figures(const TLatePotentials& analysis)
{
    return {analysis.onset(), analysis.offset(), analysis.QRSD(), analysis.RMS(), analysis.LAS()};
}

std::vector<double> scaled(const std::vector<double>& counts, double lsb)
{
    std::vector<double> millivolts(counts);
    for (double& value : millivolts)
        value *= lsb;
    return millivolts;
}

} // namespace

double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    if (n == 0)
        return 0.0;
    double meanA = 0.0, meanB = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= double(n);
    meanB /= double(n);
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
}

Result compare(const TWfdbRecord& record)
{
    const std::vector<std::vector<double>> signals = namedSignals(record);
    Result result;
    result.rate = int(std::lround(record.header.samplingFrequency));

    std::array<std::vector<double>, 3> synthesised;
    for (std::vector<double>& axis : synthesised)
        axis.resize(signals.front().size());
    for (std::size_t i = 0; i < signals.front().size(); ++i) {
        std::array<double, 8> leads;
        const int positions[8] = {0, 1, 6, 7, 8, 9, 10, 11}; // I, II, V1 ... V6
        for (int k = 0; k < 8; ++k)
            leads[std::size_t(k)] = signals[std::size_t(positions[k])][i];
        const std::array<double, 3> xyz = TLatePotentials::inverseDower(leads);
        for (std::size_t axis = 0; axis < 3; ++axis)
            synthesised[axis][i] = xyz[axis];
    }
    const int halfWidth = int(0.2 * record.header.samplingFrequency);
    for (std::size_t axis = 0; axis < 3; ++axis) {
        result.recordCorrelation[axis] = correlation(withoutBaseline(synthesised[axis], halfWidth),
                                                     withoutBaseline(signals[FrankX + axis], halfWidth));
    }

    const std::vector<int> beats = DemoConversion::detectBeats(signals, result.rate);
    result.beatsFound = int(beats.size());
    const auto signal = toSignal(signals, result.rate);
    TLiveBeatAverager averager(*signal);
    feedBeats(averager, *signal, beats, result.rate);
    result.averagedBeatsV5 = averager.count(10);
    result.averagedBeatsX = averager.count(FrankX);

    TLatePotentials fromStandardLeads(averager);
    fromStandardLeads.compute();
    result.synthesised = figures(fromStandardLeads);
    TLatePotentials fromFrankLeads(averager);
    const double lsb = signal->lsb();
    fromFrankLeads.computeFromOrthogonal(scaled(averager.average(FrankX), lsb), scaled(averager.average(FrankX + 1), lsb),
                                         scaled(averager.average(FrankX + 2), lsb));
    result.recorded = figures(fromFrankLeads);
    const std::array<const std::vector<double>*, 3> synthesisedAverages = {
        &fromStandardLeads.x(), &fromStandardLeads.y(), &fromStandardLeads.z()};
    const std::array<const std::vector<double>*, 3> recordedAverages = {
        &fromFrankLeads.x(), &fromFrankLeads.y(), &fromFrankLeads.z()};
    for (std::size_t axis = 0; axis < 3; ++axis)
        result.averageCorrelation[axis] = correlation(*synthesisedAverages[axis], *recordedAverages[axis]);
    return result;
}

} // namespace FrankComparison
