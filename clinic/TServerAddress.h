#pragma once

#include "settings/TSettings.h"

#include <QString>

// Where the clinic server is: host (a name, an address, or the folder of a
// local socket), port, database and user. No password: libpq takes it from
// the password file (~/.pgpass or PGPASSFILE) or a service file, and TLS
// follows libpq's own settings (sslmode in the service file or PGSSLMODE).
struct TServerAddress
{
    QString host;
    int port = 5432;
    QString database;
    QString user;

    // The study store's kind: "local" (the local data folder, the default)
    // or "server" (the clinic server).
    static const TSettingKey StoreKind;
    static const TSettingKey Host;
    static const TSettingKey Port;
    static const TSettingKey Database;
    static const TSettingKey User;
    static constexpr const char* LocalKind = "local";
    static constexpr const char* ServerKind = "server";

    static bool serverChosen();
    static TServerAddress fromSettings();
    // "user@host:port/database", for messages.
    QString text() const;
};
