#include "app/MainWindow.h"
#include "app/TStartup.h"

#include "TempDataFolder.h"
#include "tests/settings/TempSettings.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(MainWindow, TitleAndVersionFollowTheIdentity)
{
    TempSettings settings;
    TStartup::setIdentity();
    TempDataFolder data;
    MainWindow window(nullptr, data.storeFactory());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Pulsorix ZID OR"));
    auto* version = window.findChild<QLabel*>(QStringLiteral("lblVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("v 1.05b"));
}

TEST(MainWindow, CloseButtonClosesTheWindow)
{
    TempSettings settings;
    TempDataFolder data;
    MainWindow window(nullptr, data.storeFactory());
    window.show();
    auto* close = window.findChild<QPushButton*>(QStringLiteral("btnClose"));
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}
