#include "storage/TDataFolderLock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

TDataFolderLock::TDataFolderLock(const QString& folder)
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(FileName);
    m_descriptor = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_descriptor < 0)
        throw std::runtime_error(QStringLiteral("Cannot create the lock file %1").arg(path).toStdString());
    if (::flock(m_descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(m_descriptor);
        if (error == EWOULDBLOCK)
            throw InUse(QString::fromLatin1(InUseMessage).arg(folder).toStdString());
        throw std::runtime_error(QStringLiteral("Cannot lock %1").arg(path).toStdString());
    }
}

TDataFolderLock::~TDataFolderLock()
{
    ::close(m_descriptor);
}
