#pragma once

#include <QString>

#include <map>
#include <set>

// The studies of the local data folder that wait to go up to the clinic
// server, and those already there (archived: uploaded and verified; the
// local copy stays). Each carries the server revision its local copy
// started from (0 for a study new to the server), so that an upload over a
// revision made since on another workstation is refused. A waiting study
// refused so is in conflict: it stays here, not retried, with the server's
// change that refused it, until the operator decides. Kept in
// "<data folder>/data/clinic-outbox.json" and written through an atomic
// save at every change, so a restart finds the studies that still wait.
class TStudyOutbox
{
public:
    static constexpr const char* FileName = "clinic-outbox.json";

    explicit TStudyOutbox(const QString& dataFolder);

    const std::set<int>& waiting() const { return m_waiting; }
    bool isWaiting(int id) const { return m_waiting.count(id) != 0; }
    bool isArchived(int id) const { return m_archived.count(id) != 0; }
    const std::set<int>& archived() const { return m_archived; }
    // Waiting, to go up over `baseRevision`.
    void add(int id, int baseRevision);
    // The revision a waiting study's copy started from, or the one an
    // archived study went up as; 0 when not known (older outbox files).
    int revision(int id) const;
    // Uploaded and verified as `revision`.
    void markArchived(int id, int revision);
    // Refused by the server's `change` (who changed the study, when).
    void markConflict(int id, const QString& change);
    bool isConflict(int id) const { return m_conflicts.count(id) != 0; }
    const std::map<int, QString>& conflicts() const { return m_conflicts; }
    // Gone from the data folder.
    void forget(int id);

private:
    void load();
    void save() const;

    QString m_path;
    std::set<int> m_waiting;
    std::set<int> m_archived;
    std::map<int, int> m_revisions;
    std::map<int, QString> m_conflicts;
};
