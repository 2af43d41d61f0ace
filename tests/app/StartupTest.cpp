#include "app/TStartup.h"

#include <QCoreApplication>
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
