#include "storage/TPrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

namespace {

constexpr QFileDevice::Permissions OwnerFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions OwnerFolder = OwnerFile | QFileDevice::ExeOwner;

} // namespace

namespace TPrivateFiles {

bool makeFolder(const QString& path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, OwnerFolder);
    return QFileInfo(path).isDir();
}

void restrict(QFileDevice& file)
{
    file.setPermissions(OwnerFile);
}

void restrict(const QString& path)
{
    QFile::setPermissions(path, OwnerFile);
}

void tightenFolder(const QString& path)
{
    QFile::setPermissions(path, OwnerFolder);
    const QDir folder(path);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks))
        restrict(folder.filePath(name));
}

} // namespace TPrivateFiles
