#include "formats/TWfdbSampleFormat.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace {

constexpr int Supported[] = {16, 61, 80, 212};

int signExtend12(int value)
{
    return value >= 2048 ? value - 4096 : value;
}

// The samples of all signals in file order.
std::vector<int> sampleStream(const QByteArray& bytes, int format)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int size = bytes.size();
    std::vector<int> stream;
    switch (format) {
    case 16:
    case 61: {
        const int low = format == 16 ? 0 : 1;
        stream.reserve(std::size_t(size / 2));
        for (int i = 0; i + 1 < size; i += 2)
            stream.push_back(std::int16_t(std::uint16_t(data[i + low] | (data[i + 1 - low] << 8))));
        break;
    }
    case 80:
        stream.reserve(std::size_t(size));
        for (int i = 0; i < size; ++i)
            stream.push_back(int(data[i]) - 128);
        break;
    case 212: {
        stream.reserve(std::size_t(size / 3 * 2 + 1));
        int i = 0;
        for (; i + 2 < size; i += 3) {
            stream.push_back(signExtend12(data[i] | ((data[i + 1] & 0x0F) << 8)));
            stream.push_back(signExtend12(data[i + 2] | ((data[i + 1] & 0xF0) << 4)));
        }
        if (i + 1 < size)
            stream.push_back(signExtend12(data[i] | ((data[i + 1] & 0x0F) << 8)));
        break;
    }
    default:
        throw std::runtime_error(QStringLiteral("Signal format %1 is not supported (%2 are)")
                                     .arg(format)
                                     .arg(TWfdbSampleFormat::supportedFormats())
                                     .toStdString());
    }
    return stream;
}

} // namespace

bool TWfdbSampleFormat::isSupported(int format)
{
    for (int supported : Supported) {
        if (format == supported)
            return true;
    }
    return false;
}

QString TWfdbSampleFormat::supportedFormats()
{
    QStringList names;
    for (int format : Supported)
        names.append(QString::number(format));
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

int TWfdbSampleFormat::invalidSample(int format)
{
    return -(1 << (resolutionBits(format) - 1));
}

int TWfdbSampleFormat::resolutionBits(int format)
{
    switch (format) {
    case 80:
        return 8;
    case 212:
        return 12;
    default:
        return 16;
    }
}

std::vector<std::vector<int>> TWfdbSampleFormat::decode(const QByteArray& bytes, int format, int signalCount)
{
    const std::vector<int> stream = sampleStream(bytes, format);
    const std::size_t count = std::size_t(std::max(signalCount, 0));
    const std::size_t frames = count > 0 ? stream.size() / count : 0;
    std::vector<std::vector<int>> perSignal(count, std::vector<int>(frames));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t s = 0; s < count; ++s)
            perSignal[s][frame] = stream[frame * count + s];
    }
    return perSignal;
}
