#pragma once

#include <array>
#include <vector>

class TLiveBeatAverager;
class TWaveMarks;

// Wave boundaries of an averaged beat taken over all its leads: sample
// indices into the beat at its own rate, 0 where a boundary was not found.
// They are kept as named results of their own beside the wave marks of
// the displayed lead, "MultiLeadPOnset", "MultiLeadQRSOnset",
// "MultiLeadQRSOffset" and "MultiLeadTOffset", in seconds from the beat's
// centre (0 = not found), and the intervals are measured from them.
struct TMultiLeadBoundaries
{
    int pOnset = 0;
    int qrsOnset = 0;
    int qrsOffset = 0;
    int tOffset = 0;

    // Each result with the wave mark it stands beside ("POnset" ...).
    struct Names
    {
        const char* result;
        const char* mark;
    };
    static const std::array<Names, 4>& names();
    // The result beside a wave mark; nullptr for a mark without one.
    static const char* resultBeside(const char* mark);

    // Writes the four results, adding those the registry lacks.
    void storeInto(TWaveMarks& marks, int samplingRate, int centre) const;
};

// Delineation over every lead of an averaged beat. Each lead is delineated
// on its own: its QRS onset and offset by the averaged-beat delineation
// (TWaveDelineator); its T offset where the tangent at the steepest descent
// after the T peak meets the level before the QRS; its P onset where the
// tangent at the steepest rise before the P peak meets the level between
// that and the level before the P wave. A lead whose P or T wave is small
// against its QRS gives none. A boundary of the beat is the median over the
// leads that find it (the QRS offset the point where two thirds of them have
// ended), so that one noisy or flat lead does not move it; a boundary found
// in fewer than three leads is not found, and a P onset needs half the
// leads with a QRS.
class TMultiLeadDelineator
{
public:
    // The leads of `beats` at `samplingRate` with the QRS at `centre`;
    // meanRr (seconds, 0 when unknown) limits the P and T searches at fast
    // heart rates. Empty leads are skipped.
    TMultiLeadBoundaries delineate(const std::vector<const std::vector<double>*>& beats, int samplingRate,
                                   int centre, double meanRr) const;
    // Every lead of the averager that has averaged beats.
    TMultiLeadBoundaries delineate(const TLiveBeatAverager& averager, double meanRr) const;
};
