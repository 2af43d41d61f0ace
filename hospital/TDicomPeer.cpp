#include "hospital/TDicomPeer.h"

#include "settings/TSettings.h"

TDicomPeer TDicomPeer::fromSettings()
{
    TDicomPeer peer;
    peer.localAeTitle = TSettings::text(TSettings::LocalAeTitle).trimmed();
    peer.host = TSettings::text(TSettings::PacsHost).trimmed();
    peer.port = TSettings::whole(TSettings::PacsPort);
    peer.aeTitle = TSettings::text(TSettings::PacsAeTitle).trimmed();
    return peer;
}

QString TDicomPeer::notConfiguredText()
{
    return QStringLiteral("No PACS is configured: set its host, port and AE title");
}
