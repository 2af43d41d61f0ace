#pragma once

#include "clinic/TServerAddress.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <memory>
#include <stdexcept>

// The clinic server could not be reached, or its connection broke.
class TServerUnreachable : public std::runtime_error
{
public:
    static constexpr const char* Message = "The clinic server cannot be reached";
    // With the driver's reason when there is one (a refused password, an
    // unknown host).
    explicit TServerUnreachable(const QString& reason = QString())
        : std::runtime_error(reason.trimmed().isEmpty() ? std::string(Message)
                                                        : std::string(Message) + ": " + reason.trimmed().toStdString())
    {
    }
};

// One connection to the clinic server (Qt's QPSQL driver under its own
// connection name, so that several can live in one process) and the
// archive's schema, which the first connection creates and every
// connection brings up to the version this program knows, one step at a
// time under an advisory lock (two workstations starting together upgrade
// it once). A statement that fails because the connection broke closes it
// and throws TServerUnreachable; other failures throw the server's text.
class TServerDatabase
{
public:
    static constexpr int SchemaVersion = 1;
    static constexpr const char* NewerSchemaMessage =
        "The archive on the clinic server belongs to a newer version of this program";
    static constexpr const char* DriverMissingMessage = "PostgreSQL driver not available";

    explicit TServerDatabase(const TServerAddress& address);
    ~TServerDatabase();
    // A connection for the calling thread (a connection serves only the
    // thread that made it), or none without the driver.
    static std::unique_ptr<TServerDatabase> forThisThread(const TServerAddress& address);
    TServerDatabase(const TServerDatabase&) = delete;
    TServerDatabase& operator=(const TServerDatabase&) = delete;

    // Opens the connection and brings the schema up to date; throws
    // TServerUnreachable when the server does not answer.
    void connect();
    void disconnect();
    bool isConnected() const { return m_connected; }

    QSqlDatabase database() const;
    // Prepares and runs a statement with positional values.
    QSqlQuery exec(const QString& sql, const QVariantList& values = {});
    void begin();
    void commit();
    // Never throws: it runs on the way out of a failure.
    void rollback() noexcept;

    // The schema version recorded on the server (0 before the first start).
    int storedSchemaVersion();

private:
    void upgradeSchema();
    [[noreturn]] void fail(const QSqlError& error);

    QString m_name;
    bool m_connected = false;
};
