// wfdb2demo: converts a WFDB record (header plus signal files in format 16,
// 61, 80 or 212) into demo recordings of the acquisition framework.
//
//   wfdb2demo [--min-seconds S] [--whole] RECORD.hea RATE:OUTPUT [RATE:OUTPUT ...]
//
// Each RATE:OUTPUT writes one file at that sampling rate, which must divide
// the record's rate; a lower rate is reached with a windowed-sinc
// anti-alias low-pass before keeping every n-th sample. Unless --whole is
// given, every output holds the same loop of at least S seconds (default 30)
// cut between beats, so that replaying it endlessly shows no seam.
#include "DemoConversion.h"

#include "analysis/filters/TFirDesign.h"
#include "formats/TWfdbRecord.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace {

struct Output {
    int rate = 0;
    QString path;
};

int usage()
{
    std::fprintf(stderr,
                 "usage: wfdb2demo [--min-seconds S] [--whole] RECORD.hea RATE:OUTPUT [RATE:OUTPUT ...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    double minimumSeconds = 30.0;
    bool whole = false;
    QString headerPath;
    std::vector<Output> outputs;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--min-seconds") && i + 1 < args.size()) {
            minimumSeconds = args[++i].toDouble();
        } else if (arg == QLatin1String("--whole")) {
            whole = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usage();
        } else if (headerPath.isEmpty()) {
            headerPath = arg;
        } else {
            const int colon = arg.indexOf(QLatin1Char(':'));
            bool ok = false;
            const int rate = colon > 0 ? arg.left(colon).toInt(&ok) : 0;
            if (!ok || rate <= 0 || colon + 1 >= arg.size())
                return usage();
            outputs.push_back({rate, arg.mid(colon + 1)});
        }
    }
    if (headerPath.isEmpty() || outputs.empty())
        return usage();

    QTextStream out(stdout);
    try {
        const TWfdbRecord record = TWfdbRecord::read(headerPath);
        const double inputRate = record.header.samplingFrequency;
        const std::size_t inputLength = record.millivolts.front().size();
        out << "record " << record.header.recordName << ": " << record.header.signalCount() << " signals, "
            << inputRate << " Hz, " << inputLength << " samples (" << inputLength / inputRate << " s)\n";

        int lengthMultiple = 1;
        std::vector<int> factors;
        for (const Output& output : outputs) {
            const double factor = inputRate / output.rate;
            if (factor < 1.0 || std::abs(factor - std::round(factor)) > 1e-9)
                throw std::runtime_error(QStringLiteral("%1 Hz is not the record's rate divided by a whole number")
                                             .arg(output.rate)
                                             .toStdString());
            factors.push_back(int(std::lround(factor)));
            lengthMultiple = std::lcm(lengthMultiple, factors.back());
        }

        QStringList notes;
        const auto leads = DemoConversion::mapLeads(record, &notes);
        for (const QString& note : notes)
            out << "derived: " << note << "\n";

        std::vector<std::vector<double>> loop;
        if (whole) {
            const std::size_t end = inputLength - inputLength % std::size_t(lengthMultiple);
            for (const auto& lead : leads)
                loop.emplace_back(lead.begin(), lead.begin() + long(end));
            out << "whole record, no loop cut: " << end << " samples\n";
        } else {
            const auto cut = DemoConversion::chooseLoop(leads, inputRate, minimumSeconds, lengthMultiple);
            out << "loop: samples " << cut.start << " to " << cut.end << " (" << cut.start / inputRate << " s to "
                << cut.end / inputRate << " s, " << (cut.end - cut.start) / inputRate << " s); beat interval across "
                << "the wrap " << cut.wrapInterval << " s, typical " << cut.typicalInterval << " s; largest level "
                << "difference closed by a ramp " << cut.largestStep << " mV\n";
            loop = DemoConversion::closeLoop(leads, cut);
        }

        for (std::size_t k = 0; k < outputs.size(); ++k) {
            const int factor = factors[k];
            std::vector<std::vector<double>> resampled;
            if (factor == 1) {
                resampled = loop;
            } else {
                // Pass band to 0.4, stop band from 0.5 of the output rate.
                const double pass = 0.4 / factor;
                const double stop = 0.5 / factor;
                const auto taps = TFirDesign::kaiserLowPass(pass, stop, 80.0);
                out << outputs[k].rate << " Hz: Kaiser-windowed sinc low-pass, " << taps.size() << " taps, pass band to "
                    << pass * inputRate << " Hz, stop band from " << stop * inputRate << " Hz (-80 dB)\n";
                for (const auto& lead : loop)
                    resampled.push_back(DemoConversion::decimateCircular(lead, taps, factor));
            }
            const QByteArray frames = DemoConversion::toFrames(resampled);
            QSaveFile file(outputs[k].path);
            if (!file.open(QIODevice::WriteOnly) || file.write(frames) != frames.size() || !file.commit())
                throw std::runtime_error(QStringLiteral("Cannot write \"%1\"").arg(outputs[k].path).toStdString());
            out << "wrote " << outputs[k].path << ": " << resampled.front().size() << " frames at "
                << outputs[k].rate << " Hz (" << frames.size() << " bytes)\n";
        }
    } catch (const std::exception& error) {
        out.flush();
        std::fprintf(stderr, "wfdb2demo: %s\n", error.what());
        return 1;
    }
    return 0;
}
