#include "analysis/latepotentials/TLatePotentialsAssessment.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The leads the orthogonal leads are synthesised from.
constexpr int SourceLeads[] = {0, 1, 6, 7, 8, 9, 10, 11}; // I, II, V1 ... V6
// An average whose peak-to-peak stays below this carries no ECG.
constexpr double FlatAverageMillivolts = 0.05;

int samples(double seconds, int rate)
{
    return int(std::lround(seconds * rate));
}

double hundredths(double value)
{
    return std::round(value * 100.0) / 100.0;
}

double milliseconds(int samples, int rate)
{
    return samples * 1000.0 / rate;
}

void assessNoise(const TLatePotentials& potentials, int rate, TLatePotentialsAssessment& result)
{
    const std::vector<double>& magnitude = potentials.vectorMagnitude();
    const int length = int(magnitude.size());
    const int window = std::min(samples(TLatePotentialsAssessment::NoiseLength, rate), length);
    if (potentials.offset() <= 0 || window <= 0)
        return;
    const int start =
        std::clamp(potentials.offset() + samples(TLatePotentialsAssessment::NoiseDelay, rate), 0, length - window);
    double sum = 0.0;
    for (int index = start; index < start + window; ++index)
        sum += magnitude[std::size_t(index)] * magnitude[std::size_t(index)];
    result.noiseMicrovolts = hundredths(std::sqrt(sum / window) * 1000.0);
    result.noiseStart = start;
    result.noiseLength = window;
}

// Whether an electrode feeds a source lead: I is LA against RA, II is LL
// against RA, and each precordial lead is its own electrode against the
// mean of the three limb electrodes, which every limb electrode upsets.
bool feeds(const QString& electrode, int lead)
{
    if (electrode == QLatin1String("RA"))
        return true;
    if (electrode == QLatin1String("LA"))
        return lead != TLeadSet::LeadII;
    if (electrode == QLatin1String("LL"))
        return lead != TLeadSet::LeadI;
    return electrode == TLeadSet::leadName(lead);
}

bool fedByAny(const QStringList& electrodes, int lead)
{
    return std::any_of(electrodes.begin(), electrodes.end(),
                       [lead](const QString& electrode) { return feeds(electrode, lead); });
}

void assessSourceLeads(const TLiveBeatAverager& averager, const QStringList& electrodesOff,
                       TLatePotentialsAssessment& result)
{
    const double lsb = averager.signal().lsb();
    int fewest = std::numeric_limits<int>::max();
    for (const int lead : SourceLeads) {
        const std::vector<double>& average = averager.average(lead);
        const auto [low, high] = std::minmax_element(average.begin(), average.end());
        const bool flat = average.empty() || (*high - *low) * lsb < FlatAverageMillivolts;
        if (averager.count(lead) == 0 || flat || fedByAny(electrodesOff, lead))
            result.missingLeads << TLeadSet::leadName(lead);
        else
            fewest = std::min(fewest, averager.count(lead));
    }
    result.beatsAveraged = fewest == std::numeric_limits<int>::max() ? 0 : fewest;
}

// The nearest the vector magnitude comes to the threshold where LAS is
// decided: the highest sample inside the counted run, and the sample that
// ends it.
double lasMargin(const TLatePotentials& potentials)
{
    const std::vector<double>& magnitude = potentials.vectorMagnitude();
    const double threshold = potentials.lasThreshold();
    const int last = std::min(potentials.offset(), int(magnitude.size()) - 1);
    if (potentials.onset() >= potentials.offset() || last < 0)
        return 0.0;
    const int stop = std::max(last - potentials.LAS(), 0);
    double margin = std::fabs(magnitude[std::size_t(stop)] * 1000.0 - threshold);
    for (int index = stop + 1; index <= last; ++index)
        margin = std::min(margin, threshold - magnitude[std::size_t(index)] * 1000.0);
    return hundredths(margin);
}

QVector<TLatePotentialsAssessment::Reason> reasonsNotAssessable(const TLatePotentials& potentials,
                                                                const TLatePotentialsAssessment::Limits& limits,
                                                                const QStringList& electrodesOff,
                                                                const TLatePotentialsAssessment& result)
{
    using Reason = TLatePotentialsAssessment::Reason;
    const auto number = [](double value, int decimals) { return QString::number(value, 'f', decimals); };
    QVector<Reason> reasons;
    if (potentials.highPassCutoff() != TLatePotentialsAssessment::CriteriaCutoff)
        reasons.append(Reason{QT_TRANSLATE_NOOP("TLatePotentialsAssessment", "the criteria are defined at %1 Hz"),
                        {QString::number(TLatePotentialsAssessment::CriteriaCutoff)}});
    if (result.noiseMicrovolts > limits.noiseMicrovolts)
        reasons.append(Reason{QT_TRANSLATE_NOOP("TLatePotentialsAssessment", "noise %1 uV is above the limit of %2 uV"),
                        {number(result.noiseMicrovolts, 2), number(limits.noiseMicrovolts, 1)}});
    if (result.beatsAveraged < limits.minimumBeats)
        reasons.append(Reason{QT_TRANSLATE_NOOP("TLatePotentialsAssessment", "%1 beats averaged, fewer than %2"),
                        {QString::number(result.beatsAveraged), QString::number(limits.minimumBeats)}});
    if (!result.missingLeads.isEmpty())
        reasons.append(Reason{QT_TRANSLATE_NOOP("TLatePotentialsAssessment", "source leads missing: %1"),
                        {result.missingLeads.join(QStringLiteral(", "))}});
    if (!electrodesOff.isEmpty())
        reasons.append(Reason{QT_TRANSLATE_NOOP("TLatePotentialsAssessment",
                                          "electrodes off during more than a tenth of the averaged beats: %1"),
                        {electrodesOff.join(QStringLiteral(", "))}});
    if (result.onsetAtRangeEnd)
        reasons.append(
            Reason{QT_TRANSLATE_NOOP("TLatePotentialsAssessment", "the QRS onset is at the end of its search range"), {}});
    if (result.offsetAtRangeEnd)
        reasons.append(
            Reason{QT_TRANSLATE_NOOP("TLatePotentialsAssessment", "the QRS offset is at the end of its search range"), {}});
    return reasons;
}

} // namespace

TLatePotentialsAssessment TLatePotentialsAssessment::assess(const TLatePotentials& potentials, const Limits& limits)
{
    return judge(potentials, limits, QStringList());
}

TLatePotentialsAssessment TLatePotentialsAssessment::assessStandard(const TLatePotentials& shown, bool limitsByHand,
                                                                    const Limits& limits,
                                                                    const QStringList& electrodesOff)
{
    if (isStandard(shown))
        return judge(shown, limits, electrodesOff);
    TLatePotentials standard(shown.averager());
    standard.setHighPassCutoff(CriteriaCutoff);
    standard.setLasThreshold(CriteriaLasThreshold);
    standard.setRmsDuration(samples(CriteriaRmsDuration, shown.averager().samplingRate()));
    standard.setOnset(limitsByHand ? shown.onset() : 0);
    standard.setOffset(limitsByHand ? shown.offset() : 0);
    standard.computeFromOrthogonal(shown.x(), shown.y(), shown.z());
    return judge(standard, limits, electrodesOff);
}

bool TLatePotentialsAssessment::isStandard(const TLatePotentials& potentials)
{
    return potentials.highPassCutoff() == CriteriaCutoff && potentials.lasThreshold() == CriteriaLasThreshold
           && potentials.rmsDuration() == samples(CriteriaRmsDuration, potentials.averager().samplingRate());
}

QString TLatePotentialsAssessment::settingsLabel(const TLatePotentials& potentials)
{
    QStringList settings;
    if (potentials.highPassCutoff() != CriteriaCutoff)
        settings << QStringLiteral("%1 Hz").arg(potentials.highPassCutoff());
    const int rate = potentials.averager().samplingRate();
    if (potentials.lasThreshold() != CriteriaLasThreshold
        || potentials.rmsDuration() != samples(CriteriaRmsDuration, rate))
        settings << QStringLiteral("%1 \u00b5V / %2 ms")
                        .arg(potentials.lasThreshold())
                        .arg(milliseconds(potentials.rmsDuration(), rate), 0, 'f', 0);
    return settings.join(QStringLiteral(", "));
}

TLatePotentialsAssessment TLatePotentialsAssessment::judge(const TLatePotentials& potentials, const Limits& limits,
                                                           const QStringList& electrodesOff)
{
    const int rate = potentials.averager().samplingRate();
    TLatePotentialsAssessment result;
    assessNoise(potentials, rate, result);
    assessSourceLeads(potentials.averager(), electrodesOff, result);
    result.onsetAtRangeEnd = potentials.onset() == potentials.centre() - TLatePotentials::SearchReach;
    result.offsetAtRangeEnd = potentials.offset() == potentials.centre() + TLatePotentials::SearchReach;
    result.lasMarginMicrovolts = lasMargin(potentials);
    result.setCriteria(milliseconds(potentials.QRSD(), rate), potentials.RMS(), milliseconds(potentials.LAS(), rate));
    result.reasonDetails = reasonsNotAssessable(potentials, limits, electrodesOff, result);
    for (const Reason& reason : result.reasonDetails)
        result.reasons << reason.text(QString::fromLatin1(reason.wording));
    result.decide();
    return result;
}

QString TLatePotentialsAssessment::Reason::text(const QString& wording) const
{
    QString text = wording;
    for (const QString& argument : arguments)
        text = text.arg(argument);
    return text;
}

void TLatePotentialsAssessment::setCriteria(double qrsdMs, double rmsMicrovolts, double lasMs)
{
    qrsd = {qrsdMs, QrsdLimit, qrsdMs > QrsdLimit};
    rms = {rmsMicrovolts, RmsLimit, rmsMicrovolts < RmsLimit};
    las = {lasMs, LasLimit, lasMs > LasLimit};
    criteriaHolding = int(qrsd.holds) + int(rms.holds) + int(las.holds);
}

void TLatePotentialsAssessment::decide()
{
    if (!reasons.isEmpty())
        verdict = Verdict::NotAssessable;
    else
        verdict = criteriaHolding >= 2 ? Verdict::Positive : Verdict::Negative;
}

QString TLatePotentialsAssessment::verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Positive:
        return QStringLiteral("positive");
    case Verdict::Negative:
        return QStringLiteral("negative");
    case Verdict::NotAssessable:
        break;
    }
    return QStringLiteral("not assessable");
}
