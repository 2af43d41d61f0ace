#pragma once

#include "formats/TWfdbHeader.h"

#include <QString>

#include <vector>

// A single-segment WFDB record read from its header and its signal files
// (in the header's folder; several signals may share a file and a record
// may use several files, such as the PTB ".dat" and ".xyz" pair). Every
// signal comes as physical values: millivolts for signals in mV, uV or V,
// the signal's own units otherwise. A missing sample (the format's invalid
// value) repeats the last valid one, 0 before the first.
struct TWfdbRecord
{
    TWfdbHeader header;
    // One vector per signal, in header order, all of length().
    std::vector<std::vector<double>> millivolts;

    std::size_t length() const { return millivolts.empty() ? 0 : millivolts.front().size(); }

    // Reads the record of a header file. The record has the header's sample
    // count, or as many frames as every signal file holds when the header
    // gives none. Throws std::runtime_error naming the file and what is
    // wrong: an unreadable file, signals of one file in different formats,
    // a file shorter than the header's sample count, no samples at all.
    static TWfdbRecord read(const QString& headerPath);
};
