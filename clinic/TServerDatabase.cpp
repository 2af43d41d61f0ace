#include "clinic/TServerDatabase.h"

#include <QAtomicInt>
#include <QSqlError>
#include <QStringList>

namespace {

const QString DriverName = QStringLiteral("QPSQL");
// Any constant shared by every workstation: the key of the advisory lock
// that serialises schema upgrades.
constexpr qint64 SchemaLockKey = 0x5641524f52;

// The statements that bring the schema from version i to i + 1.
const QVector<QStringList>& schemaSteps()
{
    static const QVector<QStringList> steps = {
        {
            // The study index as the local one keeps it, with who changed
            // each study last, when, and its revision (saves name the
            // revision they started from).
            QStringLiteral("create table study(id integer primary key, data text not null, "
                           "revision integer not null, changed_by text not null, "
                           "changed_at timestamptz not null default now())"),
            // Every change, for the record.
            QStringLiteral("create table study_change(id bigserial primary key, study_id integer not null, "
                           "revision integer not null, action text not null, changed_by text not null, "
                           "changed_at timestamptz not null default now())"),
            // The three files of a study with their SHA-256, their bytes in
            // chunks.
            QStringLiteral("create table study_file(study_id integer not null references study(id) "
                           "on delete cascade, extension text not null, size bigint not null, "
                           "sha256 text not null, primary key(study_id, extension))"),
            QStringLiteral("create table study_chunk(study_id integer not null, extension text not null, "
                           "seq integer not null, data bytea not null, primary key(study_id, extension, seq), "
                           "foreign key(study_id, extension) references study_file(study_id, extension) "
                           "on delete cascade)"),
            // Stored as they are: study files compress little, and the
            // server's compression slows every upload and fetch.
            QStringLiteral("alter table study_chunk alter column data set storage external"),
            // Who edits a study now, until when (the server's clock).
            QStringLiteral("create table study_lease(study_id integer primary key references study(id) "
                           "on delete cascade, session text not null, workstation text not null, "
                           "user_name text not null, expires_at timestamptz not null)"),
        },
    };
    return steps;
}

} // namespace

TServerDatabase::TServerDatabase(const TServerAddress& address)
{
    static QAtomicInt serial;
    m_name = QStringLiteral("varor-clinic-%1").arg(serial.fetchAndAddRelaxed(1));
    if (!QSqlDatabase::drivers().contains(DriverName))
        throw std::runtime_error(DriverMissingMessage);
    QSqlDatabase database = QSqlDatabase::addDatabase(DriverName, m_name);
    database.setHostName(address.host);
    database.setPort(address.port);
    database.setDatabaseName(address.database);
    database.setUserName(address.user);
    // A server that stops answering is noticed within seconds rather than
    // when the operating system gives the connection up.
    database.setConnectOptions(QStringLiteral("connect_timeout=5;keepalives=1;keepalives_idle=10;"
                                              "keepalives_interval=5;keepalives_count=3;tcp_user_timeout=20000"));
}

std::unique_ptr<TServerDatabase> TServerDatabase::forThisThread(const TServerAddress& address)
{
    try {
        return std::make_unique<TServerDatabase>(address);
    } catch (const std::exception&) {
        return nullptr;
    }
}

TServerDatabase::~TServerDatabase()
{
    disconnect();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase TServerDatabase::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void TServerDatabase::connect()
{
    if (m_connected)
        return;
    QSqlDatabase db = database();
    if (!db.open())
        throw TServerUnreachable(db.lastError().databaseText());
    m_connected = true;
    upgradeSchema();
}

void TServerDatabase::disconnect()
{
    m_connected = false;
    QSqlDatabase db = database();
    if (db.isOpen())
        db.close();
}

void TServerDatabase::fail(const QSqlError& error)
{
    // A refused statement carries the server's SQLSTATE; a broken
    // connection carries none, or one of the connection (08) or
    // shutdown (57P) classes.
    const QString state = error.nativeErrorCode();
    if (state.isEmpty() || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"))) {
        disconnect();
        throw TServerUnreachable();
    }
    throw std::runtime_error(error.text().toStdString());
}

QSqlQuery TServerDatabase::exec(const QString& sql, const QVariantList& values)
{
    if (!m_connected)
        throw TServerUnreachable();
    QSqlQuery query(database());
    query.setForwardOnly(true);
    // The driver prepares on the server, which takes no schema statements:
    // statements without values run directly.
    if (values.isEmpty()) {
        if (!query.exec(sql))
            fail(query.lastError());
        return query;
    }
    if (!query.prepare(sql))
        fail(query.lastError());
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        fail(query.lastError());
    return query;
}

void TServerDatabase::begin()
{
    if (!m_connected)
        throw TServerUnreachable();
    if (!database().transaction())
        fail(database().lastError());
}

void TServerDatabase::commit()
{
    if (!database().commit())
        fail(database().lastError());
}

void TServerDatabase::rollback() noexcept
{
    if (m_connected)
        database().rollback();
}

int TServerDatabase::storedSchemaVersion()
{
    QSqlQuery query = exec(QStringLiteral("select max(version) from varor_schema"));
    return query.next() ? query.value(0).toInt() : 0;
}

void TServerDatabase::upgradeSchema()
{
    begin();
    try {
        exec(QStringLiteral("select pg_advisory_xact_lock(?)"), {SchemaLockKey});
        // Created once, under the lock (an "if not exists" would make the
        // server tell every later connection that it skipped it).
        QSqlQuery present = exec(QStringLiteral("select to_regclass('varor_schema') is not null"));
        if (!present.next() || !present.value(0).toBool())
            exec(QStringLiteral("create table varor_schema(version integer not null)"));
        const int stored = storedSchemaVersion();
        if (stored > SchemaVersion)
            throw std::runtime_error(NewerSchemaMessage);
        for (int version = stored; version < SchemaVersion; ++version) {
            for (const QString& statement : schemaSteps().at(version))
                exec(statement);
            exec(QStringLiteral("insert into varor_schema(version) values (?)"), {version + 1});
        }
        commit();
    } catch (...) {
        rollback();
        disconnect();
        throw;
    }
}
