#pragma once

#include "formats/TWfdbRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Turning a WFDB record into demo recordings (the acquisition frame format): the
// 14 leads I, II, III, aVR, aVL, aVF, V1 ... V6, CM5, CR5 as signed 16-bit
// little-endian counts on the device scale (deviceCount, +-300.0 mV over 16 bits).
namespace DemoConversion {

// The 14 leads in millivolts, taken from the record by name (TWfdbLeadMap).
// Missing limb leads are derived from two of I, II, III; V1 ... V6 are
// required; CM5 and CR5 are taken when the record has them and otherwise
// formed as CM5 = V5 + aVF / 3 and CR5 = V5 - (2/3) aVR.
// `notes` receives one line per derived lead.
std::vector<std::vector<double>> mapLeads(const TWfdbRecord& record, QStringList* notes = nullptr);

// Filters a periodic signal (the loop) with a symmetric FIR, without delay,
// and keeps every factor-th sample starting with the first.
std::vector<double> decimateCircular(const std::vector<double>& loop,
                                     const std::vector<double>& taps, int factor);

// Approximate QRS positions (sample indices) from the summed slope energy
// of the leads.
std::vector<int> detectBeats(const std::vector<std::vector<double>>& leads, double rate);

struct LoopCut {
    int start = 0;        // first sample of the loop
    int end = 0;          // one past the last sample; the loop is [start, end)
    double cost = 0.0;
    double wrapInterval = 0.0;  // seconds from the last QRS before the wrap to the first after it
    double typicalInterval = 0.0; // median beat interval, seconds
    double largestStep = 0.0;   // largest |x[start] - x[end]| over the leads, mV (closed by the ramp)
};

// Chooses the loop: start and end both between beats (in the quiet stretch
// after a T wave and before the next P wave), at the same phase of the beat
// so that the beat interval across the wrap is natural, where all leads
// are flat and nearly level; the loop is at least minimumSeconds long and
// its length is a multiple of lengthMultiple. Throws when the record is too
// short or has too few beats.
LoopCut chooseLoop(const std::vector<std::vector<double>>& leads, double rate, double minimumSeconds,
                   int lengthMultiple);

// Takes [cut.start, cut.end) of every lead and adds to each lead a straight
// ramp from 0 to (x[start] - x[end]) across the loop, so that the sample
// after the last one would equal the first: the wrap has no baseline step.
std::vector<std::vector<double>> closeLoop(const std::vector<std::vector<double>>& leads,
                                           const LoopCut& cut);

// Interleaves the leads into frames of 14 little-endian 16-bit counts.
QByteArray toFrames(const std::vector<std::vector<double>>& leads);

} // namespace DemoConversion
