#include "clinic/TServerLeases.h"

#include "clinic/TServerDatabase.h"

TServerLeases::TServerLeases(TServerDatabase& database, QString session, QString workstation, QString user)
    : m_database(database), m_session(std::move(session)), m_workstation(std::move(workstation)),
      m_user(std::move(user))
{
}

QString TServerLeases::acquire(int id)
{
    // Taken when free, lapsed or already this session's; the row is left
    // alone (and nothing returned) while another session holds it.
    QSqlQuery taken = m_database.exec(
        QStringLiteral("insert into study_lease(study_id, session, workstation, user_name, expires_at) "
                       "values (?, ?, ?, ?, now() + make_interval(secs => ?)) "
                       "on conflict (study_id) do update set session = excluded.session, "
                       "workstation = excluded.workstation, user_name = excluded.user_name, "
                       "expires_at = excluded.expires_at "
                       "where study_lease.expires_at < now() or study_lease.session = excluded.session "
                       "returning study_id"),
        {id, m_session, m_workstation, m_user, LeaseSeconds});
    if (taken.next())
        return QString();
    QSqlQuery holder = m_database.exec(
        QStringLiteral("select user_name, workstation from study_lease where study_id = ?"), {id});
    if (!holder.next())
        return acquire(id);  // released in between
    return QStringLiteral("%1 on %2").arg(holder.value(0).toString(), holder.value(1).toString());
}

void TServerLeases::renew(TServerDatabase& database, const QString& session)
{
    database.exec(QStringLiteral("update study_lease set expires_at = now() + make_interval(secs => ?) "
                                 "where session = ?"),
                  {LeaseSeconds, session});
}

void TServerLeases::release(int id)
{
    m_database.exec(QStringLiteral("delete from study_lease where study_id = ? and session = ?"), {id, m_session});
}
