#pragma once

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

// Points the per-user settings store at an empty temporary folder for the
// life of the object, so tests never see or touch the user's settings.
class TempSettings {
public:
    TempSettings()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Pulsorix"));
        QCoreApplication::setApplicationName(QStringLiteral("VA ROR"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
