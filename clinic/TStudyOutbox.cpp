#include "clinic/TStudyOutbox.h"

#include "storage/TPrivateFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <stdexcept>

namespace {

std::set<int> readIds(const QJsonValue& value)
{
    std::set<int> ids;
    for (const QJsonValue& id : value.toArray())
        ids.insert(id.toInt());
    ids.erase(0);
    return ids;
}

QJsonArray idArray(const std::set<int>& ids)
{
    QJsonArray array;
    for (const int id : ids)
        array.append(id);
    return array;
}

// An object keyed by id: {"<id>": value}.
template <typename Value, typename Read>
std::map<int, Value> readById(const QJsonValue& value, Read read)
{
    std::map<int, Value> byId;
    const QJsonObject object = value.toObject();
    for (auto member = object.begin(); member != object.end(); ++member) {
        const int id = member.key().toInt();
        if (id != 0)
            byId[id] = read(member.value());
    }
    return byId;
}

template <typename Value>
QJsonObject byIdObject(const std::map<int, Value>& byId)
{
    QJsonObject object;
    for (const auto& [id, value] : byId)
        object.insert(QString::number(id), value);
    return object;
}

} // namespace

TStudyOutbox::TStudyOutbox(const QString& dataFolder)
    : m_path(QStringLiteral("%1/data/%2").arg(dataFolder, QLatin1String(FileName)))
{
    load();
}

void TStudyOutbox::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    m_waiting = readIds(object.value(QStringLiteral("waiting")));
    m_archived = readIds(object.value(QStringLiteral("archived")));
    m_revisions = readById<int>(object.value(QStringLiteral("revisions")), [](const QJsonValue& v) { return v.toInt(); });
    m_conflicts = readById<QString>(object.value(QStringLiteral("conflicts")),
                                    [](const QJsonValue& v) { return v.toString(); });
}

void TStudyOutbox::save() const
{
    QJsonObject object;
    object.insert(QStringLiteral("waiting"), idArray(m_waiting));
    object.insert(QStringLiteral("archived"), idArray(m_archived));
    object.insert(QStringLiteral("revisions"), byIdObject(m_revisions));
    object.insert(QStringLiteral("conflicts"), byIdObject(m_conflicts));
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(object).toJson(QJsonDocument::Compact)) < 0
        || !file.commit())
        throw std::runtime_error("Write error");
    TPrivateFiles::restrict(m_path);
}

void TStudyOutbox::add(int id, int baseRevision)
{
    m_archived.erase(id);
    m_conflicts.erase(id);
    m_waiting.insert(id);
    m_revisions[id] = baseRevision;
    save();
}

int TStudyOutbox::revision(int id) const
{
    const auto found = m_revisions.find(id);
    return found != m_revisions.end() ? found->second : 0;
}

void TStudyOutbox::markArchived(int id, int revision)
{
    m_waiting.erase(id);
    m_conflicts.erase(id);
    m_archived.insert(id);
    m_revisions[id] = revision;
    save();
}

void TStudyOutbox::markConflict(int id, const QString& change)
{
    m_conflicts[id] = change;
    save();
}

void TStudyOutbox::forget(int id)
{
    m_waiting.erase(id);
    m_archived.erase(id);
    m_revisions.erase(id);
    m_conflicts.erase(id);
    save();
}
