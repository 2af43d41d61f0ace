#include "formats/TEdfHeader.h"

#include "storage/TRecordingLimits.h"

#include <edflib.h>

#include <QFile>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

constexpr int FixedBytes = 256;
constexpr int BytesPerSignal = 256;

struct Field
{
    int offset;
    int length;
    const char* name;
};

// The fixed part, in file order.
constexpr Field Version = {0, 8, "version"};
constexpr Field MainFields[] = {
    {8, 80, "patient identification"},
    {88, 80, "recording identification"},
    {168, 8, "start date"},
    {176, 8, "start time"},
    {184, 8, "header size"},
    {192, 44, "reserved field"},
    {236, 8, "number of data records"},
    {244, 8, "duration of a data record"},
    {252, 4, "number of signals"},
};
enum MainField { HeaderSize = 4, RecordCount = 6, RecordDuration = 7, SignalCount = 8 };

// The signal part: each field holds one entry per signal, field after field.
struct SignalField
{
    int length;
    const char* name;
};
constexpr SignalField SignalFields[] = {
    {16, "label"},
    {80, "transducer type"},
    {8, "physical dimension"},
    {8, "physical minimum"},
    {8, "physical maximum"},
    {8, "digital minimum"},
    {8, "digital maximum"},
    {80, "prefiltering"},
    {8, "number of samples in a data record"},
    {32, "reserved field"},
};
enum SignalFieldIndex { Label = 0, PhysicalMinimum = 3, PhysicalMaximum, DigitalMinimum, DigitalMaximum, Samples = 8 };

// The physical fields hold 8 characters: larger magnitudes ("1e308") or
// ranges too narrow to tell two digital values apart are damage.
constexpr double MaximumPhysical = 99999999.0;
constexpr double MinimumPhysicalRange = 1e-6;
// Data records of real files last from milliseconds to a minute and hold
// up to some ten thousand samples per signal.
constexpr double MaximumRecordSeconds = 3600.0;
constexpr qint64 MaximumSamplesPerRecord = 10000000;

const QByteArray EdfVersion = QByteArrayLiteral("0       ");
const QByteArray BdfVersion = QByteArrayLiteral("\xff" "BIOSEMI");

class HeaderChecker
{
public:
    explicit HeaderChecker(const QString& path) : m_path(path) {}

    void check();

private:
    [[noreturn]] void fail(const QString& what) const
    {
        throw std::runtime_error(QStringLiteral("EDF file %1: %2").arg(m_path, what).toStdString());
    }

    QByteArray readHeader(qint64 bytes);
    void checkAscii(const QByteArray& text, const QString& field) const;
    QString mainField(int index) const;
    QString signalField(int field, int signal) const;
    static QString signalName(const char* field, int signal);
    qint64 integer(const QString& text, const QString& field) const;
    double number(const QString& text, const QString& field) const;
    void checkSignals();
    void checkRates() const;
    void checkSize() const;

    QString m_path;
    QFile m_file;
    QByteArray m_header;
    bool m_bdf = false;
    int m_signalCount = 0;
    qint64 m_recordCount = 0;
    double m_recordSeconds = 0.0;
    std::vector<qint64> m_samples; // per data record, per signal
};

void HeaderChecker::check()
{
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot be opened: %1").arg(m_file.errorString()));
    m_header = readHeader(FixedBytes);
    const QByteArray version = m_header.mid(Version.offset, Version.length);
    m_bdf = version == BdfVersion;
    if (!m_bdf && version != EdfVersion)
        fail(QStringLiteral("the version is neither EDF (\"0\") nor BDF (0xFF \"BIOSEMI\"): it is not an EDF or BDF file"));
    for (const Field& field : MainFields)
        checkAscii(m_header.mid(field.offset, field.length), QLatin1String(field.name));

    const qint64 signalCount = integer(mainField(SignalCount), QLatin1String(MainFields[SignalCount].name));
    if (signalCount < 1 || signalCount > EDFLIB_MAXSIGNALS)
        fail(QStringLiteral("the number of signals is %1; 1 to %2 are possible").arg(signalCount).arg(EDFLIB_MAXSIGNALS));
    m_signalCount = int(signalCount);
    const qint64 headerBytes = FixedBytes + qint64(m_signalCount) * BytesPerSignal;
    if (integer(mainField(HeaderSize), QLatin1String(MainFields[HeaderSize].name)) != headerBytes)
        fail(QStringLiteral("the header size is %1, but %2 signals make a header of %3 bytes")
                 .arg(mainField(HeaderSize))
                 .arg(m_signalCount)
                 .arg(headerBytes));
    m_header += readHeader(headerBytes - FixedBytes);

    m_recordCount = integer(mainField(RecordCount), QLatin1String(MainFields[RecordCount].name));
    if (m_recordCount == -1)
        fail(QStringLiteral("the number of data records is -1: the recording was never closed"));
    if (m_recordCount < 1)
        fail(QStringLiteral("the number of data records is %1; a recording needs at least one").arg(m_recordCount));
    m_recordSeconds = number(mainField(RecordDuration), QLatin1String(MainFields[RecordDuration].name));
    if (!(m_recordSeconds > 0.0 && m_recordSeconds <= MaximumRecordSeconds))
        fail(QStringLiteral("the duration of a data record is %1; it must be positive and at most %2 s")
                 .arg(mainField(RecordDuration))
                 .arg(MaximumRecordSeconds));
    checkSignals();
    checkRates();
    double samplesPerRecord = 0.0;
    for (const qint64 samples : m_samples)
        samplesPerRecord += double(samples);
    TRecordingLimits::requireSize(m_path, double(m_recordCount) * m_recordSeconds,
                                  double(m_recordCount) * samplesPerRecord);
    checkSize();
}

QByteArray HeaderChecker::readHeader(qint64 bytes)
{
    const QByteArray read = m_file.read(bytes);
    if (read.size() < bytes)
        fail(QStringLiteral("the header is truncated: the file ends after %1 of its %2 bytes")
                 .arg(m_header.size() + read.size())
                 .arg(m_header.size() + bytes));
    return read;
}

// The format allows printable ASCII only; a control character or a byte
// above 0x7E (a name in UTF-8 or Latin-1) is refused by EDFlib too.
void HeaderChecker::checkAscii(const QByteArray& text, const QString& field) const
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20)
            fail(QStringLiteral("the %1 holds a control character (0x%2)").arg(field).arg(byte, 2, 16, QLatin1Char('0')));
        if (byte > 0x7E)
            fail(QStringLiteral("the %1 holds a character outside ASCII (byte 0x%2)").arg(field).arg(byte, 2, 16));
    }
}

QString HeaderChecker::mainField(int index) const
{
    const Field& field = MainFields[index];
    return QString::fromLatin1(m_header.mid(field.offset, field.length)).trimmed();
}

QString HeaderChecker::signalField(int field, int signal) const
{
    int offset = FixedBytes;
    for (int k = 0; k < field; ++k)
        offset += SignalFields[k].length * m_signalCount;
    const int length = SignalFields[field].length;
    return QString::fromLatin1(m_header.mid(offset + signal * length, length)).trimmed();
}

QString HeaderChecker::signalName(const char* field, int signal)
{
    return QStringLiteral("%1 of signal %2").arg(QLatin1String(field)).arg(signal + 1);
}

qint64 HeaderChecker::integer(const QString& text, const QString& field) const
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok)
        fail(QStringLiteral("the %1 \"%2\" is not a whole number").arg(field, text));
    return value;
}

double HeaderChecker::number(const QString& text, const QString& field) const
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        fail(QStringLiteral("the %1 \"%2\" is not a number").arg(field, text));
    return value;
}

void HeaderChecker::checkSignals()
{
    int offset = FixedBytes;
    for (const SignalField& field : SignalFields) {
        for (int signal = 0; signal < m_signalCount; ++signal)
            checkAscii(m_header.mid(offset + signal * field.length, field.length), signalName(field.name, signal));
        offset += field.length * m_signalCount;
    }
    const qint64 digitalLimit = m_bdf ? 8388608 : 32768;
    for (int signal = 0; signal < m_signalCount; ++signal) {
        const auto value = [&](int field) {
            return signalField(field, signal);
        };
        const QString samplesName = signalName(SignalFields[Samples].name, signal);
        const qint64 samples = integer(value(Samples), samplesName);
        if (samples < 1 || samples > MaximumSamplesPerRecord)
            fail(QStringLiteral("the %1 is %2; it must be 1 to %3").arg(samplesName).arg(samples).arg(MaximumSamplesPerRecord));
        m_samples.push_back(samples);
        const qint64 digitalMinimum = integer(value(DigitalMinimum), signalName(SignalFields[DigitalMinimum].name, signal));
        const qint64 digitalMaximum = integer(value(DigitalMaximum), signalName(SignalFields[DigitalMaximum].name, signal));
        if (digitalMinimum < -digitalLimit || digitalMaximum >= digitalLimit || digitalMinimum >= digitalMaximum)
            fail(QStringLiteral("the digital range of signal %1 (%2 to %3) is empty or beyond %4 bits")
                     .arg(signal + 1)
                     .arg(digitalMinimum)
                     .arg(digitalMaximum)
                     .arg(m_bdf ? 24 : 16));
        const double physicalMinimum = number(value(PhysicalMinimum), signalName(SignalFields[PhysicalMinimum].name, signal));
        const double physicalMaximum = number(value(PhysicalMaximum), signalName(SignalFields[PhysicalMaximum].name, signal));
        if (std::abs(physicalMinimum) > MaximumPhysical || std::abs(physicalMaximum) > MaximumPhysical)
            fail(QStringLiteral("the physical range of signal %1 (%2 to %3) is beyond %4")
                     .arg(signal + 1)
                     .arg(value(PhysicalMinimum), value(PhysicalMaximum))
                     .arg(MaximumPhysical, 0, 'f', 0));
        if (!(std::abs(physicalMaximum - physicalMinimum) >= MinimumPhysicalRange))
            fail(QStringLiteral("the physical minimum and maximum of signal %1 (%2 and %3) leave no range")
                     .arg(signal + 1)
                     .arg(value(PhysicalMinimum), value(PhysicalMaximum)));
    }
}

// The annotation signals of EDF+ and BDF+ carry text, not samples at a rate.
void HeaderChecker::checkRates() const
{
    const auto isAnnotation = [this](int signal) {
        const QString label = signalField(Label, signal);
        return label == QLatin1String("EDF Annotations") || label == QLatin1String("BDF Annotations");
    };
    int first = -1;
    for (int signal = 0; signal < m_signalCount; ++signal) {
        if (isAnnotation(signal))
            continue;
        if (first < 0) {
            first = signal;
        } else if (m_samples[std::size_t(signal)] != m_samples[std::size_t(first)]) {
            const auto rate = [this](int s) { return double(m_samples[std::size_t(s)]) / m_recordSeconds; };
            fail(QStringLiteral("the signals have different sampling rates: \"%1\" %2 Hz, \"%3\" %4 Hz")
                     .arg(signalField(Label, first))
                     .arg(rate(first))
                     .arg(signalField(Label, signal))
                     .arg(rate(signal)));
        }
    }
    if (first < 0)
        fail(QStringLiteral("the file holds annotations only, no signal"));
}

void HeaderChecker::checkSize() const
{
    qint64 recordBytes = 0;
    for (const qint64 samples : m_samples)
        recordBytes += samples * (m_bdf ? 3 : 2);
    // In floating point: a lying record count must not overflow the product.
    const double expected = double(m_header.size()) + double(m_recordCount) * double(recordBytes);
    const qint64 actual = m_file.size();
    if (actual < expected)
        fail(QStringLiteral("the number of data records says %1 (%2 bytes), but the file is truncated to %3 bytes")
                 .arg(m_recordCount)
                 .arg(expected, 0, 'f', 0)
                 .arg(actual));
    if (actual > expected)
        fail(QStringLiteral("the number of data records says %1 (%2 bytes), but the file is oversized: %3 bytes")
                 .arg(m_recordCount)
                 .arg(expected, 0, 'f', 0)
                 .arg(actual));
}

} // namespace

void TEdfHeader::check(const QString& path)
{
    HeaderChecker(path).check();
}
