#include "storage/TStagedFiles.h"

#include "storage/TPrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSysInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

constexpr const char* JournalSuffix = ".undo";
constexpr const char* AsideSuffix = ".old";
// First line of a journal: whether the target existed and was set aside.
constexpr const char* Existed = "existed";
constexpr const char* Absent = "absent";

// Temporary files are named ".<target name>.<host>-<process id>-<random>.part"
// beside their targets: hidden, never predictable, and telling which
// process of which computer made them, so that those of a process of this
// computer that is gone can be cleared by the next one writing the same
// target (a shared folder also holds other computers' temporaries).
constexpr const char* TemporarySuffix = ".part";

QString temporaryPrefix(const QString& target)
{
    const QFileInfo info(target);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QLatin1Char('.'));
}

bool processIsGone(const QString& name)
{
    // ".<name>.<host>-<pid>-<random>.part": the tag is the last dot-field.
    const QStringList tag = name.section(QLatin1Char('.'), -2, -2).split(QLatin1Char('-'));
    if (tag.size() != 3 || tag[0] != TStagedFiles::hostTag())
        return false;
    bool ok = false;
    const qint64 pid = tag[1].toLongLong(&ok);
    return ok && pid > 0 && pid != qint64(::getpid()) && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool writeJournal(const QString& temporary, const QString& target, bool existed)
{
    QFile journal(temporary + QLatin1String(JournalSuffix));
    const QByteArray text = QByteArray(existed ? Existed : Absent) + '\n' + QFile::encodeName(target);
    return journal.open(QIODevice::WriteOnly | QIODevice::NewOnly) && journal.write(text) == text.size()
           && journal.flush();
}

// Restores one target from the journal of its temporary file and removes
// the journal.
void undoJournal(const QString& temporary)
{
    QFile journal(temporary + QLatin1String(JournalSuffix));
    if (!journal.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = journal.readAll().split('\n');
    journal.close();
    if (lines.size() == 2) {
        const QString target = QFile::decodeName(lines[1]);
        const QString aside = temporary + QLatin1String(AsideSuffix);
        if (lines[0] == Existed && exists(aside))
            TStagedFiles::replaceFile(aside, target);
        else if (lines[0] == Absent && !exists(temporary))
            QFile::remove(target);  // moved into place where nothing was
    }
    journal.remove();
}

} // namespace

bool TStagedFiles::replaceFile(const QString& from, const QString& to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    QFile::remove(to);
    return QFile::rename(from, to);
}

void TStagedFiles::undoInterrupted(const QString& folder)
{
    const QDir directory(folder);
    const QString pattern = QStringLiteral("*") + QLatin1String(JournalSuffix);
    for (const QString& name : directory.entryList({pattern}, QDir::Files | QDir::Hidden))
        undoJournal(directory.filePath(name.chopped(int(qstrlen(JournalSuffix)))));
}

TStagedFiles::~TStagedFiles()
{
    for (const QString& path : m_temporaries)
        QFile::remove(path);
}

QString TStagedFiles::hostTag()
{
    return QStringLiteral("%1").arg(qHash(QSysInfo::machineHostName()), 8, 16, QLatin1Char('0'));
}

QString TStagedFiles::createTemporary(const QString& target, Access access)
{
    clearStaleTemporaries(target);
    static std::random_device device;
    const mode_t mode = access == Access::OwnerOnly ? 0600 : 0666;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = temporaryPrefix(target)
                             + QStringLiteral("%1-%2-%3").arg(hostTag()).arg(::getpid()).arg(device(), 8, 16, QLatin1Char('0'))
                             + QLatin1String(TemporarySuffix);
        // Made here and now, never through a link or over a file of anyone else.
        const int descriptor = ::open(QFile::encodeName(path).constData(),
                                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (descriptor >= 0) {
            ::close(descriptor);
            return path;
        }
        if (errno != EEXIST)
            break;
    }
    throw std::runtime_error(
        QStringLiteral("Cannot write %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))).toStdString());
}

void TStagedFiles::clearStaleTemporaries(const QString& target)
{
    const QFileInfo info(target);
    clearStale(info.dir(), QLatin1Char('.') + info.fileName() + QStringLiteral(".*") + QLatin1String(TemporarySuffix));
}

void TStagedFiles::clearStaleTemporariesIn(const QString& folder)
{
    clearStale(QDir(folder), QStringLiteral(".*") + QLatin1String(TemporarySuffix));
}

void TStagedFiles::clearStale(const QDir& folder, const QString& pattern)
{
    for (const QString& name : folder.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (!processIsGone(name))
            continue;
        const QString temporary = folder.filePath(name);
        undoJournal(temporary);
        QFile::remove(temporary + QLatin1String(AsideSuffix));
        QFile::remove(temporary);
    }
}

QString TStagedFiles::stage(const QString& target, Access access)
{
    adopt(createTemporary(target, access), target);
    return m_temporaries.last();
}

void TStagedFiles::adopt(const QString& temporary, const QString& target)
{
    m_targets.append(target);
    m_temporaries.append(temporary);
}

void TStagedFiles::write(const QString& target, const QByteArray& bytes)
{
    QFile file(stage(target));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(target, file.errorString()).toStdString());
}

bool TStagedFiles::moveIntoPlace(int k)
{
    const QString& temporary = m_temporaries[k];
    const QString& target = m_targets[k];
    const bool existed = exists(target);
    if (!writeJournal(temporary, target, existed))
        return false;
    if (existed && !replaceFile(target, temporary + QLatin1String(AsideSuffix))) {
        // Nothing was set aside: the journal must not put anything back.
        QFile::remove(temporary + QLatin1String(JournalSuffix));
        return false;
    }
    return replaceFile(temporary, target);
}

void TStagedFiles::rollBack(int k)
{
    for (int j = k; j >= 0; --j)
        undoJournal(m_temporaries[j]);
}

void TStagedFiles::commit()
{
    for (int k = 0; k < m_targets.size(); ++k) {
        if (!moveIntoPlace(k)) {
            rollBack(k);
            throw std::runtime_error(QStringLiteral("Cannot move %1 into place").arg(m_targets[k]).toStdString());
        }
    }
    for (const QString& temporary : qAsConst(m_temporaries)) {
        QFile::remove(temporary + QLatin1String(AsideSuffix));
        QFile::remove(temporary + QLatin1String(JournalSuffix));
    }
    m_targets.clear();
    m_temporaries.clear();
}
