#include "storage/TRegularFile.h"

#include <QFileInfo>

#include <stdexcept>

namespace TRegularFile {

void require(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw std::runtime_error(QStringLiteral("Cannot open %1: not a regular file").arg(path).toStdString());
}

} // namespace TRegularFile
