#pragma once

#include <QString>

class TServerDatabase;

// Edit leases on the clinic server: one workstation at a time edits a
// study. A lease names its session (one per open store), workstation and
// user, and lapses at a time of the server's clock unless renewed, so a
// workstation that dies frees its studies. Other sessions open the study
// read-only and are told who holds it.
class TServerLeases
{
public:
    static constexpr int LeaseSeconds = 90;

    TServerLeases(TServerDatabase& database, QString session, QString workstation, QString user);

    // Takes or renews the lease; answers "" when this session holds it,
    // else "<user> on <workstation>" of the holder.
    QString acquire(int id);
    // Prolongs every lease the session holds.
    static void renew(TServerDatabase& database, const QString& session);
    const QString& session() const { return m_session; }
    void release(int id);

private:
    TServerDatabase& m_database;
    QString m_session;
    QString m_workstation;
    QString m_user;
};
