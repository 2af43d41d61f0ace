#include "formats/TWfdbAnnotations.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <set>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace {

constexpr int ValueBits = 10;
constexpr int ValueMask = (1 << ValueBits) - 1;
constexpr int MaxInterval = ValueMask; // samples an annotation word can step

// Mnemonics by code, from code 0 on.
const char* const Symbols[] = {
    "",  "N", "L", "R", "a", "V", "F", "J", "A", "S", "E", "j", "/", "Q", "~", "",  "|", "",  "s", "T", "*",
    "D", "\"", "=", "p", "B", "^", "t", "+", "u", "?", "!", "[", "]", "e", "n", "@", "x", "f", "(", ")", "r",
};
constexpr int SymbolCount = int(sizeof(Symbols) / sizeof(Symbols[0]));

// Reads words and 32-bit intervals from an annotation file's bytes.
class WordReader
{
public:
    WordReader(const QByteArray& bytes, const QString& fileName) : m_bytes(bytes), m_fileName(fileName) {}

    bool atEnd() const { return m_position >= m_bytes.size(); }

    int word()
    {
        require(2, QStringLiteral("a word"));
        const int value = byteAt(0) | (byteAt(1) << 8);
        m_position += 2;
        return value;
    }

    // High 16-bit word first, each little-endian.
    qint64 interval()
    {
        require(4, QStringLiteral("a SKIP interval"));
        const std::uint32_t high = std::uint32_t(byteAt(0) | (byteAt(1) << 8));
        const std::uint32_t low = std::uint32_t(byteAt(2) | (byteAt(3) << 8));
        m_position += 4;
        return std::int32_t((high << 16) | low);
    }

    // `length` bytes of text, then a pad byte when the length is odd;
    // trailing NUL bytes (C string ends) are dropped.
    QString text(int length)
    {
        const int padded = length + (length & 1);
        require(padded, QStringLiteral("AUX text"));
        QByteArray bytes = m_bytes.mid(m_position, length);
        m_position += padded;
        while (bytes.endsWith('\0'))
            bytes.chop(1);
        return QString::fromLatin1(bytes);
    }

    [[noreturn]] void fail(const QString& what) const
    {
        throw std::runtime_error(
            QStringLiteral("WFDB annotation file %1, byte %2: %3").arg(m_fileName).arg(m_position).arg(what).toStdString());
    }

private:
    int byteAt(int offset) const { return uchar(m_bytes[m_position + offset]); }

    void require(int count, const QString& what) const
    {
        if (m_bytes.size() - m_position < count)
            fail(QStringLiteral("the file ends inside %1").arg(what));
    }

    const QByteArray& m_bytes;
    QString m_fileName;
    int m_position = 0;
};

void appendWord(QByteArray& bytes, int code, int value)
{
    const int word = (code << ValueBits) | (value & ValueMask);
    bytes.append(char(word & 0xFF));
    bytes.append(char((word >> 8) & 0xFF));
}

void appendSkip(QByteArray& bytes, std::int32_t interval)
{
    appendWord(bytes, TWfdbAnnotations::Skip, 0);
    const auto value = std::uint32_t(interval);
    for (const std::uint32_t half : {value >> 16, value & 0xFFFF}) {
        bytes.append(char(half & 0xFF));
        bytes.append(char((half >> 8) & 0xFF));
    }
}

[[noreturn]] void refuse(std::size_t index, const QString& what)
{
    throw std::runtime_error(
        QStringLiteral("Cannot write annotation %1: %2").arg(index + 1).arg(what).toStdString());
}

void checkFields(std::size_t index, const TWfdbAnnotation& annotation)
{
    if (annotation.code < 1 || annotation.code > TWfdbAnnotations::MaxCode)
        refuse(index, QStringLiteral("code %1 is not between 1 and %2").arg(annotation.code).arg(TWfdbAnnotations::MaxCode));
    if (annotation.subtype < -128 || annotation.subtype > 127)
        refuse(index, QStringLiteral("subtype %1 is not between -128 and 127").arg(annotation.subtype));
    if (annotation.number < -128 || annotation.number > 127)
        refuse(index, QStringLiteral("number %1 is not between -128 and 127").arg(annotation.number));
    if (annotation.channel < 0 || annotation.channel > 255)
        refuse(index, QStringLiteral("channel %1 is not between 0 and 255").arg(annotation.channel));
    if (annotation.aux.toLatin1().size() > TWfdbAnnotations::MaxAuxBytes
        || QString::fromLatin1(annotation.aux.toLatin1()) != annotation.aux)
        refuse(index, QStringLiteral("the aux text is not Latin-1 text of up to %1 bytes").arg(TWfdbAnnotations::MaxAuxBytes));
}

} // namespace

QString TWfdbAnnotations::symbol(int code)
{
    return code >= 0 && code < SymbolCount ? QString::fromLatin1(Symbols[code]) : QString();
}

bool TWfdbAnnotations::isBeat(int code)
{
    static const std::set<int> beats{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 25, 30, 34, 35, 38, 41};
    return beats.count(code) != 0;
}

std::vector<double> TWfdbAnnotations::beatTimes(const QString& path, double rate, double from)
{
    std::vector<double> times;
    for (const TWfdbAnnotation& annotation : read(path)) {
        const double time = annotation.sample / rate;
        if (isBeat(annotation.code) && time >= from)
            times.push_back(time);
    }
    std::sort(times.begin(), times.end());
    return times;
}

std::vector<TWfdbAnnotation> TWfdbAnnotations::decode(const QByteArray& bytes, const QString& fileName)
{
    std::vector<TWfdbAnnotation> annotations;
    WordReader reader(bytes, fileName);
    qint64 time = 0;
    int number = 0;
    int channel = 0;
    auto last = [&](const char* what) -> TWfdbAnnotation& {
        if (annotations.empty())
            reader.fail(QStringLiteral("%1 before the first annotation").arg(QLatin1String(what)));
        return annotations.back();
    };
    while (!reader.atEnd()) {
        const int word = reader.word();
        if (word == 0)
            break;
        const int code = word >> ValueBits;
        const int value = word & ValueMask;
        switch (code) {
        case Skip:
            time += reader.interval();
            break;
        case Num:
            number = std::int8_t(value & 0xFF);
            if (!annotations.empty())
                annotations.back().number = number;
            break;
        case Sub:
            last("SUB").subtype = std::int8_t(value & 0xFF);
            break;
        case Chn:
            channel = value & 0xFF;
            if (!annotations.empty())
                annotations.back().channel = channel;
            break;
        case Aux: {
            TWfdbAnnotation& annotated = last("AUX");
            annotated.aux = reader.text(value);
            break;
        }
        default:
            time += value;
            annotations.push_back({time, code, 0, channel, number, QString()});
        }
    }
    return annotations;
}

QByteArray TWfdbAnnotations::encode(const std::vector<TWfdbAnnotation>& annotations)
{
    QByteArray bytes;
    qint64 time = 0;
    int number = 0;
    int channel = 0;
    for (std::size_t k = 0; k < annotations.size(); ++k) {
        const TWfdbAnnotation& annotation = annotations[k];
        checkFields(k, annotation);
        qint64 interval = annotation.sample - time;
        if (interval < 0)
            refuse(k, QStringLiteral("sample %1 comes before the previous annotation's %2")
                          .arg(annotation.sample)
                          .arg(time));
        while (interval > MaxInterval) {
            const auto step = std::int32_t(std::min<qint64>(interval, std::numeric_limits<std::int32_t>::max()));
            appendSkip(bytes, step);
            interval -= step;
        }
        appendWord(bytes, annotation.code, int(interval));
        if (annotation.subtype != 0)
            appendWord(bytes, Sub, annotation.subtype);
        if (annotation.channel != channel)
            appendWord(bytes, Chn, channel = annotation.channel);
        if (annotation.number != number)
            appendWord(bytes, Num, number = annotation.number);
        if (!annotation.aux.isEmpty()) {
            const QByteArray text = annotation.aux.toLatin1();
            appendWord(bytes, Aux, text.size());
            bytes.append(text);
            if (text.size() % 2 != 0)
                bytes.append('\0');
        }
        time = annotation.sample;
    }
    appendWord(bytes, 0, 0);
    return bytes;
}

std::vector<TWfdbAnnotation> TWfdbAnnotations::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            QStringLiteral("Cannot open WFDB annotation file %1: %2").arg(path, file.errorString()).toStdString());
    return decode(file.readAll(), path);
}

void TWfdbAnnotations::write(const QString& path, const std::vector<TWfdbAnnotation>& annotations)
{
    const QByteArray bytes = encode(annotations);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            QStringLiteral("Cannot write WFDB annotation file %1: %2").arg(path, file.errorString()).toStdString());
}
