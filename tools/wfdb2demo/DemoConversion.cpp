#include "DemoConversion.h"

#include "analysis/signal/TLeadSet.h"
#include "analysis/signal/TSampleConversion.h"
#include "formats/TWfdbLeadMap.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace DemoConversion {

namespace {

enum Lead {
    I = TLeadSet::LeadI,
    II = TLeadSet::LeadII,
    III = TLeadSet::LeadIII,
    AVR = TLeadSet::LeadAVR,
    AVL = TLeadSet::LeadAVL,
    AVF = TLeadSet::LeadAVF,
    V1 = TLeadSet::LeadV1,
    V2 = TLeadSet::LeadV2,
    V3 = TLeadSet::LeadV3,
    V4 = TLeadSet::LeadV4,
    V5 = TLeadSet::LeadV5,
    V6 = TLeadSet::LeadV6,
    CM5 = TLeadSet::LeadCM5,
    CR5 = TLeadSet::LeadCR5,
};

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + long(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

std::vector<std::vector<double>> mapLeads(const TWfdbRecord& record, QStringList* notes)
{
    const TWfdbLeadMap leadMap(record.header);
    std::vector<std::vector<double>> leads = leadMap.leads(record);
    std::vector<bool> have(TLeadSet::LeadCount);
    for (int lead = 0; lead < TLeadSet::LeadCount; ++lead)
        have[std::size_t(lead)] = leadMap.hasLead(lead);
    auto note = [notes](const QString& text) {
        if (notes)
            notes->append(text);
    };
    auto combine = [&leads](Lead target, Lead a, double ka, Lead b, double kb) {
        const auto& x = leads[a];
        const auto& y = leads[b];
        auto& out = leads[target];
        out.resize(x.size());
        for (std::size_t i = 0; i < x.size(); ++i)
            out[i] = ka * x[i] + kb * y[i];
    };

    const int limbCount = int(have[I]) + int(have[II]) + int(have[III]);
    if (limbCount < 2)
        fail(QStringLiteral("The record needs at least two of the leads I, II and III"));
    if (!have[I]) {
        combine(I, II, 1.0, III, -1.0);
        note(QStringLiteral("I = II - III"));
    } else if (!have[II]) {
        combine(II, I, 1.0, III, 1.0);
        note(QStringLiteral("II = I + III"));
    } else if (!have[III]) {
        combine(III, II, 1.0, I, -1.0);
        note(QStringLiteral("III = II - I"));
    }
    have[I] = have[II] = have[III] = true;
    if (!have[AVR]) {
        combine(AVR, I, -0.5, II, -0.5);
        note(QStringLiteral("aVR = -(I + II) / 2"));
    }
    if (!have[AVL]) {
        combine(AVL, I, 1.0, II, -0.5);
        note(QStringLiteral("aVL = I - II / 2"));
    }
    if (!have[AVF]) {
        combine(AVF, II, 1.0, I, -0.5);
        note(QStringLiteral("aVF = II - I / 2"));
    }
    for (int lead = V1; lead <= V6; ++lead) {
        if (!have[std::size_t(lead)])
            fail(QStringLiteral("The record has no lead %1").arg(TLeadSet::leadName(lead)));
    }
    if (!have[CM5]) {
        combine(CM5, V5, 1.0, AVF, 1.0 / 3.0);
        note(QStringLiteral("CM5 = V5 + aVF / 3"));
    }
    if (!have[CR5]) {
        combine(CR5, V5, 1.0, AVR, -2.0 / 3.0);
        note(QStringLiteral("CR5 = V5 - (2/3) aVR"));
    }
    return leads;
}

std::vector<double> decimateCircular(const std::vector<double>& loop, const std::vector<double>& taps,
                                     int factor)
{
    const long length = long(loop.size());
    if (factor < 1 || length == 0 || length % factor != 0)
        fail(QStringLiteral("The loop length must be a multiple of the decimation factor"));
    if (factor == 1)
        return loop;
    const long half = long(taps.size() / 2);
    std::vector<double> out(std::size_t(length / factor));
    for (long k = 0; k < long(out.size()); ++k) {
        double acc = 0.0;
        for (long n = 0; n < long(taps.size()); ++n) {
            long index = (k * factor + n - half) % length;
            if (index < 0)
                index += length;
            acc += taps[std::size_t(n)] * loop[std::size_t(index)];
        }
        out[std::size_t(k)] = acc;
    }
    return out;
}

std::vector<int> detectBeats(const std::vector<std::vector<double>>& leads, double rate)
{
    const int length = int(leads.front().size());
    const int step = std::max(1, int(std::lround(0.01 * rate)));
    const int smooth = std::max(1, int(std::lround(0.08 * rate)));
    const int refractory = std::max(1, int(std::lround(0.25 * rate)));
    static const int energyLeads[] = {I, II, V1, V2, V3, V4, V5, V6};

    std::vector<double> energy(std::size_t(length), 0.0);
    for (int n = step; n + step < length; ++n) {
        double sum = 0.0;
        for (int lead : energyLeads) {
            const double slope = leads[std::size_t(lead)][std::size_t(n + step)]
                               - leads[std::size_t(lead)][std::size_t(n - step)];
            sum += slope * slope;
        }
        energy[std::size_t(n)] = sum;
    }
    // Centred moving average.
    std::vector<double> smoothed(std::size_t(length), 0.0);
    double window = 0.0;
    const int halfSmooth = smooth / 2;
    for (int n = 0; n < length + halfSmooth; ++n) {
        if (n < length)
            window += energy[std::size_t(n)];
        if (n - smooth >= 0)
            window -= energy[std::size_t(n - smooth)];
        const int centre = n - halfSmooth;
        if (centre >= 0 && centre < length)
            smoothed[std::size_t(centre)] = window / smooth;
    }
    std::vector<double> sorted = smoothed;
    const auto at = sorted.begin() + long(sorted.size() * 99 / 100);
    std::nth_element(sorted.begin(), at, sorted.end());
    const double threshold = 0.25 * *at;

    std::vector<int> beats;
    for (int n = 1; n + 1 < length; ++n) {
        const double value = smoothed[std::size_t(n)];
        if (value < threshold)
            continue;
        bool isMaximum = true;
        for (int m = std::max(0, n - refractory); m <= std::min(length - 1, n + refractory) && isMaximum; ++m) {
            const double other = smoothed[std::size_t(m)];
            if (other > value || (other == value && m < n))
                isMaximum = false;
        }
        if (isMaximum)
            beats.push_back(n);
    }
    return beats;
}

LoopCut chooseLoop(const std::vector<std::vector<double>>& leads, double rate, double minimumSeconds,
                   int lengthMultiple)
{
    const int length = int(leads.front().size());
    const int minimumLength = int(std::ceil(minimumSeconds * rate));
    if (length <= minimumLength)
        fail(QStringLiteral("The record is %1 s long, not longer than the %2 s asked for")
                 .arg(length / rate)
                 .arg(minimumSeconds));
    const std::vector<int> beats = detectBeats(leads, rate);
    if (beats.size() < 4)
        fail(QStringLiteral("Too few beats found to cut a loop between beats"));

    std::vector<double> intervals;
    for (std::size_t k = 1; k < beats.size(); ++k)
        intervals.push_back(double(beats[k] - beats[k - 1]));
    const double typical = median(intervals);

    // Activity: the summed absolute slope of all leads over 40 ms.
    const int span = std::max(1, int(std::lround(0.02 * rate)));
    std::vector<double> activity(std::size_t(length), std::numeric_limits<double>::infinity());
    for (int n = span; n + span < length; ++n) {
        double sum = 0.0;
        for (const auto& lead : leads)
            sum += std::abs(lead[std::size_t(n + span)] - lead[std::size_t(n - span)]);
        activity[std::size_t(n)] = sum;
    }

    struct Candidate {
        int sample;
        std::size_t beat; // index of the QRS before it
    };
    std::vector<Candidate> candidates;
    const int grid = std::max(1, int(std::lround(0.005 * rate)));
    for (std::size_t k = 0; k + 1 < beats.size(); ++k) {
        const double interval = beats[k + 1] - beats[k];
        // Ignore irregular intervals (ectopic beats, missed detections).
        if (interval < 0.7 * typical || interval > 1.3 * typical)
            continue;
        const int first = beats[k] + int(0.5 * interval);
        const int last = beats[k + 1] - int(0.22 * interval);
        for (int n = first; n <= last; n += grid)
            candidates.push_back({n, k});
    }

    const int longest = length - 1;
    LoopCut best;
    best.cost = std::numeric_limits<double>::infinity();
    for (const Candidate& start : candidates) {
        for (const Candidate& stop : candidates) {
            int end = stop.sample;
            if (end - start.sample < minimumLength)
                continue;
            end -= (end - start.sample) % lengthMultiple;
            if (end - start.sample < minimumLength || end >= length)
                continue;
            double mismatch = 0.0;
            for (const auto& lead : leads)
                mismatch += std::abs(lead[std::size_t(start.sample)] - lead[std::size_t(end)]);
            const double wrap = double(end - beats[stop.beat]) + double(beats[start.beat + 1] - start.sample);
            const double reference = 0.5 * (double(beats[stop.beat + 1] - beats[stop.beat])
                                             + double(beats[start.beat + 1] - beats[start.beat]));
            const double cost = mismatch + 2.0 * (activity[std::size_t(start.sample)] + activity[std::size_t(end)])
                              + 3.0 * std::abs(wrap / reference - 1.0)
                              + 0.02 * double(longest - (end - start.sample)) / rate;
            if (cost < best.cost) {
                best.start = start.sample;
                best.end = end;
                best.cost = cost;
                best.wrapInterval = wrap / rate;
            }
        }
    }
    if (!std::isfinite(best.cost))
        fail(QStringLiteral("No loop of %1 s between beats fits into the record").arg(minimumSeconds));
    best.typicalInterval = typical / rate;
    for (const auto& lead : leads)
        best.largestStep = std::max(best.largestStep, std::abs(lead[std::size_t(best.start)] - lead[std::size_t(best.end)]));
    return best;
}

std::vector<std::vector<double>> closeLoop(const std::vector<std::vector<double>>& leads,
                                           const LoopCut& cut)
{
    const int length = cut.end - cut.start;
    std::vector<std::vector<double>> loop(leads.size(), std::vector<double>(std::size_t(length)));
    for (std::size_t lead = 0; lead < leads.size(); ++lead) {
        const auto& x = leads[lead];
        const double step = x[std::size_t(cut.start)] - x[std::size_t(cut.end)];
        for (int n = 0; n < length; ++n)
            loop[lead][std::size_t(n)] = x[std::size_t(cut.start + n)] + step * double(n) / length;
    }
    return loop;
}

QByteArray toFrames(const std::vector<std::vector<double>>& leads)
{
    if (leads.size() != std::size_t(TLeadSet::LeadCount))
        fail(QStringLiteral("A demo frame holds 14 leads"));
    const std::size_t frames = leads.front().size();
    QByteArray bytes(int(frames * TLeadSet::LeadCount * 2), Qt::Uninitialized);
    uchar* out = reinterpret_cast<uchar*>(bytes.data());
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int lead = 0; lead < TLeadSet::LeadCount; ++lead, out += 2)
            qToLittleEndian<qint16>(deviceCount(leads[std::size_t(lead)][frame]), out);
    }
    return bytes;
}

} // namespace DemoConversion
