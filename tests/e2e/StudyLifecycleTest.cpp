// The whole application on the demo recording, as an operator uses it: a
// study quick-started from the main window, recorded for more than 40 s,
// reviewed, reported to PDF, reopened from the open study dialog, exported
// to a shared folder and imported into a second, empty data folder, where it
// reviews with the same results. The windows met on the way are rendered
// into the build folder (renderings/*.png) to be looked at.
#include "app/MainWindow.h"
#include "app/TSettings.h"
#include "app/TStartup.h"
#include "analysis/TAnalysisPipeline.h"
#include "analysis/TLatePotentials.h"
#include "analysis/TLiveBeatAverager.h"
#include "analysis/TSignal.h"
#include "storage/TEcgFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "windows/EcgMonitorWindow.h"
#include "windows/EcgReviewWindow.h"
#include "windows/OpenStudyDialog.h"
#include "report/ReportDialog.h"

#include "tests/app/TempDataFolder.h"
#include "tests/app/TempSettings.h"
#include "tests/app/WorkingFolder.h"
#include "tests/report/engine/PdfTools.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int RecordedSamples = 41000; // at 1000 Hz, a little over 40 s
constexpr int LongWaitMs = 120000;
const char* const MarkNames[] = {"POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset", "TOnset", "TOffset"};

template <typename T>
T* topLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

template <typename T>
T* child(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(std::string("No child ") + name);
    return found;
}

void click(const QObject& parent, const char* name)
{
    child<QPushButton>(parent, name)->click();
}

// Runs `handle` on the next modal dialog of type T once it shows (the code
// under test opens it with exec()); `handle` must close it.
template <typename T>
void onNextModal(std::function<void(T*)> handle)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, handle] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            handle(dialog);
        }
    });
    poll->start(20);
}

// Every message box is remembered and closed, so that none stops the run
// unseen; the test expects none.
class MessageBoxWatch {
public:
    MessageBoxWatch()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages << box->windowTitle() + QLatin1Char('|') + box->text();
                box->reject();
            }
        });
        m_timer.start(20);
    }

    QStringList messages;

private:
    QTimer m_timer;
};

// What the review window found in a study: the numbers the operator reads.
struct ReviewResults {
    int ecgSamples = 0;
    std::vector<int> averagedBeats; // per lead
    std::array<double, 7> marks{};
    int qrsd = 0;
    int rms = 0;
    int las = 0;

    bool operator==(const ReviewResults& other) const
    {
        return ecgSamples == other.ecgSamples && averagedBeats == other.averagedBeats && marks == other.marks &&
               qrsd == other.qrsd && rms == other.rms && las == other.las;
    }
};

ReviewResults resultsOf(const EcgReviewWindow& review, const TStudy& study)
{
    ReviewResults results;
    results.ecgSamples = study.ecgFile()->appendedCount();
    for (int lead = 0; lead < study.ecgFile()->channelCount(); ++lead)
        results.averagedBeats.push_back(review.mainAverager().count(lead));
    for (std::size_t mark = 0; mark < results.marks.size(); ++mark) {
        const TWaveMark* found = study.results().find(QLatin1String(MarkNames[mark]));
        results.marks[mark] = found ? found->value() : 0.0;
    }
    results.qrsd = review.latePotentials().QRSD();
    results.rms = review.latePotentials().RMS();
    results.las = review.latePotentials().LAS();
    return results;
}

std::ostream& operator<<(std::ostream& out, const ReviewResults& results)
{
    out << "samples " << results.ecgSamples << ", beats";
    for (int count : results.averagedBeats)
        out << ' ' << count;
    out << ", marks";
    for (double mark : results.marks)
        out << ' ' << mark;
    return out << ", QRSD " << results.qrsd << " RMS " << results.rms << " LAS " << results.las;
}

QString renderPath(const QString& name)
{
    QDir().mkpath(QStringLiteral(VAROR_RENDER_DIR));
    return QStringLiteral(VAROR_RENDER_DIR "/%1.png").arg(name);
}

void render(QWidget& widget, const QString& name)
{
    QTest::qWait(300);
    EXPECT_TRUE(widget.grab().save(renderPath(name))) << name.toStdString();
}

// The review window open on screen, once its analysis run is done.
QPointer<EcgReviewWindow> analysedReviewWindow()
{
    QPointer<EcgReviewWindow> review;
    const bool shown = QTest::qWaitFor(
        [&review] {
            review = topLevel<EcgReviewWindow>();
            return review && review->isAnalysed();
        },
        LongWaitMs);
    return shown ? review : nullptr;
}

void closeReview(QPointer<EcgReviewWindow>& review)
{
    review->close();
    ASSERT_TRUE(QTest::qWaitFor([&review] { return review.isNull(); }, 10000));
}

// Quick start, record past RecordedSamples, stop: the review window opens.
void recordStudy(MainWindow& window, const QString& lastName, const QString& firstName)
{
    child<QLineEdit>(window, "txtLastNameEcg")->setText(lastName);
    child<QLineEdit>(window, "txtFirstNameEcg")->setText(firstName);
    click(window, "btnStartEcg");
    QPointer<EcgMonitorWindow> monitor = topLevel<EcgMonitorWindow>();
    ASSERT_NE(monitor, nullptr);
    click(*monitor, "btnStart");
    ASSERT_TRUE(QTest::qWaitFor(
        [&monitor] {
            const TAnalysisPipeline* pipeline = monitor->pipeline();
            return pipeline->rawSignal()->appendedCount() - pipeline->recordingStart() >= RecordedSamples;
        },
        LongWaitMs));
    render(*monitor, QStringLiteral("e2e_monitor_recording"));
    click(*monitor, "btnStop");
    ASSERT_TRUE(QTest::qWaitFor([&monitor] { return monitor.isNull(); }, 10000));
}

// Report dialog from the review window, PDF into the data folder.
void createPdfReport(EcgReviewWindow& review)
{
    onNextModal<ReportDialog>([](ReportDialog* dialog) {
        child<QRadioButton>(*dialog, "rbtPrintToPDF")->setChecked(true);
        click(*dialog, "btnCreate");
    });
    click(review, "btnReport");
}

// The open study dialog from the main window's open panel (shown first when
// it is folded); `work` runs in the dialog and closes it.
void inOpenStudyDialog(MainWindow& window, std::function<void(OpenStudyDialog*)> work)
{
    if (!child<QWidget>(window, "frameOpenStudy")->isVisible())
        click(window, "btnOpenStudy");
    onNextModal<OpenStudyDialog>(std::move(work));
    click(window, "btnOpenMore");
}

QTreeWidgetItem* onlyItem(const OpenStudyDialog& dialog, const char* tree)
{
    auto* list = child<QTreeWidget>(dialog, tree);
    return list->topLevelItemCount() == 1 ? list->topLevelItem(0) : nullptr;
}

void openOnlyStudy(OpenStudyDialog* dialog)
{
    QTreeWidgetItem* item = onlyItem(*dialog, "treeStudies");
    if (!item) {
        ADD_FAILURE() << "one local study expected";
        dialog->reject();
        return;
    }
    auto* tree = child<QTreeWidget>(*dialog, "treeStudies");
    tree->setCurrentItem(item);
    emit tree->itemDoubleClicked(item, 0);
}

std::unique_ptr<MainWindow> startMainWindow(const TempDataFolder& data)
{
    auto window = std::make_unique<MainWindow>(nullptr, data.storeFactory());
    window->show();
    if (!QTest::qWaitFor([&window] { return window->store() != nullptr; }, 10000))
        return nullptr;
    return window;
}

TEST(StudyLifecycle, RecordReviewReportReopenExportAndImportElsewhere)
{
    // Identity and looks as the application starts with them.
    TempSettings settings;
    TStartup::setIdentity();
    qApp->setStyleSheet(TStartup::styleSheet(QString::fromLatin1(TStartup::DarkStyleSheet)));
    WorkingFolder demo(QStringLiteral(VAROR_DATA_DIR));
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    QTemporaryDir shared;
    TSettings::setValue(TSettings::DefaultSharedFolder, shared.path());
    MessageBoxWatch boxes;

    TempDataFolder firstData;
    std::unique_ptr<MainWindow> window = startMainWindow(firstData);
    ASSERT_NE(window, nullptr);
    render(*window, QStringLiteral("e2e_main"));
    recordStudy(*window, QStringLiteral("Núñez"), QStringLiteral("Ana"));

    // Review right after the recording: beats averaged, automatic marks in
    // order, late potentials measured.
    QPointer<EcgReviewWindow> review = analysedReviewWindow();
    ASSERT_NE(review, nullptr);
    TLocalStudyStore& store = dynamic_cast<TLocalStudyStore&>(*window->store());
    const int id = store.listStudies().front().id;
    // The store answers the study open in the review window; the window
    // closes it.
    TStudy* study = store.openStudy(id);
    ASSERT_NE(study, nullptr);
    const ReviewResults recorded = resultsOf(*review, *study);
    EXPECT_GE(recorded.ecgSamples, 40000);
    EXPECT_GE(review->mainAverager().count(10), 30) << recorded; // V5, about 45 beats in 41 s
    for (std::size_t mark = 0; mark < recorded.marks.size(); ++mark)
        EXPECT_NE(recorded.marks[mark], 0.0) << MarkNames[mark];
    EXPECT_LT(recorded.marks[0], recorded.marks[1]);
    EXPECT_LT(recorded.marks[1], recorded.marks[3]);
    EXPECT_LT(recorded.marks[3], recorded.marks[4]);
    EXPECT_LT(recorded.marks[4], recorded.marks[5]);
    EXPECT_LT(recorded.marks[5], recorded.marks[6]);
    EXPECT_GT(recorded.qrsd, 50) << recorded;
    EXPECT_LT(recorded.qrsd, 200) << recorded;
    EXPECT_GT(recorded.rms, 0) << recorded;
    EXPECT_GE(recorded.las, 0) << recorded;
    // Rendered at a common laptop size rather than the offscreen screen's.
    review->resize(1366, 768);
    auto* tabs = child<QTabWidget>(*review, "tabWidget");
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        render(*review, QStringLiteral("e2e_review_tab%1").arg(tab + 1));
    }

    // The PDF report, written into the data folder's reports.
    createPdfReport(*review);
    const QString pdf = QStringLiteral("%1/reports/%2.pdf")
                            .arg(QString::fromStdString(store.dataPath()),
                                 QString::fromStdString(study->propertyValue("baseFilename")));
    ASSERT_TRUE(QFileInfo::exists(pdf)) << pdf.toStdString();
    const int pages = PdfTools::pageCount(pdf);
    EXPECT_GE(pages, 2);
    QString text;
    for (int page = 1; page <= pages; ++page)
        text += PdfTools::pageText(pdf, page) + QLatin1Char('\n');
    EXPECT_TRUE(text.contains(QStringLiteral("Núñez"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("QRSD"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::number(recorded.qrsd))) << text.toStdString();
    EXPECT_EQ(study->propertyValue("status"), "report");
    closeReview(review);
    EXPECT_FALSE(store.isStudyOpen(id));

    // Reopened from the open study dialog: marks restored as stored, the
    // same averaged beats and late potentials.
    inOpenStudyDialog(*window, openOnlyStudy);
    review = analysedReviewWindow();
    ASSERT_NE(review, nullptr);
    study = store.openStudy(id);
    EXPECT_EQ(resultsOf(*review, *study), recorded);
    closeReview(review);

    // Exported to the shared folder.
    inOpenStudyDialog(*window, [](OpenStudyDialog* dialog) {
        click(*dialog, "btnShare");
        child<QTreeWidget>(*dialog, "treeStudies")->setCurrentItem(onlyItem(*dialog, "treeStudies"));
        click(*dialog, "btnShareExport");
        EXPECT_NE(onlyItem(*dialog, "treeSharedStudies"), nullptr);
        dialog->reject();
    });
    ASSERT_EQ(QDir(shared.path()).entryList({QStringLiteral("*.pxz")}).size(), 1);
    window.reset();

    // Imported into an empty data folder, where it reviews alike.
    TempDataFolder secondData;
    window = startMainWindow(secondData);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->store()->listStudies().empty());
    inOpenStudyDialog(*window, [](OpenStudyDialog* dialog) {
        click(*dialog, "btnShare");
        child<QTreeWidget>(*dialog, "treeSharedStudies")->setCurrentItem(onlyItem(*dialog, "treeSharedStudies"));
        click(*dialog, "btnShareImport");
        openOnlyStudy(dialog);
    });
    review = analysedReviewWindow();
    ASSERT_NE(review, nullptr);
    TStudyStore& imported = *window->store();
    ASSERT_EQ(imported.listStudies().size(), 1u);
    EXPECT_EQ(imported.listStudies().front().id, id);
    study = imported.openStudy(id);
    ASSERT_NE(study, nullptr);
    EXPECT_EQ(study->propertyValue("patient/lastName"), "Núñez");
    EXPECT_EQ(resultsOf(*review, *study), recorded);
    closeReview(review);

    EXPECT_TRUE(boxes.messages.isEmpty()) << boxes.messages.join(QLatin1Char('\n')).toStdString();
    qApp->setStyleSheet(QString());
}

} // namespace
