#include "hospital/TPacsOutbox.h"

#include "hospital/TDicomLink.h"
#include "hospital/TDicomPeer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QSaveFile>

#include <algorithm>
#include <stdexcept>

namespace {

const QString StateFile = QStringLiteral("state.json");

struct StateName
{
    TPacsOutbox::State state;
    const char* name;
};
constexpr StateName StateNames[] = {
    {TPacsOutbox::State::NotSent, "not sent"},
    {TPacsOutbox::State::Queued, "queued"},
    {TPacsOutbox::State::Sent, "sent"},
    {TPacsOutbox::State::Failed, "failed"},
};

QString nameOf(TPacsOutbox::State state)
{
    for (const StateName& entry : StateNames) {
        if (entry.state == state)
            return QLatin1String(entry.name);
    }
    return QString();
}

TPacsOutbox::State stateNamed(const QString& name)
{
    for (const StateName& entry : StateNames) {
        if (name == QLatin1String(entry.name))
            return entry.state;
    }
    return TPacsOutbox::State::NotSent;
}

// A version's folder name: UIDs may be longer than a file name likes.
QString folderOf(const QString& version)
{
    return QString::fromLatin1(QCryptographicHash::hash(version.toLatin1(), QCryptographicHash::Sha1).toHex().left(16));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(QStringLiteral("Cannot write %1 to the PACS outbox").arg(path).toStdString());
}

} // namespace

TPacsOutbox::TPacsOutbox(const QString& folder) : m_folder(folder) {}

QString TPacsOutbox::folderIn(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("outbox"));
}

qint64 TPacsOutbox::retryDelaySeconds(int attempts)
{
    const qint64 hour = 3600;
    return attempts <= 0 ? 0 : std::min(hour, qint64(30) << std::min(attempts - 1, 10));
}

QString TPacsOutbox::stateText(const Status& status)
{
    switch (status.state) {
    case State::NotSent:
        return QStringLiteral("not sent");
    case State::Queued:
        return status.reason.isEmpty() ? QStringLiteral("queued")
                                       : QStringLiteral("queued, retried at %1: %2")
                                             .arg(status.nextAttempt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                                  status.reason);
    case State::Sent:
        return QStringLiteral("sent at %1").arg(status.sentAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case State::Failed:
        return QStringLiteral("failed: %1").arg(status.reason);
    }
    return QString();
}

QString TPacsOutbox::studyFolder(int studyId) const
{
    return QDir(m_folder).filePath(QString::number(studyId));
}

TPacsOutbox::Status TPacsOutbox::readStatus(int studyId) const
{
    QFile file(QDir(studyFolder(studyId)).filePath(StateFile));
    Status status;
    if (!file.open(QIODevice::ReadOnly))
        return status;
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    status.state = stateNamed(json.value(QStringLiteral("state")).toString());
    status.version = json.value(QStringLiteral("version")).toString();
    status.attempts = json.value(QStringLiteral("attempts")).toInt();
    status.nextAttempt = QDateTime::fromString(json.value(QStringLiteral("nextAttempt")).toString(), Qt::ISODateWithMs);
    status.sentAt = QDateTime::fromString(json.value(QStringLiteral("sentAt")).toString(), Qt::ISODateWithMs);
    status.reason = json.value(QStringLiteral("reason")).toString();
    return status;
}

void TPacsOutbox::writeStatus(int studyId, const Status& status) const
{
    const QJsonObject json{
        {QStringLiteral("state"), nameOf(status.state)},
        {QStringLiteral("version"), status.version},
        {QStringLiteral("attempts"), status.attempts},
        {QStringLiteral("nextAttempt"), status.nextAttempt.toString(Qt::ISODateWithMs)},
        {QStringLiteral("sentAt"), status.sentAt.toString(Qt::ISODateWithMs)},
        {QStringLiteral("reason"), status.reason},
    };
    writeFile(QDir(studyFolder(studyId)).filePath(StateFile), QJsonDocument(json).toJson(QJsonDocument::Compact));
}

QStringList TPacsOutbox::versionFiles(int studyId, const QString& version) const
{
    const QDir folder(QDir(studyFolder(studyId)).filePath(folderOf(version)));
    QStringList files;
    for (const QString& name : folder.entryList({QStringLiteral("*.dcm")}, QDir::Files, QDir::Name))
        files.append(folder.filePath(name));
    return files;
}

void TPacsOutbox::removeOtherVersions(int studyId, const QString& keep) const
{
    const QDir folder(studyFolder(studyId));
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (name != folderOf(keep))
            QDir(folder.filePath(name)).removeRecursively();
    }
}

std::vector<int> TPacsOutbox::studies() const
{
    std::vector<int> ids;
    for (const QString& name : QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const int id = name.toInt(&number);
        if (number)
            ids.push_back(id);
    }
    return ids;
}

bool TPacsOutbox::enqueue(int studyId, const std::vector<TDicomEcgExport::Object>& objects, const QDateTime& now)
{
    if (objects.empty())
        return false;
    // Every object counts: a conclusion changed alters the report only.
    QStringList uids;
    for (const TDicomEcgExport::Object& object : objects)
        uids.append(object.instanceUid);
    const QString version = uids.join(QLatin1Char(' '));
    QMutexLocker lock(&m_mutex);
    Status current = readStatus(studyId);
    // Queued again while still waiting: the operator asks for it now (the
    // settings were mended, the PACS is back), not at the back-off's time.
    if (current.version == version && current.state == State::Queued) {
        current.nextAttempt = now;
        writeStatus(studyId, current);
        return false;
    }
    if (current.version == version && current.state == State::Sent)
        return false;
    // The objects first, the state that names them last: a crash in
    // between leaves the previous state whole.
    const QString versionFolder = QDir(studyFolder(studyId)).filePath(folderOf(version));
    if (!QDir().mkpath(versionFolder))
        throw std::runtime_error(QStringLiteral("Cannot create %1 in the PACS outbox").arg(versionFolder).toStdString());
    for (std::size_t i = 0; i < objects.size(); ++i)
        writeFile(QDir(versionFolder).filePath(QStringLiteral("%1.dcm").arg(i)), objects[i].file);
    Status queued;
    queued.state = State::Queued;
    queued.version = version;
    queued.nextAttempt = now;
    writeStatus(studyId, queued);
    return true;
}

TPacsOutbox::Status TPacsOutbox::status(int studyId) const
{
    QMutexLocker lock(&m_mutex);
    return readStatus(studyId);
}

QDateTime TPacsOutbox::nextAttempt() const
{
    QMutexLocker lock(&m_mutex);
    QDateTime earliest;
    for (int id : studies()) {
        const Status status = readStatus(id);
        if (status.state == State::Queued && (!earliest.isValid() || status.nextAttempt < earliest))
            earliest = status.nextAttempt;
    }
    return earliest;
}

// One attempt at the version's files. With no archive configured nothing
// is tried: the study stays queued, saying so, and the settings are looked
// at again after the first back-off, with no failed attempt counted, so
// that it goes soon after an archive is configured.
TPacsOutbox::Status TPacsOutbox::attempt(const TDicomPeer& peer, const Status& status, const QStringList& files,
                                         const QDateTime& now)
{
    Status outcome = status;
    if (!peer.isConfigured()) {
        outcome.reason = TDicomPeer::notConfiguredText();
        outcome.nextAttempt = now.addSecs(retryDelaySeconds(1));
        return outcome;
    }
    try {
        TDicomLink::store(peer, files);
        outcome.state = State::Sent;
        outcome.sentAt = now;
        outcome.reason.clear();
    } catch (const TDicomLink::Error& error) {
        ++outcome.attempts;
        outcome.reason = QString::fromStdString(error.what());
        outcome.state = error.unreachable() ? State::Queued : State::Failed;
        outcome.nextAttempt = now.addSecs(retryDelaySeconds(outcome.attempts));
    }
    return outcome;
}

int TPacsOutbox::sendDue(const TDicomPeer& peer, const QDateTime& now)
{
    int sent = 0;
    for (int id : studies()) {
        Status status;
        QStringList files;
        {
            QMutexLocker lock(&m_mutex);
            status = readStatus(id);
            if (status.state != State::Queued || status.nextAttempt > now)
                continue;
            files = versionFiles(id, status.version);
        }
        // Sent outside the lock: the windows may queue a newer version
        // meanwhile, which this attempt's outcome must not overwrite.
        const Status outcome = attempt(peer, status, files, now);
        if (outcome.state == State::Sent)
            ++sent;
        QMutexLocker lock(&m_mutex);
        if (readStatus(id).version != status.version)
            continue;
        writeStatus(id, outcome);
        removeOtherVersions(id, outcome.state == State::Sent ? QString() : status.version);
    }
    return sent;
}
