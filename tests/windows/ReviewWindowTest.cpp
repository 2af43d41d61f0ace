// The review window on a study recorded from the demo recording through the
// acquisition pipeline, with settings and data in temporary folders.
#include "tests/windows/ReviewTestSupport.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/beats/TIntervalMeasures.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/beats/TMultiLeadDelineator.h"
#include "analysis/filters/TReviewFilterChain.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/beats/TWaveDelineator.h"
#include "settings/TSettings.h"
#include "display/QBeatDisplayZoom.h"
#include "display/QHRECGDisplay.h"
#include "display/QSignalBrowseDisplay.h"
#include "display/TBeatTimeline.h"
#include "report/ReportDialog.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "tests/display/DisplayTestSupport.h"
#include "windows/EcgReviewWindow.h"
#include "windows/StudyDialog.h"
#include "windows/TClippedSampleRuns.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

using namespace reviewtest;

namespace {

constexpr int LeadII = 1;
constexpr int LeadV1 = 6;
constexpr int LeadV2 = 7;
constexpr int LeadV5 = 10;
constexpr int LeadV6 = 11;
constexpr std::array<const char*, 7> MarkNames = {
    "POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset", "TOnset", "TOffset",
};
// Seconds from the first sample of a 1000 Hz averaged beat to its centre.
constexpr double AlignmentTime = 0.5;

QBeatDisplayZoom* beatDisplay(const EcgReviewWindow& window)
{
    return child<QBeatDisplayZoom>(window, "beatDisplayZoom");
}

QSignalBrowseDisplay* browseDisplay(const EcgReviewWindow& window)
{
    return child<QSignalBrowseDisplay>(window, "ecgDisplay1");
}

QString text(const EcgReviewWindow& window, const char* label)
{
    return child<QLabel>(window, label)->text();
}

void click(const EcgReviewWindow& window, const char* button)
{
    child<QAbstractButton>(window, button)->click();
}

// The sample positions of the delineation of a lead, in marker order.
std::array<int, 7> delineatedMarks(const EcgReviewWindow& window, int lead)
{
    const TWaveDelineation found = TWaveDelineator().delineate(window.mainAverager(), lead);
    return {found.pOnset, found.pOffset, found.pPeak, found.qrsOnset, found.qrsOffset, found.tOnset, found.tOffset};
}

// The automatic marks of a lead are on the beat display and in the
// results: its own P offset, P peak and T onset, and the P onset, QRS
// limits and T offset found over all leads, from which the intervals are
// measured, so that the brackets and the figures agree.
void expectAutomaticMarks(const EcgReviewWindow& window, const ReviewStudy& study, int lead)
{
    const std::array<int, 7> positions = delineatedMarks(window, lead);
    for (std::size_t marker = 0; marker < positions.size(); ++marker) {
        const char* beside = TMultiLeadBoundaries::resultBeside(MarkNames[marker]);
        const double expected =
            beside ? study.result(beside) : double(positions[marker]) / Rate - AlignmentTime;
        ASSERT_NE(expected, 0.0) << MarkNames[marker];
        EXPECT_DOUBLE_EQ(study.result(MarkNames[marker]), expected) << MarkNames[marker];
        EXPECT_NEAR(beatDisplay(window)->markerTime(int(marker)), expected + AlignmentTime, 1e-9)
            << MarkNames[marker];
    }
}

// Scrolls the browse display and waits for the beat strip of the new
// position.
void scrollTo(EcgReviewWindow& window, double seconds)
{
    browseDisplay(window)->scrollBar()->setValue(int(std::lround(seconds * 100)));
    ASSERT_TRUE(waitFor([&] { return window.windowAverager().retainedCount() > 0; }));
}

// Drags a marker of a display from its position `from` by `by` pixels,
// as the operator does: hovering it, then moving with the left button.
void dragMarker(QWidget& display, int from, int by)
{
    const int y = display.height() / 2;
    display_test::sendMouse(display, QEvent::MouseMove, QPoint(from, y), Qt::NoButton);
    display_test::sendMouse(display, QEvent::MouseMove, QPoint(from + by, y), Qt::LeftButton);
}

// Clicks, in the next context menus shown, the items named by `steps` one
// after the other: a sub-menu title opens the sub-menu, an empty step
// closes the menu shown.
void clickMenuItems(const QStringList& steps)
{
    auto* poll = new QTimer;
    auto next = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, next, steps] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        const QString step = steps.at(*next);
        QAction* target = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == step)
                target = action;
        }
        if (!step.isEmpty() && !target)
            return; // the sub-menu is not open yet
        if (++*next == steps.size()) {
            poll->stop();
            poll->deleteLater();
        }
        if (target)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
        else
            menu->close();
    });
    poll->start(20);
}

} // namespace

TEST(ReviewWindow, OpensOnTheFilteredStudyWithLeadIISelected)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);

    const QDateTime studyTime(QDate(2014, 3, 12), QTime(10, 30));
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Garcia, Ana - ") + QLocale::system().toString(studyTime, QLocale::ShortFormat));
    // Display chain: trend, baseline, notch, low-pass and second high-pass;
    // averaging chain with the settings absent: trend and baseline only.
    EXPECT_EQ(window->displayChain().viewCount(), 5);
    EXPECT_EQ(window->averagingChain().viewCount(), 2);
    EXPECT_EQ(browseDisplay(*window)->signal(), window->displayChain().output());
    EXPECT_EQ(browseDisplay(*window)->averager(), &window->windowAverager());

    // One exclusive lead button per channel, side by side, 23 pixels high
    // and at least 30 wide: wide enough for its whole name.
    const TEcgFile* ecg = study.study()->ecgFile();
    int x = 0;
    for (int lead = 0; lead < ecg->channelCount(); ++lead) {
        const QByteArray name = "btnLead" + ecg->channelName(lead).toUtf8();
        const QAbstractButton* button = child<QAbstractButton>(*window, name.constData());
        EXPECT_EQ(button->geometry().topLeft(), QPoint(x, 0)) << name.constData();
        EXPECT_EQ(button->height(), 23);
        EXPECT_GE(button->width(), std::max(30, button->sizeHint().width())) << name.constData();
        x += button->width();
        EXPECT_TRUE(button->isCheckable() && button->autoExclusive());
        EXPECT_EQ(button->isChecked(), lead == LeadII) << name.constData();
    }
    EXPECT_EQ(beatDisplay(*window)->leadMask(), 1u << LeadII);
    const int count = window->mainAverager().count(LeadII);
    EXPECT_GT(count, 30);
    EXPECT_EQ(text(*window, "lblAverageBeatCount"), QStringLiteral("II: %1 averaged beats").arg(count));
    const TIntervalMeasures measures = TIntervalMeasures::fromWaveMarks(study.study()->results());
    ASSERT_TRUE(measures.qtc && measures.rr);
    EXPECT_EQ(text(*window, "lblQTc"), QStringLiteral("QTc %1 ms (RR %2 ms)").arg(*measures.qtc).arg(*measures.rr))
        << "as the report prints it";

    // The late potentials are computed and their limits are the cursors.
    const TLatePotentials& late = window->latePotentials();
    EXPECT_GT(late.QRSD(), 50);
    EXPECT_LT(late.QRSD(), 200);
    const auto* lateDisplay = child<QHRECGDisplay>(*window, "varorDisplay");
    EXPECT_DOUBLE_EQ(lateDisplay->markerTime(QHRECGDisplay::QrsOnset), late.onset() / double(Rate));
    EXPECT_DOUBLE_EQ(lateDisplay->markerTime(QHRECGDisplay::QrsOffset), late.offset() / double(Rate));
    EXPECT_EQ(child<QTextEdit>(*window, "textConclusion")->toPlainText(), QStringLiteral("Sinus rhythm."));
}

TEST(ReviewWindow, AveragingChainFollowsTheSettings)
{
    ReviewStudy study;
    TSettings::setValue(TSettings::BeatAveragingNotchFilter, true);
    TSettings::setValue(TSettings::BeatAveragingLowpassFilter, true);
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    // Trend, baseline, notch and low-pass; never the second high-pass.
    EXPECT_EQ(window->averagingChain().viewCount(), 4);
}

TEST(ReviewWindow, StoredMarksOpenExactlyAsStoredAndMovedMarksAreStored)
{
    ReviewStudy study;
    const std::array<double, 7> stored = {-0.21, -0.118, -0.16, -0.046, 0.052, 0.137, 0.302};
    for (std::size_t mark = 0; mark < stored.size(); ++mark)
        study.setResult(MarkNames[mark], stored[mark]);
    study.setResult("avgRRInterval", 0.9);
    // Boundaries found over all leads, which the intervals are measured from.
    TMultiLeadBoundaries boundaries;
    boundaries.pOnset = 300;
    boundaries.qrsOnset = 455;
    boundaries.qrsOffset = 548;
    boundaries.tOffset = 800;
    boundaries.storeInto(study.study()->results(), Rate, 500);
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);

    QBeatDisplayZoom* display = beatDisplay(*window);
    for (std::size_t mark = 0; mark < stored.size(); ++mark) {
        EXPECT_DOUBLE_EQ(display->markerTime(int(mark)), stored[mark] + AlignmentTime) << MarkNames[mark];
        EXPECT_DOUBLE_EQ(study.result(MarkNames[mark]), stored[mark]) << MarkNames[mark];
    }
    EXPECT_DOUBLE_EQ(study.result("avgRRInterval"), 0.9);

    // Dragging the QRS offset stores every mark relative to the centre, and
    // the mean RR of the beat strip.
    const double beatSeconds = double(window->mainAverager().length()) / Rate;
    const int x = int(std::lround(display->markerTime(QBeatDisplayZoom::QrsOffset) * display->width() / beatSeconds));
    dragMarker(*display, x, 12);
    const double moved = display->markerTime(QBeatDisplayZoom::QrsOffset);
    EXPECT_NEAR(moved, stored[4] + AlignmentTime + 12 * beatSeconds / display->width(), 2 * beatSeconds / display->width());
    EXPECT_DOUBLE_EQ(study.result("QRSOffset"), moved - AlignmentTime);
    EXPECT_DOUBLE_EQ(study.result("QRSOnset"), stored[3]);
    EXPECT_DOUBLE_EQ(study.result("avgRRInterval"), window->windowAverager().meanRrInterval());
    // The mark moved by hand decides the QRS offset; the other boundaries
    // stay those found over all leads.
    EXPECT_DOUBLE_EQ(study.result("MultiLeadQRSOffset"), moved - AlignmentTime);
    EXPECT_DOUBLE_EQ(study.result("MultiLeadQRSOnset"), -0.045);
    const TIntervalMeasures measures = TIntervalMeasures::fromWaveMarks(study.study()->results());
    EXPECT_EQ(measures.qrs, int((moved - AlignmentTime + 0.045) * 1000.0 + 1e-6));
    EXPECT_EQ(measures.pr, 155);
}

TEST(ReviewWindow, StoredMarksWithoutAPWaveOpenAsStored)
{
    // Atrial fibrillation: no P wave, QRS and T marks moved by hand.
    ReviewStudy study;
    const std::array<double, 7> stored = {0.0, 0.0, 0.0, -0.05, 0.061, 0.14, 0.311};
    for (std::size_t mark = 0; mark < stored.size(); ++mark)
        study.setResult(MarkNames[mark], stored[mark]);
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    for (std::size_t mark = 0; mark < stored.size(); ++mark)
        EXPECT_DOUBLE_EQ(study.result(MarkNames[mark]), stored[mark]) << MarkNames[mark];
    EXPECT_DOUBLE_EQ(beatDisplay(*window)->markerTime(QBeatDisplayZoom::QrsOffset), stored[4] + AlignmentTime);
}

TEST(ReviewWindow, AStoredZeroQrsMarkGivesAutomaticMarksFromV5StoredAtOnce)
{
    ReviewStudy study;
    for (const char* name : MarkNames)
        study.setResult(name, 0.1);
    study.setResult("QRSOffset", 0.0);
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);

    expectAutomaticMarks(*window, study, LeadV5);
    // The mean RR of the beat strip around 82 beats per minute.
    EXPECT_NEAR(study.result("avgRRInterval"), 0.73, 0.03);
    EXPECT_DOUBLE_EQ(study.result("avgRRInterval"), window->windowAverager().meanRrInterval());
}

TEST(ReviewWindow, WithoutAV5LeadTheAutomaticMarksComeFromV6)
{
    ReviewStudy study(QStringLiteral("I,II,III,aVR,aVL,aVF,V1,V2,V3,V4,V5R,V6,CM5,CR5"));
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);

    expectAutomaticMarks(*window, study, LeadV6);
    EXPECT_NE(delineatedMarks(*window, LeadV6), delineatedMarks(*window, LeadV5));
}

TEST(ReviewWindow, TimeAndHeartRateFollowTheBrowsePosition)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    const TBeatsFile& beats = *study.study()->beatsFile();
    TBeat first;
    ASSERT_TRUE(beats.read(0, first));
    ASSERT_GT(first.value(TBeat::QrsTime), 0.2);
    EXPECT_EQ(text(*window, "lblTotalElapsedTime"), QStringLiteral(" 0:00")) << "opened at the start";
    // No beat precedes the start: the rate is that of the first beat in
    // view that has one.
    TBeat rated;
    for (int index = 0; beats.read(index, rated) && rated.value(TBeat::MeanRrInterval) <= 0.0; ++index) {
    }
    ASSERT_GT(rated.value(TBeat::MeanRrInterval), 0.0);
    const QString startRate = QString::number(int(60.0 / rated.value(TBeat::MeanRrInterval)));
    EXPECT_EQ(text(*window, "lblHR"), startRate);

    scrollTo(*window, 12.34);
    EXPECT_EQ(text(*window, "lblTotalElapsedTime"), QStringLiteral(" 0:12"));
    TBeat last;
    ASSERT_TRUE(beats.read(TBeatTimeline::lastBefore(beats, 12.34), last));
    EXPECT_EQ(text(*window, "lblHR"), QString::number(int(60.0 / last.value(TBeat::MeanRrInterval))));
    EXPECT_EQ(text(*window, "lblHR").toInt(), 82);

    browseDisplay(*window)->scrollBar()->setValue(int(first.value(TBeat::QrsTime) * 100) - 5);
    EXPECT_EQ(text(*window, "lblHR"), startRate);
    EXPECT_EQ(text(*window, "lblTotalElapsedTime"), QStringLiteral(" 0:00"));
}

TEST(ReviewWindow, UncheckingSuperimposeLeavesLeadII)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    QBeatDisplayZoom* display = beatDisplay(*window);

    click(*window, "chkSuperimpose");
    click(*window, "btnLeadV1");
    click(*window, "btnLeadV2");
    EXPECT_EQ(display->leadMask(), (1u << LeadII) | (1u << LeadV1) | (1u << LeadV2));
    EXPECT_EQ(text(*window, "lblAverageBeatCount"),
              QStringLiteral("V2: %1 averaged beats").arg(window->mainAverager().count(LeadV2)));

    click(*window, "chkSuperimpose");
    EXPECT_EQ(display->leadMask(), 1u << LeadII);
    EXPECT_TRUE(child<QAbstractButton>(*window, "btnLeadII")->isChecked());
    EXPECT_FALSE(child<QAbstractButton>(*window, "btnLeadV1")->isChecked());
    // Exclusive again: another lead replaces lead II.
    click(*window, "btnLeadV1");
    EXPECT_EQ(display->leadMask(), 1u << LeadV1);
}

TEST(ReviewWindow, SwitchingADisplayFilterKeepsThePositionAndReaveragesTheStrip)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    QSignalBrowseDisplay* display = browseDisplay(*window);
    scrollTo(*window, 15.0);

    click(*window, "btnFilterNotch");
    // Notch off: trend, baseline, low-pass and second high-pass.
    EXPECT_EQ(window->displayChain().viewCount(), 4);
    EXPECT_DOUBLE_EQ(display->startTime(), 15.0);
    EXPECT_EQ(display->signal(), window->displayChain().output());
    EXPECT_EQ(display->averager(), &window->windowAverager());
    EXPECT_EQ(&window->windowAverager().signal(), window->displayChain().output());
    // The 200 ms timer averages the strip of the same position again.
    ASSERT_TRUE(waitFor([&] { return window->windowAverager().retainedCount() > 0; }));
    EXPECT_GT(window->windowAverager().count(), 10);
    EXPECT_DOUBLE_EQ(display->startTime(), 15.0);
}

TEST(ReviewWindow, LatePotentialControlsAndCursors)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    const TLatePotentials& late = window->latePotentials();
    auto* cutoff = child<QComboBox>(*window, "cboHPCutoff");
    const std::vector<double> at25 = late.vectorMagnitude();

    cutoff->setCurrentIndex(1);
    EXPECT_EQ(late.highPassCutoff(), 40);
    EXPECT_NE(late.vectorMagnitude(), at25);
    cutoff->setCurrentIndex(-1);
    EXPECT_EQ(late.highPassCutoff(), 25);
    EXPECT_EQ(late.vectorMagnitude(), at25);
    cutoff->setCurrentIndex(1);
    cutoff->setCurrentIndex(0);
    EXPECT_EQ(late.highPassCutoff(), 25);

    child<QSpinBox>(*window, "numLASThreshold")->setValue(20);
    child<QSpinBox>(*window, "numRMSDuration")->setValue(30);
    EXPECT_EQ(late.lasThreshold(), 20);
    EXPECT_EQ(late.rmsDuration(), 30);
    EXPECT_EQ(late.RMS(), TLatePotentials::rmsMicrovolts(late.vectorMagnitude(), late.onset(), late.offset(), 30));

    // Dragging the offset cursor 40 pixels to the right lengthens QRSD by
    // the samples those pixels stand for.
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(1);
    auto* display = child<QHRECGDisplay>(*window, "varorDisplay");
    const int onset = late.onset();
    const int qrsd = late.QRSD();
    const int x = int(std::lround((display->markerTime(QHRECGDisplay::QrsOffset) - display->startTime()) *
                                  display->width() / display->timeSpan()));
    dragMarker(*display, x, 40);
    const int offset = int(std::lround(display->markerTime(QHRECGDisplay::QrsOffset) * Rate));
    EXPECT_EQ(late.onset(), onset);
    EXPECT_EQ(late.offset(), offset);
    EXPECT_EQ(late.QRSD(), offset - onset);
    EXPECT_NEAR(late.QRSD() - qrsd, 40 * display->timeSpan() * Rate / display->width(), 2.0 * Rate / display->width() + 1);
    EXPECT_EQ(late.RMS(), TLatePotentials::rmsMicrovolts(late.vectorMagnitude(), onset, offset, 30));
}

// A study without late-potential settings opens at the configured cutoff;
// the settings and the limits set by hand then stay with the study and
// come back with it, whatever is configured meanwhile.
TEST(ReviewWindow, LatePotentialSettingsAndHandSetLimitsComeBackWithTheStudy)
{
    ReviewStudy study;
    TSettings::setValue(TSettings::LatePotentialsCutoff, 40);
    std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    EXPECT_EQ(child<QComboBox>(*window, "cboHPCutoff")->currentIndex(), 1);
    EXPECT_EQ(window->latePotentials().highPassCutoff(), 40);
    child<QSpinBox>(*window, "numLASThreshold")->setValue(30);
    child<QSpinBox>(*window, "numRMSDuration")->setValue(35);
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(1);
    auto* display = child<QHRECGDisplay>(*window, "varorDisplay");
    const int x = int(std::lround((display->markerTime(QHRECGDisplay::QrsOffset) - display->startTime()) *
                                  display->width() / display->timeSpan()));
    dragMarker(*display, x, 30);
    const TLatePotentials& before = window->latePotentials();
    const std::array<int, 5> figures{before.onset(), before.offset(), before.QRSD(), before.RMS(), before.LAS()};
    window.reset();

    TSettings::setValue(TSettings::LatePotentialsCutoff, 25);
    study.reopen();
    window = openReviewWindow(study);
    const TLatePotentials& after = window->latePotentials();
    EXPECT_EQ(after.highPassCutoff(), 40);
    EXPECT_EQ(after.lasThreshold(), 30);
    EXPECT_EQ(after.rmsDuration(), 35);
    EXPECT_EQ((std::array<int, 5>{after.onset(), after.offset(), after.QRSD(), after.RMS(), after.LAS()}), figures);
    EXPECT_TRUE(child<QLabel>(*window, "lblLatePotentialsAssessment")->text().contains(QStringLiteral("by hand")));
}

TEST(ReviewWindow, TheConclusionReachesTheStudyAlsoWhenTypedJustBeforeClosing)
{
    ReviewStudy study;
    std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    auto* conclusion = child<QTextEdit>(*window, "textConclusion");

    conclusion->moveCursor(QTextCursor::End);
    QTest::keyClicks(conclusion, " No late potentials.");
    EXPECT_TRUE(waitFor([&] { return study.study()->propertyValue("conclusion") == "Sinus rhythm. No late potentials."; }));

    // Typed with no time left for the periodic copy.
    conclusion->setPlainText(QStringLiteral("Ritmo sinusal. Sin potenciales tardíos."));
    window.reset();
    EXPECT_EQ(QString::fromStdString(study.study()->propertyValue("conclusion")),
              QStringLiteral("Ritmo sinusal. Sin potenciales tardíos."));
}

TEST(ReviewWindow, PredefinedTextsAreEditedUsedAndRemembered)
{
    ReviewStudy study;
    TSettings::setValue(TSettings::PredefinedConclusionList, QStringList{QStringLiteral("Normal SAECG.")});
    std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    child<QTabWidget>(*window, "tabWidget")->setCurrentIndex(2);
    auto* list = child<QListView>(*window, "listPredefinedText");
    QAbstractItemModel* model = list->model();
    ASSERT_EQ(model->rowCount(), 1);

    click(*window, "btnPredefinedAdd");
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(1, 0).data().toString(), QStringLiteral("Enter conclusion"));
    EXPECT_EQ(list->currentIndex().row(), 1);
    QWidget* editor = list->indexWidget(model->index(1, 0));
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Return);  // the text left as it was

    const QRect first = list->visualRect(model->index(0, 0));
    // The press and release of the first click come before the double click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(child<QTextEdit>(*window, "textConclusion")->toPlainText(),
              QStringLiteral("Sinus rhythm.\nNormal SAECG."));

    list->setCurrentIndex(model->index(0, 0));
    click(*window, "btnPredefinedRemove");
    EXPECT_EQ(model->rowCount(), 1);
    window.reset();
    EXPECT_EQ(TSettings::list(TSettings::PredefinedConclusionList), QStringList{QStringLiteral("Enter conclusion")});
}

TEST(ReviewWindow, ContextMenuSwitchesLeadsAverageBeatAndColourScheme)
{
    ReviewStudy study;
    std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    QSignalBrowseDisplay* display = browseDisplay(*window);

    // A lead switched off opens the menu again for the next one.
    clickMenuItems({QStringLiteral("Show leads"), QStringLiteral("V1"), QStringLiteral("Show leads"),
                    QStringLiteral("V2"), QString()});
    emit display->customContextMenuRequested(QPoint(200, 200));
    EXPECT_FALSE(display->isLeadVisible(LeadV1));
    EXPECT_FALSE(display->isLeadVisible(LeadV2));
    EXPECT_TRUE(display->isLeadVisible(LeadII));

    clickMenuItems({QStringLiteral("Color scheme"), QStringLiteral("Black")});
    emit display->customContextMenuRequested(QPoint(200, 200));
    EXPECT_EQ(display->color(1), QColor(Qt::black));
    EXPECT_EQ(display->color(0), QColor(Qt::green));

    clickMenuItems({QStringLiteral("Average beat")});
    emit display->customContextMenuRequested(QPoint(200, 200));
    EXPECT_FALSE(display->showAverage());

    window.reset();
    EXPECT_EQ(TSettings::text(TSettings::ReviewDisplayColorScheme), QStringLiteral("Black"));
    EXPECT_FALSE(TSettings::flag(TSettings::ReviewShowAverageBeat));
}

TEST(ReviewWindow, StudyDataAreSavedWithTheConclusionTypedSoFarAndSaveFailuresShown)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    child<QTextEdit>(*window, "textConclusion")->setPlainText(QStringLiteral("Typed just now."));
    const QString path = study.dataFolder() + QLatin1Char('/') +
                         QString::fromStdString(study.study()->propertyValue("baseFilename")) +
                         QStringLiteral(".pxstudy");

    onNextModal<StudyDialog>([](StudyDialog* dialog) {
        child<QLineEdit>(*dialog, "txtLastName")->setText(QStringLiteral("Garcia Lopez"));
        dialog->accept();
    });
    click(*window, "btnStudyData");
    EXPECT_EQ(study.study()->propertyValue("patient/lastName"), "Garcia Lopez");
    const std::unique_ptr<TStudy> saved = study.store().loadStudyFile(path.toStdString());
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->propertyValue("patient/lastName"), "Garcia Lopez");
    EXPECT_EQ(saved->propertyValue("conclusion"), "Typed just now.");

    // A folder where the study file belongs: the file cannot be written.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/keep")));
    QString title, message;
    onNextModal<StudyDialog>([&](StudyDialog* dialog) {
        onNextModal<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            message = box->text();
            box->accept();
        });
        dialog->accept();
    });
    click(*window, "btnStudyData");
    EXPECT_EQ(title, QStringLiteral("Error"));
    EXPECT_EQ(message, QStringLiteral("Cannot create study file"));
}

TEST(ReviewWindow, TheReportDialogGetsTheReviewState)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    scrollTo(*window, 12.34);
    click(*window, "btnFilterLowpass");

    QString startTime;
    std::array<bool, 3> filters{};
    onNextModal<ReportDialog>([&](ReportDialog* dialog) {
        startTime = child<QLineEdit>(*dialog, "txtStartTime")->text();
        filters = {child<QAbstractButton>(*dialog, "btnFilterNotch")->isChecked(),
                   child<QAbstractButton>(*dialog, "btnFilterLowpass")->isChecked(),
                   child<QAbstractButton>(*dialog, "btnFilterBaseline")->isChecked()};
        dialog->reject();
    });
    click(*window, "btnReport");
    EXPECT_EQ(startTime, QStringLiteral("00:12.3"));
    EXPECT_EQ(filters, (std::array<bool, 3>{true, false, true}));
}

// Sent while no PACS is configured, the study waits in the outbox and the
// operator is told why; the window shows the send state as the background
// sender renews it.
TEST(ReviewWindow, SendingWithoutAPacsQueuesTheStudyAndShowsItsState)
{
    ReviewStudy study;
    const std::unique_ptr<EcgReviewWindow> window = openReviewWindow(study);
    const QLabel* state = child<QLabel>(*window, "lblPacsState");
    EXPECT_EQ(state->text(), QStringLiteral("PACS: not sent"));
    QString message;
    onNextModal<QMessageBox>([&message](QMessageBox* box) {
        message = box->text();
        box->accept();
    });
    click(*window, "btnSendToPacs");
    EXPECT_TRUE(message.contains(QLatin1String("No PACS is configured"))) << message.toStdString();
    EXPECT_TRUE(waitFor([state] { return state->text().contains(QLatin1String("No PACS is configured")); }))
        << state->text().toStdString();
    EXPECT_TRUE(state->text().startsWith(QLatin1String("PACS: queued"))) << state->text().toStdString();
    // The state, whatever its length, takes no height from the recording.
    EXPECT_GT(child<QWidget>(*window, "ecgDisplay1")->height(), window->height() * 3 / 4);
}

TEST(ClippedSampleRuns, FindsTheSaturatedRunsOfARange)
{
    TSignalBuffer16 signal(2, Rate, 64, 4096);
    signal.setResolutionBits(16);
    std::vector<qint16> first(3000, 100), second(3000, -200);
    std::fill(first.begin() + 1500, first.begin() + 1510, qint16(32767));
    first[2999] = -32767;
    second[10] = -32768;
    const qint16* channels[] = {first.data(), second.data()};
    signal.append(channels, 3000);
    const TClippedSampleRuns runs(signal);
    EXPECT_EQ(runs.limit(), 32766);

    std::vector<std::pair<int, int>> found;
    runs.forEachRun(0, 0, 3100, [&](int a, int b) { found.emplace_back(a, b); });
    EXPECT_EQ(found, (std::vector<std::pair<int, int>>{{1500, 1509}, {2999, 2999}}));
    int a = 0, b = 0;
    ASSERT_TRUE(runs.nextRun(0, 1505, 1507, a, b));
    EXPECT_EQ(std::make_pair(a, b), std::make_pair(1505, 1507));
    EXPECT_FALSE(runs.nextRun(0, 0, 1499, a, b));
    ASSERT_TRUE(runs.nextRun(1, 0, 2999, a, b));
    EXPECT_EQ(std::make_pair(a, b), std::make_pair(10, 10));
}
