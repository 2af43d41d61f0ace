// The open study dialog on the clinic server's store, against a real
// PostgreSQL cluster: two clinic stores stand for two workstations.
#include "tests/clinic/PostgresCluster.h"
#include "tests/windows/StudyDialogsTestSupport.h"

#include "clinic/TServerStudyStore.h"
#include "settings/TSettings.h"
#include "windows/OpenStudyDialog.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// An archive older than the server's version is copied in and kept on
// this workstation in conflict: counted as copied, and said so, not as
// failed.
TEST(OpenStudyDialogClinic, ArchiveOlderThanTheServersVersionIsCountedAsKeptInConflict)
{
    qputenv("USER", "maria");
    TempStorageEnvironment env;
    PostgresCluster cluster;
    TLocalStudyStore local("PulsorixVAROR", env.base());
    const QTemporaryDir caches;
    TServerStudyStore lab(cluster.address(), local, caches.path() + QStringLiteral("/lab"), QStringLiteral("lab"));
    TServerStudyStore office(cluster.address(), local, caches.path() + QStringLiteral("/office"),
                             QStringLiteral("office"));
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* recorded = lab.createStudy(info);
    record(*recorded, 2000, 2);
    lab.closeStudy(recorded);
    const QTemporaryDir shared;
    lab.exportStudy(info.id, shared.path().toStdString());
    local.deleteStudy(info.id);  // as on a workstation without a local copy
    TStudy* reviewed = office.openStudy(info.id);
    ASSERT_NE(reviewed, nullptr);
    reviewed->setProperty("conclusion", "normal");
    office.saveStudy(reviewed);
    office.closeStudy(reviewed);

    TSettings::setValue(TSettings::DefaultSharedFolder, shared.path());
    OpenStudyDialog dialog(nullptr, &lab);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnShare")), Qt::LeftButton);
    auto* remote = dialog.findChild<QTreeWidget*>(QStringLiteral("treeSharedStudies"));
    ASSERT_EQ(remote->topLevelItemCount(), 1);
    remote->setCurrentItem(remote->topLevelItem(0));
    dialogtest::MessageBoxAnswerer answerer;
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnShareImport")), Qt::LeftButton);
    EXPECT_EQ(answerer.messages,
              QStringList{QStringLiteral("|1 of 1 studies were copied to the local folder.\n1 of them changed on the "
                                         "clinic server since the archive was made: kept on this workstation until "
                                         "you choose which version the server keeps.")});
    EXPECT_EQ(lab.conflictCount(), 1);
}

} // namespace
