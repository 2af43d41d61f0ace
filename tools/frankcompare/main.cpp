// frankcompare: how well the orthogonal leads synthesised from the twelve
// standard leads stand in for recorded Frank leads, and the late
// potentials of both.
//
//   frankcompare RECORD.hea
//
// The record needs the signals i, ii, iii, avr, avl, avf, v1 ... v6 and
// vx, vy, vz (the PTB records have them).
#include "FrankComparison.h"

#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

namespace {

void printFigures(const char* label, const FrankComparison::LatePotentialFigures& figures)
{
    std::printf("%-12s QRSD %3d ms  RMS %3d uV  LAS %3d ms  (onset %d, offset %d)\n", label, figures.qrsd,
                figures.rms, figures.las, figures.onset, figures.offset);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: frankcompare RECORD.hea\n");
        return 2;
    }
    try {
        const FrankComparison::Result result = FrankComparison::compare(TWfdbRecord::read(args[0]));
        std::printf("%d beats found at %d Hz; %d averaged in V5, %d in the recorded X\n", result.beatsFound,
                    result.rate, result.averagedBeatsV5, result.averagedBeatsX);
        std::printf("correlation, synthesised with recorded  X      Y      Z\n");
        std::printf("  over the record (baseline removed)   %6.3f %6.3f %6.3f\n", result.recordCorrelation[0],
                    result.recordCorrelation[1], result.recordCorrelation[2]);
        std::printf("  over the averaged beat               %6.3f %6.3f %6.3f\n", result.averageCorrelation[0],
                    result.averageCorrelation[1], result.averageCorrelation[2]);
        std::printf("late potentials (25 Hz, LAS below 40 uV, RMS of the last 40 ms)\n");
        printFigures("synthesised", result.synthesised);
        printFigures("recorded", result.recorded);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "frankcompare: %s\n", error.what());
        return 1;
    }
    return 0;
}
