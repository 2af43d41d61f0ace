#include "storage/TStagedFiles.h"

#include <QFile>

#include <cstdio>
#include <stdexcept>

namespace {

QString temporaryPath(const QString& target)
{
    return target + QStringLiteral(".part");
}

} // namespace

bool TStagedFiles::replaceFile(const QString& from, const QString& to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    QFile::remove(to);
    return QFile::rename(from, to);
}

TStagedFiles::~TStagedFiles()
{
    for (const QString& path : m_temporaries)
        QFile::remove(path);
}

QString TStagedFiles::stage(const QString& target)
{
    m_targets.append(target);
    m_temporaries.append(temporaryPath(target));
    return m_temporaries.last();
}

void TStagedFiles::write(const QString& target, const QByteArray& bytes)
{
    QFile file(stage(target));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(target, file.errorString()).toStdString());
}

void TStagedFiles::commit()
{
    for (int k = 0; k < m_targets.size(); ++k) {
        if (!replaceFile(m_temporaries[k], m_targets[k])) {
            for (int moved = 0; moved < k; ++moved)
                QFile::remove(m_targets[moved]);
            throw std::runtime_error(QStringLiteral("Cannot move %1 into place").arg(m_targets[k]).toStdString());
        }
    }
    m_targets.clear();
    m_temporaries.clear();
}
