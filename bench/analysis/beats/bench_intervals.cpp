// Interval measurements against cardiologists' wave boundaries. Every
// record of a folder of the Lobachevsky University database (a "N.hea"
// with one annotation file per lead, "N.i" ... "N.v6", in which P waves,
// QRS complexes and T waves are marked with their onset "(", peak and
// offset ")") is analysed as varor-analyze analyses it, and its PR, QRS and
// QT are compared with the reference: for each beat the median over the
// leads that mark a boundary, then the median over the record's beats of
// PR (P onset to QRS onset), QRS (onset to offset) and QT (QRS onset to T
// offset). Per interval it prints the mean difference (measured minus
// reference) and its standard deviation over the records that have both,
// and the records with a reference but without a measured figure. Each
// record's figures go to the error stream.
//
// Usage: bench_intervals [folder]; the default folder is ../shared/data/ludb
// beside the project. The headline is the worst standard deviation
// relative to its tolerance (10 ms for PR and QRS, 30 ms for QT).
#include "bench/BenchMetric.h"
#include "bench/BenchRecords.h"

#include "AnalyzeCommand.h"
#include "app/TStartup.h"
#include "formats/TWfdbAnnotations.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

const char* const LeadSuffixes[] = {"i", "ii", "iii", "avr", "avl", "avf", "v1", "v2", "v3", "v4", "v5", "v6"};

// Peaks of two leads closer than this belong to the same beat.
constexpr double SameBeat = 0.1; // s
// A P wave further before its QRS belongs to no beat.
constexpr double LongestPr = 0.5; // s

enum Interval { PR, QRS, QT, IntervalCount };
const char* const IntervalNames[] = {"PR", "QRS", "QT"};
constexpr double Tolerance[] = {10.0, 10.0, 30.0}; // ms, standard deviation

// One marked wave of a lead, times in seconds (NAN where a bound is absent).
struct Wave
{
    char kind = 0; // 'p', 'N' (any QRS) or 't'
    double onset = NAN;
    double peak = NAN;
    double offset = NAN;
};

std::vector<Wave> readWaves(const QString& path, double rate)
{
    std::vector<Wave> waves;
    double onset = NAN;
    Wave* open = nullptr;
    for (const TWfdbAnnotation& annotation : TWfdbAnnotations::read(path)) {
        const double time = annotation.sample / rate;
        const QString symbol = TWfdbAnnotations::symbol(annotation.code);
        if (symbol == QLatin1String("(")) {
            onset = time;
            open = nullptr;
        } else if (symbol == QLatin1String(")")) {
            if (open)
                open->offset = time;
            open = nullptr;
            onset = NAN;
        } else {
            Wave wave;
            wave.kind = symbol == QLatin1String("p")   ? 'p'
                        : symbol == QLatin1String("t") ? 't'
                        : TWfdbAnnotations::isBeat(annotation.code) ? 'N'
                                                                    : 0;
            if (wave.kind == 0)
                continue;
            wave.onset = onset;
            wave.peak = time;
            waves.push_back(wave);
            open = &waves.back();
            onset = NAN;
        }
    }
    return waves;
}

std::optional<double> median(std::vector<double> values)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }), values.end());
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

// The boundaries one lead marks for the beat whose QRS peak is at `peak`.
struct LeadBeat
{
    double pOnset = NAN;
    double qrsOnset = NAN;
    double qrsOffset = NAN;
    double tOffset = NAN;
};

std::optional<LeadBeat> leadBeat(const std::vector<Wave>& waves, double peak)
{
    const auto qrs = std::find_if(waves.begin(), waves.end(), [peak](const Wave& wave) {
        return wave.kind == 'N' && std::fabs(wave.peak - peak) < SameBeat;
    });
    if (qrs == waves.end())
        return std::nullopt;
    LeadBeat beat;
    beat.qrsOnset = qrs->onset;
    beat.qrsOffset = qrs->offset;
    for (auto wave = std::make_reverse_iterator(qrs); wave != waves.rend() && wave->kind != 'N'; ++wave) {
        if (wave->kind == 'p' && qrs->peak - wave->peak < LongestPr) {
            beat.pOnset = wave->onset;
            break;
        }
    }
    for (auto wave = std::next(qrs); wave != waves.end() && wave->kind != 'N'; ++wave) {
        if (wave->kind == 't') {
            beat.tOffset = wave->offset;
            break;
        }
    }
    return beat;
}

using Figures = std::array<std::optional<double>, IntervalCount>; // ms

// The record's reference intervals: per beat the median over the leads of
// each boundary, then per interval the median over the beats.
Figures referenceIntervals(const QDir& folder, const QString& name, double rate)
{
    std::vector<std::vector<Wave>> leads;
    std::vector<double> peaks;
    for (const char* suffix : LeadSuffixes) {
        leads.push_back(readWaves(folder.filePath(name + QLatin1Char('.') + QLatin1String(suffix)), rate));
        for (const Wave& wave : leads.back()) {
            if (wave.kind == 'N')
                peaks.push_back(wave.peak);
        }
    }
    std::sort(peaks.begin(), peaks.end());
    std::array<std::vector<double>, IntervalCount> perBeat;
    for (std::size_t first = 0; first < peaks.size();) {
        std::size_t last = first;
        while (last < peaks.size() && peaks[last] - peaks[first] < SameBeat)
            ++last;
        const double peak = *median(std::vector<double>(peaks.begin() + long(first), peaks.begin() + long(last)));
        first = last;
        std::array<std::vector<double>, 4> bounds;
        for (const std::vector<Wave>& waves : leads) {
            if (const std::optional<LeadBeat> beat = leadBeat(waves, peak)) {
                bounds[0].push_back(beat->pOnset);
                bounds[1].push_back(beat->qrsOnset);
                bounds[2].push_back(beat->qrsOffset);
                bounds[3].push_back(beat->tOffset);
            }
        }
        const std::optional<double> pOnset = median(bounds[0]);
        const std::optional<double> qrsOnset = median(bounds[1]);
        const std::optional<double> qrsOffset = median(bounds[2]);
        const std::optional<double> tOffset = median(bounds[3]);
        if (!qrsOnset)
            continue;
        if (pOnset)
            perBeat[PR].push_back((*qrsOnset - *pOnset) * 1000.0);
        if (qrsOffset)
            perBeat[QRS].push_back((*qrsOffset - *qrsOnset) * 1000.0);
        if (tOffset)
            perBeat[QT].push_back((*tOffset - *qrsOnset) * 1000.0);
    }
    Figures figures;
    for (int interval = 0; interval < IntervalCount; ++interval)
        figures[std::size_t(interval)] = median(perBeat[std::size_t(interval)]);
    return figures;
}

Figures measuredIntervals(const QDir& folder, const QString& name, double& rate)
{
    AnalyzeCommand::Options options;
    options.input = folder.filePath(name + QStringLiteral(".hea"));
    const QJsonObject results = AnalyzeCommand::run(options);
    rate = results.value(QStringLiteral("inputSamplingRate")).toDouble();
    const QJsonObject intervals = results.value(QStringLiteral("intervals")).toObject();
    Figures figures;
    for (int interval = 0; interval < IntervalCount; ++interval) {
        const QJsonValue value = intervals.value(QLatin1String(IntervalNames[interval]));
        if (!value.isNull() && !value.isUndefined())
            figures[std::size_t(interval)] = value.toDouble();
    }
    return figures;
}

struct Score
{
    std::vector<double> differences;
    int missing = 0;   // a reference without a measured figure
    int unmatched = 0; // a measured figure without a reference

    double mean() const
    {
        double sum = 0.0;
        for (double d : differences)
            sum += d;
        return differences.empty() ? 0.0 : sum / double(differences.size());
    }

    double deviation() const
    {
        if (differences.size() < 2)
            return 0.0;
        const double m = mean();
        double sum = 0.0;
        for (double d : differences)
            sum += (d - m) * (d - m);
        return std::sqrt(sum / double(differences.size() - 1));
    }
};

QString text(const std::optional<double>& value)
{
    return value ? QString::number(*value, 'f', 0) : QStringLiteral("--");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    TStartup::setIdentity();
    const QStringList arguments = QCoreApplication::arguments();
    const QDir folder = benchFolder(arguments, "ludb");
    QStringList records;
    for (const QString& header : folder.entryList({QStringLiteral("*.hea")}, QDir::Files))
        records << header.chopped(4);
    std::sort(records.begin(), records.end(), [](const QString& a, const QString& b) {
        return a.toInt() != b.toInt() ? a.toInt() < b.toInt() : a < b;
    });
    if (records.isEmpty()) {
        std::fprintf(stderr, "bench_intervals: no WFDB record in %s\n", qPrintable(folder.path()));
        return 1;
    }
    std::array<Score, IntervalCount> scores;
    try {
        for (const QString& name : records) {
            double rate = 0.0;
            const Figures measured = measuredIntervals(folder, name, rate);
            const Figures reference = referenceIntervals(folder, name, rate);
            QString line = name;
            for (int interval = 0; interval < IntervalCount; ++interval) {
                const std::optional<double>& m = measured[std::size_t(interval)];
                const std::optional<double>& r = reference[std::size_t(interval)];
                Score& score = scores[std::size_t(interval)];
                if (m && r)
                    score.differences.push_back(*m - *r);
                else if (r)
                    ++score.missing;
                else if (m)
                    ++score.unmatched;
                line += QStringLiteral(" %1 %2/%3").arg(QLatin1String(IntervalNames[interval]), text(m), text(r));
            }
            std::fprintf(stderr, "%s\n", qPrintable(line));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_intervals: %s\n", error.what());
        return 1;
    }
    double worst = 0.0;
    for (int interval = 0; interval < IntervalCount; ++interval) {
        const Score& score = scores[std::size_t(interval)];
        const QString name = QLatin1String(IntervalNames[interval]);
        metric(qPrintable(name + QStringLiteral("_records")), double(score.differences.size()), "records", 0);
        metric(qPrintable(name + QStringLiteral("_mean_difference")), score.mean(), "ms");
        metric(qPrintable(name + QStringLiteral("_sd")), score.deviation(), "ms");
        metric(qPrintable(name + QStringLiteral("_without_figure")), double(score.missing), "records", 0);
        metric(qPrintable(name + QStringLiteral("_without_reference")), double(score.unmatched), "records", 0);
        worst = std::max(worst, score.deviation() / Tolerance[interval]);
    }
    metric("worst_sd_to_tolerance", worst, "ratio", 2);
    return 0;
}
