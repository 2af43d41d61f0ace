#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The WFDB signal file formats the reader understands, all with one sample
// per signal per frame and the signals of a file interleaved frame by frame:
//   16   signed 16-bit little-endian
//   61   signed 16-bit big-endian
//   80   8-bit offset binary (stored value minus 128)
//   212  two signed 12-bit samples packed in three bytes: the first in the
//        low 8 bits of byte 0 and the low nibble of byte 1, the second in the
//        high nibble of byte 1 and byte 2; an odd last sample takes two bytes.
class TWfdbSampleFormat
{
public:
    TWfdbSampleFormat() = delete;

    static bool isSupported(int format);
    // "16, 61, 80 and 212", for messages.
    static QString supportedFormats();

    // The value a format uses to mark a missing sample: its most negative one.
    static int invalidSample(int format);
    // Bits per sample, the default ADC resolution of signals in the format.
    static int resolutionBits(int format);

    // The samples (ADC units) of `signalCount` signals interleaved in
    // `bytes`; whole frames only. Throws std::runtime_error for a format
    // that is not supported.
    static std::vector<std::vector<int>> decode(const QByteArray& bytes, int format, int signalCount);
};
