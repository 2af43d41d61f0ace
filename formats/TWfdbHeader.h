#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// One signal line of a WFDB header:
//   file format[xsamples][:skew][+offset] [gain[(baseline)][/units]
//   [resolution [zero [initial [checksum [block size [description]]]]]]]
struct TWfdbSignalInfo
{
    QString fileName;       // relative to the header's folder
    int format = 16;
    int skew = 0;           // samples of this signal before the record's first frame
    qint64 byteOffset = 0;  // bytes skipped at the start of the file
    double gain = 200.0;    // ADC units per physical unit (0 in the header stands for 200)
    int baseline = 0;       // ADC value of physical 0 (the ADC zero unless given)
    QString units = QStringLiteral("mV");
    int adcResolution = 16; // bits (the format's sample width unless given)
    int adcZero = 0;
    int initialValue = 0;   // the first sample's value (the ADC zero unless given)
    int checksum = 0;       // 16-bit sum of the signal's samples
    int blockSize = 0;
    QString description;    // the signal's name, e.g. "MLII" or "v5"

    // Millivolts per physical unit: 1 for mV, 0.001 for uV, 1000 for V
    // (any case); 0 when the units are not a voltage.
    double millivoltsPerUnit() const;
    bool isVoltage() const { return millivoltsPerUnit() > 0.0; }
};

// The header (".hea" file) of a single-segment WFDB record: the record
// line, one line per signal and the comment lines ("#"). Records of
// several segments, signals of several samples per frame and signal
// formats other than those of TWfdbSampleFormat are refused.
class TWfdbHeader
{
public:
    // Headers are a few lines; a longer file is something else.
    static constexpr qint64 MaxHeaderBytes = 1024 * 1024;

    QString recordName;
    double samplingFrequency = 250.0; // frames per second
    double counterFrequency = 0.0;    // 0 when the header gives none
    qint64 sampleCount = 0;           // frames; 0 when the header does not say
    QDateTime start;                  // the record line's time and date; invalid without both
    std::vector<TWfdbSignalInfo> signalInfos;
    QStringList comments;             // text after "#", trimmed

    int signalCount() const { return int(signalInfos.size()); }

    // Parses header text; `fileName` names it in error messages. Throws
    // std::runtime_error naming the file, the line and what is wrong.
    static TWfdbHeader parse(const QString& text, const QString& fileName);
    // Reads and parses a header file.
    static TWfdbHeader read(const QString& path);
};
