// The whole application on the demo recording, as an operator uses it: a
// study quick-started from the main window, recorded for more than 40 s,
// reviewed, reported to PDF, reopened from the open study dialog, exported
// to a shared folder and imported into a second, empty data folder, where it
// reviews with the same results. The windows met on the way are rendered
// into the build folder (renderings/*.png) to be looked at.
#include "tests/e2e/E2eSupport.h"

#include "settings/TSettings.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/latepotentials/TLatePotentialsAssessment.h"
#include "pipeline/TLatePotentialLimits.h"
#include "pipeline/TStudyLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "storage/TEcgFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "windows/OpenStudyDialog.h"
#include "report/ReportDialog.h"

#include "tests/settings/TempSettings.h"
#include "tests/app/WorkingFolder.h"
#include "tests/report/engine/PdfTools.h"

#include <QDir>
#include <QFileInfo>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using namespace e2e;

constexpr int RecordedSamples = 41000; // at 1000 Hz, a little over 40 s
const char* const MarkNames[] = {"POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset", "TOnset", "TOffset"};

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

// Report dialog from the review window, PDF into the data folder.
void createPdfReport(EcgReviewWindow& review)
{
    onNextModal<ReportDialog>([](ReportDialog* dialog) {
        child<QRadioButton>(*dialog, "rbtPrintToPDF")->setChecked(true);
        click(*dialog, "btnCreate");
    });
    click(review, "btnReport");
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

TEST(StudyLifecycle, RecordReviewReportReopenExportAndImportElsewhere)
{
    TempSettings settings;
    ApplicationLooks looks;
    WorkingFolder demo(QStringLiteral(VAROR_DATA_DIR));
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    QTemporaryDir shared;
    TSettings::setValue(TSettings::DefaultSharedFolder, shared.path());
    MessageBoxWatch boxes;

    TempDataFolder firstData;
    std::unique_ptr<MainWindow> window = startMainWindow(firstData);
    ASSERT_NE(window, nullptr);
    render(*window, QStringLiteral("e2e_main"));
    recordStudy(*window, QStringLiteral("Núñez"), QStringLiteral("Ana"), RecordedSamples,
                QStringLiteral("e2e_monitor_recording"));

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
    // The late-potential verdict of the window, with its noise and beats.
    const TLatePotentialsAssessment assessment =
        TStudyLatePotentials::assess(*study, review->latePotentials(), TLatePotentialLimits::fromSettings());
    EXPECT_TRUE(text.contains(QStringLiteral("Ruido: %1 uV").arg(assessment.noiseMicrovolts, 0, 'f', 2)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Latidos promediados: %1").arg(assessment.beatsAveraged)))
        << text.toStdString();
    const char* verdicts[] = {"positivo", "negativo", "no valorable"};
    EXPECT_TRUE(text.contains(QStringLiteral("Potenciales tardíos: ")
                              + QLatin1String(verdicts[int(assessment.verdict)])))
        << text.toStdString();
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

    // No failure: a message says where the report went, as no desktop
    // opens it here, and each copy reports its result.
    ASSERT_EQ(boxes.messages.size(), 3) << boxes.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(boxes.messages[0].startsWith(QStringLiteral("Report saved|"))) << boxes.messages[0].toStdString();
    EXPECT_EQ(boxes.messages.mid(1), (QStringList{QStringLiteral("|1 of 1 studies were copied to the shared folder."),
                                                  QStringLiteral("|1 of 1 studies were copied to the local folder.")}));
}

} // namespace
