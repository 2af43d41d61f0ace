#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// A WFDB record read from its header (".hea") and its signal files: every
// signal as physical values in millivolts. Supported: single-segment records
// whose signals are stored in format 16 (signed 16-bit little-endian) or 212
// (two 12-bit samples in three bytes), one sample per frame, several signals
// interleaved per file and several files per record (for example the PTB
// ".dat" and ".xyz" pair). Failures throw std::runtime_error with a message.
namespace Wfdb {

struct SignalInfo {
    QString fileName;     // as written in the header, relative to its folder
    int format = 16;
    int byteOffset = 0;   // bytes skipped at the start of the file
    double gain = 200.0;  // ADC units per physical unit
    int baseline = 0;     // ADC value of physical 0
    QString units = QStringLiteral("mV");
    int adcZero = 0;
    QString description;  // the signal's name, e.g. "ii" or "v5"
};

struct Header {
    QString recordName;
    int signalCount = 0;
    double samplingFrequency = 250.0;
    long long sampleCount = 0; // 0 when the header does not say
    std::vector<SignalInfo> signalInfos;
};

struct Record {
    Header header;
    // One vector of millivolts per signal, all of the same length.
    std::vector<std::vector<double>> millivolts;
};

// Parses header text; folder-free.
Header parseHeader(const QString& text);

// Decodes one signal file's interleaved samples (ADC units). `signalCount`
// signals share the file in the order of their header lines. Invalid
// samples (the format's most negative value) come back as that value.
std::vector<std::vector<int>> decodeSamples(const QByteArray& bytes, int format, int signalCount);

// The sample value a format uses to mark a missing sample.
int invalidSample(int format);

// Reads a record from the path of its header file.
Record readRecord(const QString& headerPath);

// Millivolts per physical unit of the units text ("mV", "uV", "V").
double millivoltsPerUnit(const QString& units);

} // namespace Wfdb
