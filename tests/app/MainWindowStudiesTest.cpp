// The main window's quick entry, folding panels and recent-study list, on
// temporary settings and a temporary data folder.
#include "app/MainWindow.h"
#include "settings/TSettings.h"
#include "windows/StudyDialog.h"

#include "TempDataFolder.h"
#include "tests/settings/TempSettings.h"
#include "WorkingFolder.h"

#include <QApplication>
#include <QDateTime>
#include <QFrame>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString entry(int id)
{
    return QStringLiteral("%1||20260105120000||Last%1||First%1").arg(id);
}

class MainWindowStudies : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = std::make_unique<MainWindow>(nullptr, m_data.storeFactory());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_window->store() != nullptr; }, 10000));
        ASSERT_TRUE(m_window->isEnabled());
    }

    template <typename T>
    T* child(const char* name) const
    {
        auto* widget = m_window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QTreeWidget* tree() const { return child<QTreeWidget>("treeStudies"); }
    QStringList storedList() const { return TSettings::list(TSettings::RecentStudyList); }

    TempSettings m_settings;
    TempDataFolder m_data;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowStudies, StartUpCreatesTheStoreInTheGivenFolder)
{
    EXPECT_EQ(QString::fromStdString(m_window->store()->dataPath()),
              m_data.path() + QStringLiteral("/PulsorixVAROR"));
}

TEST_F(MainWindowStudies, StartNeedsBothTrimmedNames)
{
    auto* start = child<QPushButton>("btnStartEcg");
    auto* last = child<QLineEdit>("txtLastNameEcg");
    auto* first = child<QLineEdit>("txtFirstNameEcg");
    EXPECT_FALSE(start->isEnabled());
    QTest::keyClicks(last, QStringLiteral("Garcia"));
    EXPECT_FALSE(start->isEnabled()) << "first name blank";
    QTest::keyClicks(first, QStringLiteral("   "));
    EXPECT_FALSE(start->isEnabled()) << "first name only blanks";
    QTest::keyClicks(first, QStringLiteral("Ana"));
    EXPECT_TRUE(start->isEnabled());
    last->selectAll();
    QTest::keyClicks(last, QStringLiteral(" "));
    EXPECT_FALSE(start->isEnabled()) << "last name only blanks";
}

TEST_F(MainWindowStudies, RecentListKeepsTenAndShowsFive)
{
    for (int id = 1; id <= 12; ++id)
        MainWindow::addRecentStudy(id, QStringLiteral("20260105120000"), QStringLiteral("Last%1").arg(id),
                                   QStringLiteral("First%1").arg(id));
    const QStringList stored = storedList();
    ASSERT_EQ(stored.size(), 10);
    EXPECT_EQ(stored.first(), QStringLiteral("12||20260105120000||Last12||First12"));
    EXPECT_EQ(stored.last(), QStringLiteral("3||20260105120000||Last3||First3"));

    m_window->loadRecentStudies();
    ASSERT_EQ(tree()->topLevelItemCount(), 5);
    EXPECT_TRUE(tree()->isColumnHidden(0));
    const QTreeWidgetItem* newest = tree()->topLevelItem(0);
    EXPECT_EQ(newest->data(0, Qt::DisplayRole).toInt(), 12);
    EXPECT_EQ(newest->text(1), QStringLiteral("Last12, First12"));
    EXPECT_EQ(newest->data(2, Qt::DisplayRole).toDateTime(), QDateTime(QDate(2026, 1, 5), QTime(12, 0)));
    EXPECT_EQ(tree()->topLevelItem(4)->data(0, Qt::DisplayRole).toInt(), 8);
}

TEST_F(MainWindowStudies, EntriesWithoutFourPartsAreSkippedAndKept)
{
    const QStringList list{QStringLiteral("7||20260101120000||Three"), entry(2),
                           QStringLiteral("9||20260101120000||A||B||Five")};
    TSettings::setValue(TSettings::RecentStudyList, list);
    m_window->loadRecentStudies();
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_EQ(tree()->topLevelItem(0)->data(0, Qt::DisplayRole).toInt(), 2);
    EXPECT_TRUE(tree()->topLevelItem(0)->data(2, Qt::DisplayRole).toDateTime().isValid());
    EXPECT_EQ(storedList(), list);
}

TEST_F(MainWindowStudies, RemovingAStudyMatchesTheWholeId)
{
    TSettings::setValue(TSettings::RecentStudyList, QStringList{entry(12), entry(1)});
    MainWindow::removeRecentStudy(12);
    EXPECT_EQ(storedList(), QStringList{entry(1)});

    TSettings::setValue(TSettings::RecentStudyList, QStringList{entry(1), entry(12)});
    MainWindow::removeRecentStudy(1);
    EXPECT_EQ(storedList(), QStringList{entry(12)});
}

TEST_F(MainWindowStudies, OpenButtonFollowsTheCurrentRecentStudy)
{
    TSettings::setValue(TSettings::RecentStudyList, QStringList{entry(3), entry(4)});
    QTest::mouseClick(child<QPushButton>("btnOpenStudy"), Qt::LeftButton);
    EXPECT_TRUE(child<QFrame>("frameOpenStudy")->isVisible());
    EXPECT_EQ(tree()->topLevelItemCount(), 2);
    auto* open = child<QPushButton>("btnOpenOK");
    tree()->setCurrentItem(tree()->topLevelItem(1));
    EXPECT_TRUE(open->isEnabled());
    tree()->setCurrentItem(nullptr);
    EXPECT_FALSE(open->isEnabled());
}

TEST_F(MainWindowStudies, PanelsFoldOneAnother)
{
    auto* ecg = child<QFrame>("frameEcg");
    auto* openStudy = child<QFrame>("frameOpenStudy");
    EXPECT_FALSE(ecg->isVisible());
    EXPECT_FALSE(openStudy->isVisible());
    QTest::mouseClick(child<QPushButton>("btnNewStudyEcg"), Qt::LeftButton);
    EXPECT_TRUE(ecg->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([ecg] { return ecg->maximumHeight() == 90; }, 5000));
    QTest::mouseClick(child<QPushButton>("btnOpenStudy"), Qt::LeftButton);
    EXPECT_TRUE(openStudy->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([ecg] { return !ecg->isVisible(); }, 5000));
    EXPECT_EQ(ecg->maximumHeight(), 0);
    EXPECT_TRUE(QTest::qWaitFor([openStudy] { return openStudy->maximumHeight() >= 90; }, 5000));
}

TEST_F(MainWindowStudies, RecentStudiesShowWholeNamesAllAtOnce)
{
    for (int id = 1; id <= 5; ++id)
        MainWindow::addRecentStudy(id, QStringLiteral("20260105120000"),
                                   QStringLiteral("Fernández-Castellanos %1").arg(id), QStringLiteral("María José"));
    QTest::mouseClick(child<QPushButton>("btnOpenStudy"), Qt::LeftButton);
    const QTreeWidgetItem* last = tree()->topLevelItem(4);
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return tree()->visualItemRect(last).bottom() < tree()->viewport()->height(); }, 5000))
        << "the fifth study is in sight without scrolling";
    EXPECT_LT(tree()->fontMetrics().horizontalAdvance(last->text(1)), tree()->columnWidth(1)) << "the whole name";
}

TEST_F(MainWindowStudies, NewStudyPressedTwiceOpensTheStudyDialog)
{
    bool dialogShown = false;
    auto* closer = new QTimer(m_window.get());
    QObject::connect(closer, &QTimer::timeout, [&dialogShown] {
        if (auto* dialog = qobject_cast<StudyDialog*>(QApplication::activeModalWidget())) {
            dialogShown = true;
            dialog->reject();
        }
    });
    closer->start(10);
    auto* newStudy = child<QPushButton>("btnNewStudyEcg");
    QTest::mouseClick(newStudy, Qt::LeftButton);
    EXPECT_FALSE(dialogShown) << "the first press only opens the panel";
    QTest::mouseClick(newStudy, Qt::LeftButton);
    EXPECT_TRUE(dialogShown);
    EXPECT_TRUE(child<QFrame>("frameEcg")->isVisible());
}

TEST_F(MainWindowStudies, ASourceThatCannotStartIsReportedAndNoStudyIsLeft)
{
    // The demo recording is not in the data folder.
    WorkingFolder empty(m_data.path());
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    QString title;
    QString message;
    QTimer::singleShot(0, [&title, &message] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            message = box->text();
            box->reject();
        }
    });
    TStudyInfo info;
    info.lastName = "Garcia";
    info.firstName = "Ana";
    m_window->startAcquisition(info);
    EXPECT_EQ(title, QStringLiteral("Error"));
    EXPECT_EQ(message, QStringLiteral("Cannot open file"));
    EXPECT_TRUE(m_window->isEnabled());
    EXPECT_TRUE(m_window->store()->listStudies().empty());
}

} // namespace
