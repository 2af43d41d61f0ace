#pragma once

#include <QString>

#include <set>

// The studies of the local data folder that wait to go up to the clinic
// server, and those already there (archived: uploaded and verified; the
// local copy stays). Kept in "<data folder>/data/clinic-outbox.json" and
// written through an atomic save at every change, so a restart finds the
// studies that still wait.
class TStudyOutbox
{
public:
    static constexpr const char* FileName = "clinic-outbox.json";

    explicit TStudyOutbox(const QString& dataFolder);

    const std::set<int>& waiting() const { return m_waiting; }
    bool isWaiting(int id) const { return m_waiting.count(id) != 0; }
    bool isArchived(int id) const { return m_archived.count(id) != 0; }
    void add(int id);
    // Uploaded and verified.
    void markArchived(int id);
    // Gone from the data folder.
    void forget(int id);

private:
    void load();
    void save() const;

    QString m_path;
    std::set<int> m_waiting;
    std::set<int> m_archived;
};
