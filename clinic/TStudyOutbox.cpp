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
}

void TStudyOutbox::save() const
{
    QJsonObject object;
    object.insert(QStringLiteral("waiting"), idArray(m_waiting));
    object.insert(QStringLiteral("archived"), idArray(m_archived));
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(object).toJson(QJsonDocument::Compact)) < 0
        || !file.commit())
        throw std::runtime_error("Write error");
    TPrivateFiles::restrict(m_path);
}

void TStudyOutbox::add(int id)
{
    m_archived.erase(id);
    m_waiting.insert(id);
    save();
}

void TStudyOutbox::markArchived(int id)
{
    m_waiting.erase(id);
    m_archived.insert(id);
    save();
}

void TStudyOutbox::forget(int id)
{
    m_waiting.erase(id);
    m_archived.erase(id);
    save();
}
