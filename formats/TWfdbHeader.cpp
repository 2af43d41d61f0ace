#include "formats/TWfdbHeader.h"

#include "storage/TRegularFile.h"
#include "formats/TWfdbSampleFormat.h"

#include <QFile>
#include <QRegularExpression>

#include <climits>
#include <cmath>
#include <stdexcept>

namespace {

constexpr double DefaultGain = 200.0;
// Gains of real records lie between a few ADC units per volt and some
// thousands per microvolt; beyond them the header is damaged, and the
// values computed from it would be noise or overflow.
constexpr double MinimumGain = 1e-3;
constexpr double MaximumGain = 1e7;
constexpr int MaximumAdcBits = 32;
constexpr int SignalFieldCount = 8; // fields before the description

// Splits a header line into its first `count` blank-separated fields; the
// rest of the line, trimmed, is the last entry when there is any.
QStringList splitFields(const QString& line, int count)
{
    QStringList fields;
    int position = 0;
    const int size = line.size();
    while (fields.size() < count) {
        while (position < size && line[position].isSpace())
            ++position;
        if (position == size)
            return fields;
        const int start = position;
        while (position < size && !line[position].isSpace())
            ++position;
        fields.append(line.mid(start, position - start));
    }
    const QString rest = line.mid(position).trimmed();
    if (!rest.isEmpty())
        fields.append(rest);
    return fields;
}

// Parses the lines of one header, keeping the position for messages.
class HeaderParser
{
public:
    explicit HeaderParser(const QString& fileName) : m_fileName(fileName) {}

    TWfdbHeader parse(const QString& text);

private:
    [[noreturn]] void fail(const QString& what) const
    {
        const QString where = m_line > 0 ? QStringLiteral("%1, line %2").arg(m_fileName).arg(m_line) : m_fileName;
        throw std::runtime_error(QStringLiteral("WFDB header %1: %2").arg(where, what).toStdString());
    }

    qint64 toInteger(const QString& text, const QString& what) const;
    // A whole number that fits a 32-bit field.
    int toInt32(const QString& text, const QString& what) const;
    double toNumber(const QString& text, const QString& what) const;
    int parseRecordLine(const QString& line, TWfdbHeader& header) const;
    TWfdbSignalInfo parseSignalLine(const QString& line) const;
    void parseFormatField(const QString& field, TWfdbSignalInfo& signalInfo) const;
    bool parseGainField(const QString& field, TWfdbSignalInfo& signalInfo) const;

    QString m_fileName;
    int m_line = 0;
};

qint64 HeaderParser::toInteger(const QString& text, const QString& what) const
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok)
        fail(QStringLiteral("the %1 \"%2\" is not a whole number").arg(what, text));
    return value;
}

int HeaderParser::toInt32(const QString& text, const QString& what) const
{
    const qint64 value = toInteger(text, what);
    if (value < INT_MIN || value > INT_MAX)
        fail(QStringLiteral("the %1 %2 is beyond the range of a 32-bit value").arg(what, text));
    return int(value);
}

double HeaderParser::toNumber(const QString& text, const QString& what) const
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        fail(QStringLiteral("the %1 \"%2\" is not a number").arg(what, text));
    return value;
}

TWfdbHeader HeaderParser::parse(const QString& text)
{
    TWfdbHeader header;
    int declaredSignals = -1;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (m_line = 1; m_line <= lines.size(); ++m_line) {
        const QString line = lines[m_line - 1].trimmed();
        if (line.startsWith(QLatin1Char('#'))) {
            header.comments.append(line.mid(1).trimmed());
        } else if (line.isEmpty()) {
            continue;
        } else if (declaredSignals < 0) {
            declaredSignals = parseRecordLine(line, header);
        } else if (header.signalCount() < declaredSignals) {
            header.signalInfos.push_back(parseSignalLine(line));
        } else {
            fail(QStringLiteral("more signal lines than the %1 the record line names").arg(declaredSignals));
        }
    }
    m_line = 0;
    if (declaredSignals < 0)
        fail(QStringLiteral("there is no record line"));
    if (header.signalCount() != declaredSignals)
        fail(QStringLiteral("the record line names %1 signals but %2 are described")
                 .arg(declaredSignals)
                 .arg(header.signalCount()));
    return header;
}

// "name[/segments] signals [frequency[/counter frequency[(base counter)]] [samples [time [date]]]]";
// answers the signal count.
int HeaderParser::parseRecordLine(const QString& line, TWfdbHeader& header) const
{
    const QStringList fields = splitFields(line, 6);
    if (fields.size() < 2)
        fail(QStringLiteral("the record line needs a name and a signal count"));
    if (fields[0].contains(QLatin1Char('/')))
        fail(QStringLiteral("records of several segments are not supported"));
    header.recordName = fields[0];
    const int signalCount = toInt32(fields[1], QStringLiteral("signal count"));
    if (signalCount <= 0)
        fail(QStringLiteral("the record has no signals"));
    if (fields.size() > 2) {
        static const QRegularExpression pattern(QStringLiteral("^([^/()]+)(?:/([^/()]+)(?:\\(([^()]*)\\))?)?$"));
        const auto match = pattern.match(fields[2]);
        if (!match.hasMatch())
            fail(QStringLiteral("the sampling frequency \"%1\" is not valid").arg(fields[2]));
        header.samplingFrequency = toNumber(match.captured(1), QStringLiteral("sampling frequency"));
        if (!(header.samplingFrequency > 0.0))
            fail(QStringLiteral("the sampling frequency must be positive"));
        if (!match.captured(2).isEmpty())
            header.counterFrequency = toNumber(match.captured(2), QStringLiteral("counter frequency"));
        if (header.counterFrequency < 0.0)
            fail(QStringLiteral("the counter frequency is negative"));
    }
    if (fields.size() > 3) {
        header.sampleCount = toInteger(fields[3], QStringLiteral("sample count"));
        if (header.sampleCount < 0)
            fail(QStringLiteral("the sample count is negative"));
    }
    // "HH:MM:SS[.sss] DD/MM/YYYY"; a start that does not read stays unknown.
    if (fields.size() > 5)
        header.start = QDateTime(QDate::fromString(fields[5], QStringLiteral("d/M/yyyy")),
                                 QTime::fromString(fields[4].section(QLatin1Char('.'), 0, 0), QStringLiteral("H:m:s")));
    return signalCount;
}

TWfdbSignalInfo HeaderParser::parseSignalLine(const QString& line) const
{
    const QStringList fields = splitFields(line, SignalFieldCount);
    if (fields.size() < 2)
        fail(QStringLiteral("a signal line needs a file name and a format"));
    TWfdbSignalInfo signalInfo;
    signalInfo.fileName = fields[0];
    parseFormatField(fields[1], signalInfo);
    const bool haveBaseline = fields.size() > 2 && parseGainField(fields[2], signalInfo);
    signalInfo.adcResolution = fields.size() > 3 ? toInt32(fields[3], QStringLiteral("ADC resolution"))
                                                 : TWfdbSampleFormat::resolutionBits(signalInfo.format);
    if (signalInfo.adcResolution < 0 || signalInfo.adcResolution > MaximumAdcBits)
        fail(QStringLiteral("the ADC resolution %1 is not 0 to %2 bits").arg(signalInfo.adcResolution).arg(MaximumAdcBits));
    if (fields.size() > 4)
        signalInfo.adcZero = toInt32(fields[4], QStringLiteral("ADC zero"));
    if (!haveBaseline)
        signalInfo.baseline = signalInfo.adcZero;
    signalInfo.initialValue = fields.size() > 5 ? toInt32(fields[5], QStringLiteral("initial value"))
                                                : signalInfo.adcZero;
    if (fields.size() > 6)
        signalInfo.checksum = toInt32(fields[6], QStringLiteral("checksum"));
    if (fields.size() > 7)
        signalInfo.blockSize = toInt32(fields[7], QStringLiteral("block size"));
    if (signalInfo.blockSize < 0)
        fail(QStringLiteral("the block size %1 is negative").arg(signalInfo.blockSize));
    if (fields.size() > SignalFieldCount)
        signalInfo.description = fields[SignalFieldCount];
    return signalInfo;
}

// "format[xsamples per frame][:skew][+byte offset]"
void HeaderParser::parseFormatField(const QString& field, TWfdbSignalInfo& signalInfo) const
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)(?:x(\\d+))?(?::(\\d+))?(?:\\+(\\d+))?$"));
    const auto match = pattern.match(field);
    if (!match.hasMatch())
        fail(QStringLiteral("the signal format \"%1\" is not valid").arg(field));
    signalInfo.format = match.captured(1).toInt();
    if (!TWfdbSampleFormat::isSupported(signalInfo.format))
        fail(QStringLiteral("signal format %1 is not supported (%2 are)")
                 .arg(signalInfo.format)
                 .arg(TWfdbSampleFormat::supportedFormats()));
    if (!match.captured(2).isEmpty() && match.captured(2).toInt() != 1)
        fail(QStringLiteral("the signal has %1 samples per frame; only 1 is supported").arg(match.captured(2)));
    if (!match.captured(3).isEmpty())
        signalInfo.skew = toInt32(match.captured(3), QStringLiteral("skew"));
    if (!match.captured(4).isEmpty())
        signalInfo.byteOffset = toInteger(match.captured(4), QStringLiteral("byte offset"));
}

// "gain[(baseline)][/units]"; answers whether a baseline was given.
bool HeaderParser::parseGainField(const QString& field, TWfdbSignalInfo& signalInfo) const
{
    static const QRegularExpression pattern(QStringLiteral("^([^(/]+)(?:\\(([^)]*)\\))?(?:/(.+))?$"));
    const auto match = pattern.match(field);
    if (!match.hasMatch())
        fail(QStringLiteral("the gain \"%1\" is not valid").arg(field));
    signalInfo.gain = toNumber(match.captured(1), QStringLiteral("gain"));
    if (signalInfo.gain == 0.0)
        signalInfo.gain = DefaultGain;
    if (!(signalInfo.gain >= MinimumGain && signalInfo.gain <= MaximumGain))
        fail(QStringLiteral("the gain %1 is outside the gains of recordings (%2 to %3 ADC units per unit)")
                 .arg(match.captured(1))
                 .arg(MinimumGain)
                 .arg(MaximumGain));
    if (!match.captured(3).isEmpty())
        signalInfo.units = match.captured(3);
    if (match.captured(2).isEmpty())
        return false;
    signalInfo.baseline = toInt32(match.captured(2), QStringLiteral("baseline"));
    return true;
}

} // namespace

double TWfdbSignalInfo::millivoltsPerUnit() const
{
    const QString unit = units.toLower();
    if (unit == QLatin1String("mv"))
        return 1.0;
    if (unit == QLatin1String("uv") || unit == QString::fromUtf8("\xc2\xb5v") || unit == QString::fromUtf8("\xce\xbcv"))
        return 0.001;
    if (unit == QLatin1String("v"))
        return 1000.0;
    return 0.0;
}

TWfdbHeader TWfdbHeader::parse(const QString& text, const QString& fileName)
{
    return HeaderParser(fileName).parse(text);
}

TWfdbHeader TWfdbHeader::read(const QString& path)
{
    TRegularFile::require(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            QStringLiteral("Cannot open WFDB header %1: %2").arg(path, file.errorString()).toStdString());
    if (file.size() > MaxHeaderBytes)
        throw std::runtime_error(QStringLiteral("WFDB header %1 is too long to be a header").arg(path).toStdString());
    // Decoded as file names are: the data files it names must open by
    // those names even where they are not valid UTF-8.
    return parse(QFile::decodeName(file.readAll()), path);
}
