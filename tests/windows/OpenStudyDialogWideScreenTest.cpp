// The open study dialog on a wide screen, where it has room to grow for the
// columns of both its lists.
#include "StudyDialogsTestSupport.h"

#include "settings/TSettings.h"
#include "windows/OpenStudyDialog.h"

#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

// A shared list filled after it was shown, here by a copy, reads in full:
// the dialog grows for its columns rather than leave the date to a scroll.
TEST(OpenStudyDialogWideScreen, ASharedListFilledAfterBeingShownReadsInFull)
{
    dialogtest::StoreFixture fixture;
    QTemporaryDir shared;
    TSettings::setValue(TSettings::DefaultSharedFolder, shared.path());
    fixture.addStudy("Ana", "Garcia", "20140312103000");
    OpenStudyDialog dialog(nullptr, fixture.store.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialogtest::settle();
    const auto click = [&](const char* button) {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
    };
    click("btnShare");
    auto* remote = dialog.findChild<QTreeWidget*>(QStringLiteral("treeSharedStudies"));
    ASSERT_EQ(remote->topLevelItemCount(), 0);

    auto* local = dialog.findChild<QTreeWidget*>(QStringLiteral("treeStudies"));
    local->setCurrentItem(local->topLevelItem(0));
    const dialogtest::MessageBoxAnswerer answerer;
    click("btnShareExport");
    ASSERT_EQ(remote->topLevelItemCount(), 1);
    dialogtest::settle();
    ASSERT_LT(dialog.frameGeometry().width(), dialog.screen()->availableGeometry().width()) << "room to spare";
    EXPECT_EQ(remote->horizontalScrollBar()->maximum(), 0);
}
