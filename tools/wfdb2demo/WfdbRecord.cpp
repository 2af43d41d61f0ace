#include "WfdbRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

namespace Wfdb {

namespace {

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

int toInt(const QString& text, const QString& what)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        fail(QStringLiteral("Invalid %1 in header: \"%2\"").arg(what, text));
    return value;
}

double toDouble(const QString& text, const QString& what)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok)
        fail(QStringLiteral("Invalid %1 in header: \"%2\"").arg(what, text));
    return value;
}

// "format[xsamples][:skew][+offset]"
void parseFormatField(const QString& field, SignalInfo& signalInfo)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d+)(?:x(\\d+))?(?::(\\d+))?(?:\\+(\\d+))?$"));
    const auto match = pattern.match(field);
    if (!match.hasMatch())
        fail(QStringLiteral("Invalid signal format field in header: \"%1\"").arg(field));
    signalInfo.format = match.captured(1).toInt();
    if (!match.captured(2).isEmpty() && match.captured(2).toInt() != 1)
        fail(QStringLiteral("Signals with several samples per frame are not supported"));
    if (!match.captured(3).isEmpty() && match.captured(3).toInt() != 0)
        fail(QStringLiteral("Skewed signals are not supported"));
    if (!match.captured(4).isEmpty())
        signalInfo.byteOffset = match.captured(4).toInt();
    if (signalInfo.format != 16 && signalInfo.format != 212)
        fail(QStringLiteral("Signal format %1 is not supported (only 16 and 212)").arg(signalInfo.format));
}

// "gain[(baseline)][/units]"; returns whether a baseline was given.
bool parseGainField(const QString& field, SignalInfo& signalInfo)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([-+0-9.eE]+)(?:\\((-?\\d+)\\))?(?:/(\\S+))?$"));
    const auto match = pattern.match(field);
    if (!match.hasMatch())
        fail(QStringLiteral("Invalid ADC gain field in header: \"%1\"").arg(field));
    signalInfo.gain = toDouble(match.captured(1), QStringLiteral("ADC gain"));
    if (signalInfo.gain == 0.0)
        signalInfo.gain = 200.0; // WFDB's default gain
    if (!match.captured(3).isEmpty())
        signalInfo.units = match.captured(3);
    if (!match.captured(2).isEmpty()) {
        signalInfo.baseline = match.captured(2).toInt();
        return true;
    }
    return false;
}

} // namespace

double millivoltsPerUnit(const QString& units)
{
    if (units.compare(QLatin1String("mV"), Qt::CaseInsensitive) == 0)
        return 1.0;
    if (units.compare(QLatin1String("uV"), Qt::CaseInsensitive) == 0
        || units == QString::fromUtf8("\xc2\xb5V") || units == QString::fromUtf8("\xce\xbcV"))
        return 0.001;
    if (units == QLatin1String("V"))
        return 1000.0;
    fail(QStringLiteral("Signal units \"%1\" are not a voltage").arg(units));
}

Header parseHeader(const QString& text)
{
    Header header;
    bool haveRecordLine = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0)
            line = line.left(comment).trimmed();
        const QStringList fields = line.split(QRegularExpression(QStringLiteral("\\s+")),
                                              Qt::SkipEmptyParts);
        if (!haveRecordLine) {
            haveRecordLine = true;
            if (fields.size() < 2)
                fail(QStringLiteral("The header's record line needs a name and a signal count"));
            if (fields[0].contains(QLatin1Char('/')))
                fail(QStringLiteral("Multi-segment records are not supported"));
            header.recordName = fields[0];
            header.signalCount = toInt(fields[1], QStringLiteral("signal count"));
            if (fields.size() > 2) {
                // "fs[/counterfreq[(basecounter)]]"
                const QString fs = fields[2].section(QLatin1Char('/'), 0, 0);
                header.samplingFrequency = toDouble(fs, QStringLiteral("sampling frequency"));
            }
            if (fields.size() > 3)
                header.sampleCount = fields[3].toLongLong();
            continue;
        }
        if (int(header.signalInfos.size()) == header.signalCount)
            break;
        if (fields.size() < 2)
            fail(QStringLiteral("A signal line needs a file name and a format"));
        SignalInfo signalInfo;
        signalInfo.fileName = fields[0];
        parseFormatField(fields[1], signalInfo);
        bool haveBaseline = false;
        if (fields.size() > 2)
            haveBaseline = parseGainField(fields[2], signalInfo);
        if (fields.size() > 4)
            signalInfo.adcZero = toInt(fields[4], QStringLiteral("ADC zero"));
        if (!haveBaseline)
            signalInfo.baseline = signalInfo.adcZero;
        if (fields.size() > 8)
            signalInfo.description = fields.mid(8).join(QLatin1Char(' '));
        header.signalInfos.push_back(signalInfo);
    }
    if (!haveRecordLine)
        fail(QStringLiteral("The header has no record line"));
    if (header.signalCount <= 0 || int(header.signalInfos.size()) != header.signalCount)
        fail(QStringLiteral("The header names %1 signals but describes %2")
                 .arg(header.signalCount)
                 .arg(header.signalInfos.size()));
    if (header.samplingFrequency <= 0.0)
        fail(QStringLiteral("The sampling frequency must be positive"));
    return header;
}

int invalidSample(int format)
{
    return format == 212 ? -2048 : -32768;
}

std::vector<std::vector<int>> decodeSamples(const QByteArray& bytes, int format, int signalCount)
{
    std::vector<int> stream;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int size = bytes.size();
    if (format == 16) {
        stream.reserve(size / 2);
        for (int i = 0; i + 1 < size; i += 2)
            stream.push_back(int16_t(uint16_t(data[i] | (data[i + 1] << 8))));
    } else if (format == 212) {
        stream.reserve(size / 3 * 2 + 1);
        auto signExtend12 = [](int value) { return value >= 2048 ? value - 4096 : value; };
        int i = 0;
        for (; i + 2 < size; i += 3) {
            stream.push_back(signExtend12(data[i] | ((data[i + 1] & 0x0F) << 8)));
            stream.push_back(signExtend12(data[i + 2] | ((data[i + 1] & 0xF0) << 4)));
        }
        if (i + 1 < size) // a last odd sample written in two bytes
            stream.push_back(signExtend12(data[i] | ((data[i + 1] & 0x0F) << 8)));
    } else {
        fail(QStringLiteral("Signal format %1 is not supported (only 16 and 212)").arg(format));
    }
    const std::size_t frames = signalCount > 0 ? stream.size() / std::size_t(signalCount) : 0;
    std::vector<std::vector<int>> perSignal(std::size_t(std::max(signalCount, 0)),
                                          std::vector<int>(frames));
    for (std::size_t frame = 0; frame < frames; ++frame)
        for (int s = 0; s < signalCount; ++s)
            perSignal[std::size_t(s)][frame] = stream[frame * std::size_t(signalCount) + std::size_t(s)];
    return perSignal;
}

Record readRecord(const QString& headerPath)
{
    QFile headerFile(headerPath);
    if (!headerFile.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot open header \"%1\"").arg(headerPath));
    Record record;
    record.header = parseHeader(QString::fromUtf8(headerFile.readAll()));
    const QDir folder = QFileInfo(headerPath).absoluteDir();

    // Signals grouped by file, in header order within each file.
    std::vector<QString> files;
    std::map<QString, std::vector<int>> signalsOfFile;
    for (int s = 0; s < record.header.signalCount; ++s) {
        const SignalInfo& signalInfo = record.header.signalInfos[std::size_t(s)];
        if (signalInfo.fileName == QLatin1String("~"))
            fail(QStringLiteral("Signal %1 has no file").arg(s));
        if (!signalsOfFile.count(signalInfo.fileName))
            files.push_back(signalInfo.fileName);
        auto& group = signalsOfFile[signalInfo.fileName];
        if (!group.empty()) {
            const SignalInfo& first = record.header.signalInfos[std::size_t(group.front())];
            if (first.format != signalInfo.format || first.byteOffset != signalInfo.byteOffset)
                fail(QStringLiteral("Signals of \"%1\" differ in format").arg(signalInfo.fileName));
        }
        group.push_back(s);
    }

    std::vector<std::vector<int>> adc(std::size_t(record.header.signalCount));
    for (const QString& name : files) {
        const std::vector<int>& group = signalsOfFile[name];
        const SignalInfo& first = record.header.signalInfos[std::size_t(group.front())];
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("Cannot open signal file \"%1\"").arg(file.fileName()));
        QByteArray bytes = file.readAll();
        bytes.remove(0, first.byteOffset);
        auto decoded = decodeSamples(bytes, first.format, int(group.size()));
        for (std::size_t k = 0; k < group.size(); ++k)
            adc[std::size_t(group[k])] = std::move(decoded[k]);
    }

    std::size_t length = adc.front().size();
    for (const auto& samples : adc)
        length = std::min(length, samples.size());
    if (record.header.sampleCount > 0)
        length = std::min<std::size_t>(length, std::size_t(record.header.sampleCount));
    if (length == 0)
        fail(QStringLiteral("The record holds no samples"));

    record.millivolts.resize(adc.size());
    for (std::size_t s = 0; s < adc.size(); ++s) {
        const SignalInfo& signalInfo = record.header.signalInfos[s];
        const int invalid = invalidSample(signalInfo.format);
        const double scale = millivoltsPerUnit(signalInfo.units) / signalInfo.gain;
        auto& out = record.millivolts[s];
        out.resize(length);
        // A missing sample repeats the last valid one (the baseline before it).
        int last = signalInfo.baseline;
        for (std::size_t i = 0; i < length; ++i) {
            const int value = adc[s][i] == invalid ? last : adc[s][i];
            last = value;
            out[i] = (value - signalInfo.baseline) * scale;
        }
    }
    return record;
}

} // namespace Wfdb
