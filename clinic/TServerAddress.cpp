#include "clinic/TServerAddress.h"

const TSettingKey TServerAddress::StoreKind = {"ClinicServer/StoreKind", QMetaType::QString,
                                                QString::fromLatin1(LocalKind), QString::fromLatin1(LocalKind)};
const TSettingKey TServerAddress::Host = {"ClinicServer/Host", QMetaType::QString, QString(), QString()};
const TSettingKey TServerAddress::Port = {"ClinicServer/Port", QMetaType::Int, 5432, 5432};
const TSettingKey TServerAddress::Database = {"ClinicServer/Database", QMetaType::QString,
                                               QStringLiteral("varor"), QStringLiteral("varor")};
const TSettingKey TServerAddress::User = {"ClinicServer/User", QMetaType::QString, QString(), QString()};

bool TServerAddress::serverChosen()
{
    return TSettings::text(StoreKind) == QLatin1String(ServerKind);
}

TServerAddress TServerAddress::fromSettings()
{
    TServerAddress address;
    address.host = TSettings::text(Host);
    address.port = TSettings::whole(Port);
    address.database = TSettings::text(Database);
    address.user = TSettings::text(User);
    return address;
}

QString TServerAddress::text() const
{
    return QStringLiteral("%1@%2:%3/%4").arg(user, host).arg(port).arg(database);
}
