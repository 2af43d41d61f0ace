#include "app/TStartup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace TStartup {

void setIdentity()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(OrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(ApplicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(ApplicationVersion));
}

void restrictSettingsFile()
{
    const QString path = QSettings().fileName();
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return;  // a folder that cannot be written: QSettings saves nothing there either
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString instanceKey()
{
    return QStringLiteral("%1 %2").arg(QCoreApplication::organizationName(),
                                       QCoreApplication::applicationName());
}

QString alreadyRunningText(const QString& key)
{
    return QCoreApplication::translate("main", "%1 is already running").arg(key);
}

std::vector<std::unique_ptr<QTranslator>> installTranslations(const QString& folder)
{
    static const char* const catalogues[] = {"qt_es", "PulsorixVAROR_es", "varorReport_es"};
    std::vector<std::unique_ptr<QTranslator>> installed;
    for (const char* name : catalogues) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QString::fromLatin1(name), folder)) {
            QCoreApplication::installTranslator(translator.get());
            installed.push_back(std::move(translator));
        }
    }
    return installed;
}

QString styleSheet(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace TStartup
