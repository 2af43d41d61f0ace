#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// One annotation of a WFDB annotation file.
struct TWfdbAnnotation
{
    qint64 sample = 0; // absolute sample index in the record
    int code = 1;      // annotation code, 1 (NORMAL) ... 58
    int subtype = 0;   // -128 ... 127
    int channel = 0;   // 0 ... 255
    int number = 0;    // -128 ... 127
    QString aux;       // free text, up to 255 bytes (Latin-1)

    bool operator==(const TWfdbAnnotation& other) const
    {
        return sample == other.sample && code == other.code && subtype == other.subtype
               && channel == other.channel && number == other.number && aux == other.aux;
    }
};

// Annotation files in the MIT format (".atr", ".qrs" ...): a sequence of
// 16-bit little-endian words, each with a code in its top 6 bits and a
// value in its low 10 bits.
//  - code 1 ... 58: an annotation of that code, the value being the number
//    of samples since the previous annotation;
//  - SKIP (59): the next two words hold a 32-bit signed interval, high word
//    first (PDP-11 order), added to the time of the next annotation;
//  - NUM (60), SUB (61), CHN (62): the value is the number, subtype or
//    channel of the annotation before. Number and channel carry over to the
//    following annotations until the next NUM or CHN; the subtype is 0
//    unless a SUB follows the annotation;
//  - AUX (63): the value is a byte count; that many bytes of aux text
//    follow, padded to an even count;
//  - the word 0 ends the file.
class TWfdbAnnotations
{
public:
    static constexpr int Normal = 1;
    static constexpr int Unclassified = 13; // "Q"
    static constexpr int Skip = 59;
    static constexpr int Num = 60;
    static constexpr int Sub = 61;
    static constexpr int Chn = 62;
    static constexpr int Aux = 63;
    static constexpr int MaxCode = 58;
    static constexpr int MaxAuxBytes = 255;

    TWfdbAnnotations() = delete;

    // The standard mnemonic of a code ("N", "V", "S", "A", "F", "Q", "|",
    // "+" ...); empty for a code without one.
    static QString symbol(int code);
    // Whether a code stands for a QRS: normal, bundle branch block,
    // aberrated, ventricular, fusion, nodal and atrial premature, escape,
    // paced, unclassifiable and the rarer beat kinds. A blocked atrial
    // premature beat ("x") is a P wave without a QRS: not a beat.
    static bool isBeat(int code);
    // The times (s) of the beats of an annotation file at `rate` samples
    // per second, from `from` seconds on.
    static std::vector<double> beatTimes(const QString& path, double rate, double from = 0.0);

    // Decodes the bytes of an annotation file; `fileName` names it in
    // messages. Throws std::runtime_error for a truncated SKIP or AUX, an odd
    // byte count, or a SUB or AUX before the first annotation.
    static std::vector<TWfdbAnnotation> decode(const QByteArray& bytes, const QString& fileName);
    // Encodes annotations in time order, writing SKIP for an interval over
    // 1023 samples, SUB for a subtype other than 0, NUM and CHN when number
    // or channel change, AUX for aux text, and the end word. Throws
    // std::runtime_error for annotations out of time order or fields out of
    // their range.
    static QByteArray encode(const std::vector<TWfdbAnnotation>& annotations);

    static std::vector<TWfdbAnnotation> read(const QString& path);
    // Writes the file as a whole (through a temporary file), or not at all.
    static void write(const QString& path, const std::vector<TWfdbAnnotation>& annotations);
};
