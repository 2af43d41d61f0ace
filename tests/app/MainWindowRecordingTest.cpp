// A study quick-started from the main window, recorded from the demo
// recording in the monitor window and opened for review once it stops.
#include "app/MainWindow.h"
#include "settings/TSettings.h"
#include "pipeline/TAnalysisPipeline.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "storage/TStudyFiles.h"
#include "windows/EcgMonitorWindow.h"
#include "windows/EcgReviewWindow.h"

#include "TempDataFolder.h"
#include "tests/settings/TempSettings.h"
#include "WorkingFolder.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The study file of an indexed study, read back from the disk.
std::unique_ptr<TStudy> savedStudy(TLocalStudyStore& store, int id)
{
    TStudyInfo indexed;
    if (!store.getIndexRow(id, indexed))
        return nullptr;
    const QString studyFile = QDir(store.studyDataFolder())
                                  .filePath(QStringLiteral("%1.%2").arg(QString::fromStdString(indexed.baseFilename),
                                                                        TStudyFiles::StudyExtension));
    return store.loadStudyFile(studyFile.toStdString());
}

template <typename T>
T* topLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget))
            return window;
    }
    return nullptr;
}

// The main window in demo mode on a data folder of its own, its store made.
class MainWindowRecording : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
        window.show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return window.store() != nullptr; }, 10000));
    }

    TempSettings settings;
    TempDataFolder data;
    WorkingFolder demo{QStringLiteral(VAROR_DATA_DIR)};
    MainWindow window{nullptr, data.storeFactory()};
};

TEST_F(MainWindowRecording, RecordedStudyOpensForReviewFirstInTheListWithItsRecordingTime)
{
    auto* store = dynamic_cast<TLocalStudyStore*>(window.store());
    ASSERT_NE(store, nullptr);

    // Any message box would stop the run: it is closed and remembered.
    QStringList messages;
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [&messages] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            messages << box->text();
            box->reject();
        }
    });
    boxCloser.start(20);

    window.findChild<QLineEdit*>(QStringLiteral("txtLastNameEcg"))->setText(QStringLiteral("Núñez"));
    auto* firstName = window.findChild<QLineEdit*>(QStringLiteral("txtFirstNameEcg"));
    firstName->setText(QStringLiteral("Ana"));
    // Enter in the quick entry starts the study, as its "Start" button does.
    QTest::keyClick(firstName, Qt::Key_Return);
    QPointer<EcgMonitorWindow> monitor = topLevel<EcgMonitorWindow>();
    ASSERT_NE(monitor, nullptr);
    EXPECT_FALSE(window.isEnabled());
    EXPECT_TRUE(monitor->isFullScreen());

    monitor->findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    // Saved and listed as soon as recording starts, so that a crash keeps both.
    const int id = store->listStudies().front().id;
    const std::unique_ptr<TStudy> started = savedStudy(*store, id);
    ASSERT_NE(started, nullptr);
    EXPECT_TRUE(QDateTime::fromString(QString::fromStdString(started->recordingDateTime()),
                                      QStringLiteral("yyyyMMddHHmmss"))
                    .isValid());
    EXPECT_EQ(started->propertyValue(TStudy::RecordingStateKey), TStudy::RecordingInProgress);
    EXPECT_TRUE(TSettings::list(TSettings::RecentStudyList).value(0).startsWith(QStringLiteral("%1||").arg(id)));
    // A few beats of V5 averaged, so the review has something to show.
    ASSERT_TRUE(QTest::qWaitFor([&monitor] { return monitor->pipeline()->liveAverager()->count(10) >= 3; },
                                120000));
    monitor->findChild<QPushButton*>(QStringLiteral("btnStop"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&monitor] { return monitor.isNull(); }, 10000));

    EXPECT_TRUE(messages.isEmpty()) << messages.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(TSettings::list(TSettings::RecentStudyList).size(), 1);
    EXPECT_TRUE(TSettings::list(TSettings::RecentStudyList)
                    .first()
                    .startsWith(QStringLiteral("%1||").arg(id)));
    EXPECT_TRUE(TSettings::list(TSettings::RecentStudyList).first().endsWith(QStringLiteral("||Núñez||Ana")));
    QPointer<EcgReviewWindow> review = topLevel<EcgReviewWindow>();
    ASSERT_NE(review, nullptr);
    EXPECT_TRUE(store->isStudyOpen(id));

    // Saved when the monitor window went, before the review window.
    const std::unique_ptr<TStudy> saved = savedStudy(*store, id);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->propertyValue(TStudy::RecordingStateKey), "");
    const QDateTime recorded =
        QDateTime::fromString(QString::fromStdString(saved->recordingDateTime()), QStringLiteral("yyyyMMddHHmmss"));
    EXPECT_TRUE(recorded.isValid()) << saved->recordingDateTime();

    review->close();
    ASSERT_TRUE(QTest::qWaitFor([&review] { return review.isNull(); }, 10000));
    EXPECT_FALSE(store->isStudyOpen(id));
}

// Left before recording, the monitor window leaves no empty study behind,
// in the index or in the recent list.
TEST_F(MainWindowRecording, MonitorLeftBeforeRecordingLeavesNoStudy)
{
    TStudyInfo info;
    info.lastName = "Garcia";
    info.firstName = "Ana";
    window.startAcquisition(info);
    QPointer<EcgMonitorWindow> monitor = topLevel<EcgMonitorWindow>();
    ASSERT_NE(monitor, nullptr);
    ASSERT_EQ(window.store()->listStudies().size(), 1u);
    monitor->findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&monitor] { return monitor.isNull(); }, 10000));
    EXPECT_TRUE(window.isEnabled());
    EXPECT_TRUE(window.store()->listStudies().empty());
    EXPECT_TRUE(TSettings::list(TSettings::RecentStudyList).isEmpty());
    EXPECT_EQ(topLevel<EcgReviewWindow>(), nullptr);
}

} // namespace
