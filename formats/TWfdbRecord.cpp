#include "formats/TWfdbRecord.h"

#include "storage/TRecordingLimits.h"
#include "storage/TRegularFile.h"
#include "formats/TWfdbSampleFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString& headerPath, const QString& what)
{
    throw std::runtime_error(QStringLiteral("WFDB record %1: %2").arg(headerPath, what).toStdString());
}

// The signals stored in one file, in header order.
struct SignalFile
{
    QString name;
    std::vector<int> signalIndices;
};

std::vector<SignalFile> signalFiles(const QString& headerPath, const TWfdbHeader& header)
{
    std::vector<SignalFile> files;
    for (int s = 0; s < header.signalCount(); ++s) {
        const TWfdbSignalInfo& info = header.signalInfos[std::size_t(s)];
        if (info.fileName == QLatin1String("~"))
            fail(headerPath, QStringLiteral("signal %1 has no signal file").arg(s + 1));
        auto file = std::find_if(files.begin(), files.end(), [&](const SignalFile& f) { return f.name == info.fileName; });
        if (file == files.end()) {
            files.push_back({info.fileName, {}});
            file = files.end() - 1;
        } else {
            const TWfdbSignalInfo& first = header.signalInfos[std::size_t(file->signalIndices.front())];
            if (first.format != info.format || first.byteOffset != info.byteOffset)
                fail(headerPath, QStringLiteral("the signals of %1 differ in format or byte offset").arg(info.fileName));
        }
        file->signalIndices.push_back(s);
    }
    return files;
}

// The ADC values of the file's signals, each without its skew.
std::vector<std::vector<int>> readSignalFile(const QString& headerPath, const QDir& folder,
                                             const TWfdbHeader& header, const SignalFile& signalFile)
{
    const TWfdbSignalInfo& first = header.signalInfos[std::size_t(signalFile.signalIndices.front())];
    QFile file(folder.filePath(signalFile.name));
    TRegularFile::require(file.fileName());
    if (!file.open(QIODevice::ReadOnly))
        fail(headerPath, QStringLiteral("cannot open signal file %1: %2").arg(file.fileName(), file.errorString()));
    if (first.byteOffset > file.size())
        fail(headerPath, QStringLiteral("signal file %1 is shorter than its byte offset %2")
                             .arg(file.fileName())
                             .arg(first.byteOffset));
    const int signalCount = int(signalFile.signalIndices.size());
    file.seek(first.byteOffset);
    auto samples = TWfdbSampleFormat::decode(file.readAll(), first.format, signalCount);
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const int signal = signalFile.signalIndices[k];
        const int skew = header.signalInfos[std::size_t(signal)].skew;
        if (skew > 0 && std::size_t(skew) >= samples[k].size())
            fail(headerPath, QStringLiteral("the skew %1 of signal %2 is not within the %3 samples of %4")
                                 .arg(skew)
                                 .arg(signal + 1)
                                 .arg(samples[k].size())
                                 .arg(signalFile.name));
        samples[k].erase(samples[k].begin(), samples[k].begin() + skew);
    }
    return samples;
}

// The record's size from its files' sizes, checked against the limits
// before any sample is read.
void checkSize(const QString& headerPath, const QDir& folder, const TWfdbHeader& header,
               const std::vector<SignalFile>& files)
{
    double samples = 0.0;
    double frames = 0.0;
    for (const SignalFile& signalFile : files) {
        const TWfdbSignalInfo& first = header.signalInfos[std::size_t(signalFile.signalIndices.front())];
        const double bits = TWfdbSampleFormat::resolutionBits(first.format);
        const double fileSamples = double(QFileInfo(folder.filePath(signalFile.name)).size() - first.byteOffset) * 8.0 / bits;
        samples += fileSamples;
        frames = std::max(frames, fileSamples / double(signalFile.signalIndices.size()));
    }
    if (header.sampleCount > 0)
        frames = std::min(frames, double(header.sampleCount));
    TRecordingLimits::requireSize(headerPath, frames / header.samplingFrequency, samples);
}

// Physical values of a signal's first `length` samples; an invalid sample
// repeats the last valid one.
std::vector<double> physicalValues(const TWfdbSignalInfo& info, const std::vector<int>& adc, std::size_t length)
{
    const int invalid = TWfdbSampleFormat::invalidSample(info.format);
    const double unit = info.isVoltage() ? info.millivoltsPerUnit() : 1.0;
    const double scale = unit / info.gain;
    std::vector<double> values(length);
    int last = info.baseline;
    for (std::size_t i = 0; i < length; ++i) {
        if (adc[i] != invalid)
            last = adc[i];
        values[i] = (last - info.baseline) * scale;
    }
    return values;
}

} // namespace

TWfdbRecord TWfdbRecord::read(const QString& headerPath)
{
    TWfdbRecord record;
    record.header = TWfdbHeader::read(headerPath);
    const TWfdbHeader& header = record.header;
    const QDir folder = QFileInfo(headerPath).absoluteDir();
    const std::vector<SignalFile> files = signalFiles(headerPath, header);
    checkSize(headerPath, folder, header, files);

    std::vector<std::vector<int>> adc(std::size_t(header.signalCount()));
    std::size_t available = std::numeric_limits<std::size_t>::max();
    for (const SignalFile& signalFile : files) {
        auto samples = readSignalFile(headerPath, folder, header, signalFile);
        for (std::size_t k = 0; k < samples.size(); ++k) {
            const auto count = samples[k].size();
            if (header.sampleCount > 0 && count < std::size_t(header.sampleCount))
                fail(headerPath, QStringLiteral("signal file %1 holds %2 samples of signal %3, the header names %4")
                                     .arg(signalFile.name)
                                     .arg(count)
                                     .arg(signalFile.signalIndices[k] + 1)
                                     .arg(header.sampleCount));
            available = std::min(available, count);
            adc[std::size_t(signalFile.signalIndices[k])] = std::move(samples[k]);
        }
    }
    const std::size_t length = header.sampleCount > 0 ? std::size_t(header.sampleCount) : available;
    if (length == 0)
        fail(headerPath, QStringLiteral("the record holds no samples"));

    record.millivolts.reserve(adc.size());
    for (std::size_t s = 0; s < adc.size(); ++s) {
        record.millivolts.push_back(physicalValues(header.signalInfos[s], adc[s], length));
        std::vector<int>().swap(adc[s]);
    }
    return record;
}
