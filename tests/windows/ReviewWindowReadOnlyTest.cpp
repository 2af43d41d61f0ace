// The review window on a study another workstation edits, against a real
// PostgreSQL cluster: two clinic stores stand for two workstations.
#include "tests/clinic/PostgresCluster.h"
#include "tests/windows/ReviewTestSupport.h"

#include "clinic/TServerStudyStore.h"
#include "windows/EcgReviewWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace reviewtest;

namespace {

// The second workstation sees at once that its review is not kept, and
// who edits the study; what would save is off. The holder's window is as
// ever.
TEST(ReviewWindowReadOnly, SecondWorkstationSeesWhoHoldsTheStudyAndCannotSave)
{
    qputenv("USER", "maria");
    ReviewStudy recorded;
    PostgresCluster cluster;
    const int id = recorded.study()->id();
    TStudyInfo info;
    ASSERT_TRUE(recorded.store().getIndexRow(id, info));
    {
        TServerDatabase database(cluster.address());
        database.connect();
        TServerArchive(database, "maria on lab").uploadVerified(info, recorded.dataFolder(), 0);
    }
    const QTemporaryDir caches;
    TServerStudyStore lab(cluster.address(), recorded.store(), caches.path() + QStringLiteral("/lab"),
                          QStringLiteral("lab"));
    TServerStudyStore office(cluster.address(), recorded.store(), caches.path() + QStringLiteral("/office"),
                             QStringLiteral("office"));
    TStudy* held = lab.openStudy(id);
    TStudy* seen = office.openStudy(id);
    ASSERT_NE(held, nullptr);
    ASSERT_NE(seen, nullptr);

    EcgReviewWindow readOnly(nullptr, seen, &office);
    readOnly.resize(1280, 800);
    readOnly.show();
    EXPECT_TRUE(readOnly.windowTitle().endsWith(QStringLiteral(" - read-only"))) << readOnly.windowTitle().toStdString();
    const auto* banner = child<QLabel>(readOnly, "lblReadOnly");
    EXPECT_TRUE(banner->isVisible());
    EXPECT_TRUE(banner->text().contains(QStringLiteral("maria on lab"))) << banner->text().toStdString();
    EXPECT_LT(banner->height(), readOnly.height() / 10);
    for (const char* saving : {"btnStudyData", "btnReport", "btnSendToPacs"})
        EXPECT_FALSE(child<QPushButton>(readOnly, saving)->isEnabled()) << saving;
    EXPECT_TRUE(child<QTextEdit>(readOnly, "textConclusion")->isReadOnly());

    EcgReviewWindow editing(nullptr, held, &lab);
    EXPECT_EQ(editing.findChild<QLabel*>(QStringLiteral("lblReadOnly")), nullptr);
    EXPECT_TRUE(child<QPushButton>(editing, "btnStudyData")->isEnabled());
    EXPECT_FALSE(child<QTextEdit>(editing, "textConclusion")->isReadOnly());
}

} // namespace
