#include "app/TStartup.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Startup, IdentityNamesTheInstanceKeyAndMessage)
{
    TStartup::setIdentity();
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Pulsorix"));
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("VA ROR"));
    EXPECT_EQ(QCoreApplication::applicationVersion(), QStringLiteral("1.05b"));
    EXPECT_EQ(TStartup::instanceKey(), QStringLiteral("Pulsorix VA ROR"));
    EXPECT_EQ(TStartup::alreadyRunningText(TStartup::instanceKey()),
              QStringLiteral("Pulsorix VA ROR is already running"));
}

TEST(Startup, StyleSheetsAreCompiledIn)
{
    const QString dark = TStartup::styleSheet(QString::fromLatin1(TStartup::DarkStyleSheet));
    const QString light = TStartup::styleSheet(QString::fromLatin1(TStartup::LightStyleSheet));
    EXPECT_TRUE(dark.contains(QStringLiteral("QPushButton")));
    EXPECT_TRUE(light.contains(QStringLiteral("QPushButton")));
    EXPECT_NE(dark, light);
}

TEST(Startup, MissingStyleSheetIsEmpty)
{
    EXPECT_TRUE(TStartup::styleSheet(QStringLiteral(":/styles/none.css")).isEmpty());
}

TEST(Startup, MissingCataloguesAreSkipped)
{
    QTemporaryDir empty;
    EXPECT_TRUE(TStartup::installTranslations(empty.path()).empty());
}

// The settings list recent studies by their patients' names.
TEST(Startup, SettingsFileIsItsOwnersOnly)
{
    QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    TStartup::setIdentity();
    const QString path = QSettings().fileName();
    const auto openToOthers = [&path] { return QFileInfo(path).permissions() & 0x0077; };
    TStartup::restrictSettingsFile();
    {
        QSettings settings;
        settings.setValue(QStringLiteral("Config/RecentStudies"), QStringLiteral("Garcia, Ana"));
        settings.sync();
        ASSERT_EQ(settings.status(), QSettings::NoError);
    }
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(openToOthers(), 0) << "made so";
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    TStartup::restrictSettingsFile();
    EXPECT_EQ(openToOthers(), 0) << "tightened";
    EXPECT_EQ(QSettings().value(QStringLiteral("Config/RecentStudies")).toString(), QStringLiteral("Garcia, Ana"));
}
