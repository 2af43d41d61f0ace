#include "storage/TFileHeaderArea.h"

#include <algorithm>

bool writeHeaderArea(QFile& file, int headerSize, const QByteArray& bytes)
{
    const int length = std::min(headerSize, bytes.size());
    QByteArray area(headerSize, '\0');
    std::copy(bytes.constBegin(), bytes.constBegin() + length, area.begin());
    return file.seek(0) && writeWhole(file, area.constData(), area.size()) == area.size() && file.flush();
}

qint64 writeWhole(QFile& file, const char* data, qint64 length)
{
    qint64 written = 0;
    while (written < length) {
        const qint64 step = file.write(data + written, length - written);
        if (step <= 0)
            break;
        written += step;
    }
    return written;
}

void noteWriteError(QString& reason, const QFile& file)
{
    if (reason.isEmpty())
        reason = file.errorString().isEmpty() ? QStringLiteral("Write error") : file.errorString();
}
