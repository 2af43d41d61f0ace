#include "formats/TWfdbExport.h"

#include "formats/TExportRecord.h"

#include <QLocale>
#include <QRegularExpression>
#include <QtEndian>

#include <cmath>
#include <stdexcept>

namespace {

constexpr int Format16 = 16;

QString signalLine(const TExportRecord& record, const QString& recordName, std::size_t lead)
{
    const std::vector<qint16>& samples = record.leads[lead];
    qint16 checksum = 0; // the sum of the samples in 16 bits, as WFDB checks it
    for (const qint16 sample : samples)
        checksum = qint16(checksum + sample);
    const QString gain = QString::number(1.0 / record.millivoltsPerCount, 'g', QLocale::FloatingPointShortest);
    // file format gain(baseline)/units resolution zero initial checksum block description
    return QStringLiteral("%1.dat %2 %3(0)/mV 16 0 %4 %5 0 %6\n")
        .arg(recordName)
        .arg(Format16)
        .arg(gain)
        .arg(samples.empty() ? 0 : samples.front())
        .arg(checksum)
        .arg(record.leadNames.value(int(lead)));
}

QByteArray header(const TExportRecord& record, const QString& recordName)
{
    QString text = QStringLiteral("%1 %2 %3 %4").arg(recordName).arg(record.leads.size()).arg(record.samplingRate).arg(record.length());
    if (record.start.isValid())
        text += record.start.toString(QStringLiteral(" HH:mm:ss dd/MM/yyyy"));
    text += QLatin1Char('\n');
    for (std::size_t lead = 0; lead < record.leads.size(); ++lead)
        text += signalLine(record, recordName, lead);
    return text.toLatin1();
}

QByteArray samples(const TExportRecord& record)
{
    QByteArray bytes(int(record.length() * record.leads.size() * sizeof(qint16)), Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(bytes.data());
    for (std::size_t frame = 0; frame < record.length(); ++frame) {
        for (const std::vector<qint16>& lead : record.leads) {
            qToLittleEndian<qint16>(lead[frame], out);
            out += sizeof(qint16);
        }
    }
    return bytes;
}

} // namespace

namespace TWfdbExport {

QString recordNameOf(const QString& name)
{
    static const QRegularExpression invalid(QStringLiteral("[^A-Za-z0-9_]"));
    return QString(name).replace(invalid, QStringLiteral("_"));
}

Files encode(const TExportRecord& record, const QString& recordName)
{
    if (recordName.isEmpty() || recordNameOf(recordName) != recordName)
        throw std::runtime_error(QStringLiteral("The WFDB record name \"%1\" may hold only letters, digits and underscores")
                                     .arg(recordName)
                                     .toStdString());
    return {header(record, recordName), samples(record),
            TWfdbAnnotations::encode(beatAnnotations(record.beats, record.samplingRate))};
}

std::vector<TWfdbAnnotation> beatAnnotations(const std::vector<TExportBeat>& beats, double rate)
{
    std::vector<TWfdbAnnotation> annotations;
    for (const TExportBeat& beat : beats) {
        TWfdbAnnotation& annotation = annotations.emplace_back();
        annotation.sample = std::llround(beat.seconds * rate);
        annotation.code = beat.normal ? TWfdbAnnotations::Normal : TWfdbAnnotations::Unclassified;
    }
    return annotations;
}

} // namespace TWfdbExport
