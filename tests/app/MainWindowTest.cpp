#include "app/MainWindow.h"
#include "app/TStartup.h"

#include "TempDataFolder.h"
#include "hospital/TDicomPeer.h"
#include "hospital/TPacsOutbox.h"
#include "tests/settings/TempSettings.h"

#include <QDateTime>
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

// A send queued for the hospital's archive before the last exit goes on at
// start-up, before any study window opens: with no archive configured it
// stays queued, never lost, with that reason for the operator.
TEST(MainWindow, QueuedArchiveSendsGoOnFromTheStart)
{
    TempSettings settings;
    TempDataFolder data;
    TPacsOutbox outbox(TPacsOutbox::folderIn(data.path() + QStringLiteral("/PulsorixVAROR")));
    ASSERT_TRUE(outbox.enqueue(7, {{QByteArray("DICM"), QStringLiteral("1.2.3")}}, QDateTime::currentDateTime()));
    MainWindow window(nullptr, data.storeFactory());
    // Tried at once; with no archive configured it waits, queued, saying why.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !outbox.status(7).reason.isEmpty(); }, 20000));
    EXPECT_EQ(outbox.status(7).state, TPacsOutbox::State::Queued) << outbox.status(7).reason.toStdString();
    EXPECT_EQ(outbox.status(7).reason.toStdString(), TDicomPeer::notConfiguredText().toStdString());
}
