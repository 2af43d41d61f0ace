#include "formats/TEdfExport.h"

#include "formats/TEdfFile.h"
#include "formats/TExportRecord.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int FieldWidth = 8; // characters of a physical minimum or maximum
constexpr int EdfDigitalLimit = 32768;
constexpr int BdfDigitalLimit = 8388608;

// Whether EDF's eight-character field can hold the value exactly.
bool fitsExactly(double value)
{
    for (int decimals = 0; decimals < FieldWidth; ++decimals) {
        const QString text = QString::number(value, 'f', decimals);
        if (text.size() > FieldWidth)
            return false;
        if (text.toDouble() == value)
            return true;
    }
    return false;
}

// The digital value nearest `limit`, going towards zero, whose physical
// value the header states exactly; 0 when there is none.
int exactEnd(int limit, double step)
{
    const int towardsZero = limit < 0 ? 1 : -1;
    int digital = limit;
    while (digital != 0 && !fitsExactly(digital * step))
        digital += towardsZero;
    return digital;
}

// EDF headers are ASCII: accents are dropped ("Muñoz" gives "Munoz"),
// other characters become "_".
QString asciiText(const QString& text)
{
    QString ascii;
    for (const QChar c : text.normalized(QString::NormalizationForm_KD)) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        ascii.append(c.unicode() >= 0x20 && c.unicode() < 0x7F ? c : QLatin1Char('_'));
    }
    return ascii;
}

QString patientName(const TExportRecord& record)
{
    if (record.lastName.isEmpty() && record.firstName.isEmpty())
        return QString();
    return asciiText(record.lastName + QLatin1Char(',') + record.firstName);
}

struct DigitalRange
{
    int minimum;
    int maximum;
};

// A lead in whole one-second records: the last one is completed with the
// last sample, so that a reader ignoring the end annotation sees no step.
TEdfFile::Signal channelOf(const TExportRecord& record, std::size_t lead, const DigitalRange& range)
{
    const double step = record.millivoltsPerCount;
    const std::size_t rate = std::size_t(record.samplingRate);
    TEdfFile::Signal channel;
    channel.label = QStringLiteral("ECG ") + record.leadNames.value(int(lead));
    channel.dimension = QStringLiteral("mV");
    channel.digitalMinimum = range.minimum;
    channel.digitalMaximum = range.maximum;
    channel.physicalMinimum = range.minimum * step;
    channel.physicalMaximum = range.maximum * step;
    channel.samples.reserve((record.length() + rate - 1) / rate * rate);
    for (const qint16 count : record.leads[lead])
        channel.samples.push_back(std::clamp<int>(count, range.minimum, range.maximum));
    channel.samples.resize(channel.samples.size() + (rate - channel.samples.size() % rate) % rate, channel.samples.back());
    return channel;
}

std::vector<TEdfFile::Annotation> annotations(const TExportRecord& record)
{
    std::vector<TEdfFile::Annotation> result;
    for (const auto& [name, seconds] : record.marks)
        result.push_back({0.0, QStringLiteral("Averaged beat %1 %2 ms").arg(name).arg(seconds * 1000.0, 0, 'f', 1)});
    for (const TExportBeat& beat : record.beats)
        result.push_back({beat.seconds, QLatin1String(beat.normal ? TEdfExport::NormalBeat : TEdfExport::RejectedBeat)});
    result.push_back({double(record.length()) / record.samplingRate, QLatin1String(TEdfFile::RecordingEnds)});
    return result;
}

} // namespace

namespace TEdfExport {

void write(const TExportRecord& record, const QString& path, bool bdf)
{
    const double step = record.millivoltsPerCount;
    const int limit = bdf ? BdfDigitalLimit : EdfDigitalLimit;
    const DigitalRange range = {exactEnd(-limit, step), exactEnd(limit - 1, step)};
    if (range.minimum == 0 || range.maximum == 0)
        throw std::runtime_error(
            QStringLiteral("Cannot write EDF file %1: a step of %2 mV has no exact range").arg(path).arg(step).toStdString());

    TEdfFile file;
    file.is24Bit = bdf;
    file.patientName = patientName(record);
    file.sex = record.sex;
    file.birthDate = record.birthDate;
    file.start = record.start;
    file.samplesPerRecord = record.samplingRate; // one-second data records
    for (std::size_t lead = 0; lead < record.leads.size(); ++lead)
        file.channels.push_back(channelOf(record, lead, range));
    file.annotations = annotations(record);
    file.write(path);
}

} // namespace TEdfExport
