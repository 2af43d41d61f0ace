#include "storage/TFileHeaderArea.h"

#include <algorithm>

bool writeHeaderArea(QFile& file, int headerSize, const QByteArray& bytes)
{
    const int length = std::min(headerSize, bytes.size());
    QByteArray area(headerSize, '\0');
    std::copy(bytes.constBegin(), bytes.constBegin() + length, area.begin());
    return file.seek(0) && file.write(area) == area.size() && file.flush();
}
