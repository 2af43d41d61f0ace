// The monitor window on studies in a temporary data folder, fed by the
// fast replay of the demo recording (or by a scripted source): recording,
// the one-second update, the display controls, the overlays and the
// electrode panel, the operator's warning, and the release of the pipeline
// however the window closes.
#include "MonitorTestSupport.h"
#include "acquisition/FakeAcqSource.h"
#include "tests/pipeline/PipelineTestSupport.h"
#include "tests/settings/TempSettings.h"

#include "acquisition/TFastReplaySource.h"
#include "pipeline/TAnalysisPipeline.h"
#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatStore.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "settings/TSettings.h"
#include "display/QSignalMonitorDisplay.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "windows/EcgMonitorWindow.h"
#include "windows/ElectrodeStatusWidget.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace monitortest;

namespace {

using ReplaySource = ProbedSource<TFastReplaySource>;

// Works through the popup menus that come up, one step per menu shown: a
// step gets the menu and acts on it as the operator would (choosing an
// entry, opening a sub-menu, leaving).
class PopupScript : public QObject
{
public:
    explicit PopupScript(QList<std::function<void(QMenu&)>> steps) : m_steps(std::move(steps))
    {
        qApp->installEventFilter(this);
    }
    bool done() const { return m_steps.isEmpty(); }

    // Chooses the entry with that text.
    static void choose(QMenu& menu, const QString& text)
    {
        for (QAction* action : menu.actions()) {
            if (action->text() == text) {
                menu.setActiveAction(action);
                QTest::keyClick(&menu, action->menu() ? Qt::Key_Right : Qt::Key_Return);
                return;
            }
        }
        ADD_FAILURE() << "no entry " << text.toStdString();
        QTest::keyClick(&menu, Qt::Key_Escape);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (menu && event->type() == QEvent::Show && !m_steps.isEmpty()) {
            // Acted on once the menu runs its own event loop.
            QPointer<QMenu> shown(menu);
            QTimer::singleShot(0, this, [this, shown] {
                if (shown && !m_steps.isEmpty())
                    m_steps.takeFirst()(*shown);
            });
        }
        return false;
    }

private:
    QList<std::function<void(QMenu&)>> m_steps;
};

// The entries of a menu as "text" or "[x] text" for a marked one.
QStringList entries(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        if (!action->isSeparator())
            texts.append((action->isChecked() ? QStringLiteral("[x] ") : QString()) + action->text());
    }
    return texts;
}

class MonitorWindowTest : public ::testing::Test
{
protected:
    ~MonitorWindowTest() override { delete m_window.data(); }

    // A replay of the demo recording of so many frames and a new study for it.
    void prepare(qint64 frames)
    {
        auto source = std::make_unique<ReplaySource>(m_probe, QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"), 14,
                                                     1000, frames);
        m_replay = source.get();
        prepare(std::move(source));
    }
    void prepare(std::unique_ptr<TAcqSource> source)
    {
        m_source = std::move(source);
        m_study = std::make_unique<pipelinetest::TemporaryStudy>(*m_source);
    }

    // The window as the main window shows it: deleted when closed.
    EcgMonitorWindow& open()
    {
        m_window = new EcgMonitorWindow(nullptr, m_source.get(), m_study->study());
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->resize(1280, 800);
        m_window->show();
        return *m_window;
    }

    template <typename Widget>
    Widget* child(const char* name) const
    {
        auto* widget = m_window->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString text(const char* label) const { return child<QLabel>(label)->text(); }
    void click(const char* button) const { QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton); }
    QSignalMonitorDisplay* display() const { return child<QSignalMonitorDisplay>("ecgDisplay"); }
    // One tick of the one-second update.
    void tick() const { QMetaObject::invokeMethod(child<QTimer>("updateTimer"), "timeout"); }

    bool replayed() const
    {
        return waitUntil([&] { return m_window->pipeline()->rawSignal()->appendedCount() >= m_replay->streamedFrames(); },
                         60000);
    }
    bool closed() const { return waitUntil([&] { return m_window.isNull(); }); }

    TempSettings m_settings;
    std::shared_ptr<SourceProbe> m_probe = std::make_shared<SourceProbe>();
    std::unique_ptr<TAcqSource> m_source;
    ReplaySource* m_replay = nullptr;
    std::unique_ptr<pipelinetest::TemporaryStudy> m_study;
    QPointer<EcgMonitorWindow> m_window;
};

TEST_F(MonitorWindowTest, OpensMonitoringAndTheBaselineFilterTurnsCentringOn)
{
    prepare(1000);
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    m_study->study()->setProperty(TStudy::patientKey("lastName"), "Núñez");
    open();
    EXPECT_EQ(text("lblPatientName"), QStringLiteral("Núñez, Ana"));
    EXPECT_TRUE(child<QAbstractButton>("btnStart")->isEnabled());
    EXPECT_FALSE(child<QAbstractButton>("btnStop")->isEnabled());
    EXPECT_FALSE(child<QFrame>("frameAverageBeat")->isVisible());
    EXPECT_EQ(child<QComboBox>("cboAverageLead")->currentText(), QStringLiteral("V5"));
    EXPECT_TRUE(display()->isLeadVisible(11));
    EXPECT_FALSE(display()->isLeadVisible(12));
    EXPECT_FALSE(display()->isLeadVisible(13));
    EXPECT_EQ(text("lblSimulatedEcg"), QStringLiteral("Simulated ECG"));
    EXPECT_EQ(display()->findChild<QLabel*>(), nullptr) << "nothing covers the first lead";

    // All three display filters are on, so the baseline is not centred.
    EXPECT_FALSE(display()->baselineCentering());
    click("btnFilterBaseline");
    EXPECT_TRUE(display()->baselineCentering());
    EXPECT_EQ(display()->signal(), m_window->pipeline()->displaySignal());
    click("btnFilterBaseline");
    EXPECT_FALSE(display()->baselineCentering());
}

TEST_F(MonitorWindowTest, ContextMenuTogglesLeadsInARowAndChoosesTheColourScheme)
{
    prepare(1000);
    open();
    QStringList firstEntries, secondEntries, schemeEntries;
    PopupScript leads({
        [&](QMenu& menu) {
            firstEntries = entries(menu);
            EXPECT_EQ(menu.title(), QStringLiteral("Show leads"));
            PopupScript::choose(menu, QStringLiteral("V1"));
        },
        // Open again at once for the next lead.
        [&](QMenu& menu) {
            secondEntries = entries(menu);
            PopupScript::choose(menu, QStringLiteral("CM5"));
        },
        [&](QMenu& menu) { QTest::keyClick(&menu, Qt::Key_Escape); },
    });
    emit display()->customContextMenuRequested(QPoint(200, 200));
    EXPECT_TRUE(leads.done());
    ASSERT_EQ(firstEntries.size(), 16);
    EXPECT_EQ(firstEntries.first(), QStringLiteral("[x] I"));
    EXPECT_EQ(firstEntries.mid(11, 5), (QStringList{QStringLiteral("[x] V6"), QStringLiteral("CM5"),
                                                     QStringLiteral("CR5"), QStringLiteral("[x] Average beat"),
                                                     QStringLiteral("Color scheme")}));
    EXPECT_EQ(secondEntries.at(6), QStringLiteral("V1"));
    EXPECT_FALSE(display()->isLeadVisible(6));
    EXPECT_TRUE(display()->isLeadVisible(12));

    PopupScript scheme({
        [&](QMenu& menu) { PopupScript::choose(menu, QStringLiteral("Color scheme")); },
        [&](QMenu& menu) {
            schemeEntries = entries(menu);
            PopupScript::choose(menu, QStringLiteral("Black"));
        },
    });
    emit display()->customContextMenuRequested(QPoint(200, 200));
    EXPECT_TRUE(scheme.done());
    EXPECT_EQ(schemeEntries, (QStringList{QStringLiteral("Black"), QStringLiteral("Blue"), QStringLiteral("Light")}));
    EXPECT_EQ(display()->color(1), QColor(Qt::black));

    PopupScript average({[&](QMenu& menu) { PopupScript::choose(menu, QStringLiteral("Average beat")); }});
    emit display()->customContextMenuRequested(QPoint(200, 200));
    EXPECT_FALSE(display()->showAverage());

    // The choices outlive the window.
    m_window->close();
    ASSERT_TRUE(closed());
    EXPECT_EQ(TSettings::text(TSettings::MonitorDisplayColorScheme), QStringLiteral("Black"));
    EXPECT_FALSE(TSettings::flag(TSettings::MonitorShowAverageBeat));
    open();
    EXPECT_EQ(display()->color(1), QColor(Qt::black));
    EXPECT_FALSE(display()->showAverage());
}

TEST_F(MonitorWindowTest, RecordsUntilStopAndLeavesAStudyThatOpens)
{
    // 61 seconds of signal, recorded from the first sample on.
    prepare(61000);
    open();
    click("btnStart");
    EXPECT_FALSE(child<QAbstractButton>("btnStart")->isEnabled());
    EXPECT_TRUE(child<QAbstractButton>("btnStop")->isEnabled());
    EXPECT_TRUE(child<QFrame>("frameAverageBeat")->isVisible());
    tick();
    EXPECT_EQ(text("lblAverageBeatCount"), QStringLiteral("Averaging beats..."));
    EXPECT_EQ(text("lblTotalElapsedTime"), QStringLiteral(" 0:00"));

    // The replay's last, partial block comes when the driver stops.
    ASSERT_TRUE(replayed());
    tick();
    EXPECT_EQ(m_study->study()->ecgFile()->appendedCount(), m_replay->streamedFrames());
    EXPECT_EQ(text("lblTotalElapsedTime"), QStringLiteral(" 1:00"));
    const int averaged = m_window->pipeline()->liveAverager()->count(10);
    EXPECT_GT(averaged, 0);
    EXPECT_EQ(text("lblAverageBeatCount"), QStringLiteral("%1 averaged beats").arg(averaged));
    const int heartRate = text("lblHR").toInt();
    EXPECT_GT(heartRate, 40);
    EXPECT_LT(heartRate, 150);

    // The heart rate of the newest beat's mean RR; a mean RR too long for
    // one beat a minute keeps the value shown.
    TBeatStore* beats = m_window->pipeline()->beatStore();
    TBeat beat = beats->read(beats->count() - 1);
    beat.setValue(TBeat::MeanRrInterval, 0.8);
    beats->add(beat);
    tick();
    EXPECT_EQ(text("lblHR"), QStringLiteral("75"));
    beat.setValue(TBeat::MeanRrInterval, 70.0);
    beats->add(beat);
    tick();
    EXPECT_EQ(text("lblHR"), QStringLiteral("75"));

    // Choosing a lead tells its count at once, even when it is 0.
    child<QComboBox>("cboAverageLead")->setCurrentIndex(13);
    EXPECT_EQ(text("lblAverageBeatCount"),
              QStringLiteral("%1 averaged beats").arg(m_window->pipeline()->liveAverager()->count(13)));

    const int beatsBeforeStop = m_study->study()->beatsFile()->count();
    click("btnStop");
    ASSERT_TRUE(closed());
    EXPECT_TRUE(m_probe->stopped());
    // Every frame, and the beats of the last seconds, are in the study.
    const int studySamples = m_study->study()->ecgFile()->appendedCount();
    EXPECT_EQ(studySamples, 61000);
    const int beatsRecorded = m_study->study()->beatsFile()->count();
    EXPECT_GT(beatsRecorded, beatsBeforeStop);
    EXPECT_GT(beatsRecorded, 40);

    TLocalStudyStore& store = m_study->store();
    store.closeStudy(m_study->study());
    TStudy* reopened = store.openStudy(m_study->id());
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->ecgFile()->appendedCount(), studySamples);
    EXPECT_EQ(reopened->beatsFile()->count(), beatsRecorded);
    store.closeStudy(reopened);
}

// Space starts and stops recording wherever the focus is: a speed button
// that has it is not toggled instead.
TEST_F(MonitorWindowTest, SpaceActsOnRecordingWhateverHasTheFocus)
{
    prepare(5000);
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.data()));
    auto* speed = child<QAbstractButton>("btnSpeed50");
    speed->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(speed->isChecked());
    EXPECT_TRUE(m_window->pipeline()->isRecording());
    speed->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(closed());
}

TEST_F(MonitorWindowTest, ClosingWhileMonitoringReleasesThePipelineAndRecordsNothing)
{
    prepare(3600 * 1000);
    m_replay->setMaximumLead(10 * m_replay->blockFrames());
    pipelinetest::ReplayPacer pacer(*m_replay);
    open().pipeline()->addListener(&pacer);
    ASSERT_TRUE(waitUntil([&] { return m_window->pipeline()->rawSignal()->appendedCount() > 5000; }));
    m_window->close();
    ASSERT_TRUE(closed());
    EXPECT_TRUE(m_probe->stopped());
    const qint64 delivered = m_replay->deliveredFrames();
    QTest::qWait(50);
    EXPECT_EQ(m_replay->deliveredFrames(), delivered);
    EXPECT_EQ(m_study->study()->ecgFile()->appendedCount(), 0);
    EXPECT_EQ(m_study->study()->beatsFile()->count(), 0);
}

TEST_F(MonitorWindowTest, OverlaysTellBatteryConnectionAndElectrodes)
{
    prepare(3600 * 1000);
    m_replay->setMaximumLead(10 * m_replay->blockFrames());
    TSettings::setValue(TSettings::LowBatteryLevel, 2.5);
    pipelinetest::ReplayPacer pacer(*m_replay);
    open().pipeline()->addListener(&pacer);
    // Every warning stands beside the paper, covering neither its traces
    // nor the averaged beat shown while recording.
    child<QFrame>("frameAverageBeat")->show();
    const auto besideThePaper = [&](const QWidget* warning) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QRect paper(display()->mapTo(m_window, QPoint(0, 0)), display()->size());
        return warning->isVisible() && !warning->geometry().intersects(paper) &&
               !warning->geometry().intersects(child<QFrame>("frameAverageBeat")->geometry()) &&
               m_window->rect().contains(warning->geometry());
    };
    auto* battery = child<QLabel>("lblLowBatteryIcon");
    auto* connecting = child<QLabel>("lblConnectingIcon");

    // Each says what it warns of, in full.
    m_probe->battery = 2.4;
    tick();
    EXPECT_TRUE(besideThePaper(battery));
    EXPECT_TRUE(battery->text().endsWith(QStringLiteral("Low battery")));
    m_probe->healthy = false;
    tick();
    EXPECT_TRUE(besideThePaper(connecting));
    EXPECT_TRUE(connecting->text().endsWith(QStringLiteral("Connecting")));
    EXPECT_TRUE(besideThePaper(battery));
    EXPECT_FALSE(connecting->geometry().intersects(battery->geometry()));
    for (const QLabel* icon : {battery, connecting})
        EXPECT_GE(icon->width(), icon->sizeHint().width()) << icon->text().toStdString();
    auto* connectingText = display()->findChild<QLabel*>(QStringLiteral("lblConnecting"));
    ASSERT_NE(connectingText, nullptr);
    EXPECT_TRUE(connectingText->isVisible());
    EXPECT_EQ(connectingText->text(), QStringLiteral("Connecting to the ECG device..."));
    m_probe->battery = 2.6;
    m_probe->healthy = true;
    ASSERT_TRUE(waitUntil([&] { return m_window->pipeline()->isStreaming(); }));
    tick();
    EXPECT_FALSE(battery->isVisible());
    EXPECT_FALSE(connecting->isVisible());
    EXPECT_FALSE(connectingText->isVisible());

    // The panel is made on the first loss and shown, up to date, from the next update on.
    m_probe->electrodeV2Off = true;
    tick();
    auto* panel = m_window->findChild<ElectrodeStatusWidget*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isVisible());
    tick();
    EXPECT_TRUE(besideThePaper(panel));
    EXPECT_EQ(panel->findChild<QLabel*>(QStringLiteral("lblV2"))->styleSheet(), QStringLiteral("color: red"));
    EXPECT_EQ(panel->findChild<QLabel*>(QStringLiteral("lblV1"))->styleSheet(), QStringLiteral("color: green"));
    m_probe->electrodeV2Off = false;
    tick();
    EXPECT_FALSE(panel->isVisible());

    // Dismissed, it stays hidden for the rest of this acquisition.
    m_probe->electrodeV2Off = true;
    tick();
    ASSERT_TRUE(panel->isVisible());
    QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("btnHide")), Qt::LeftButton);
    tick();
    tick();
    EXPECT_FALSE(panel->isVisible());

    // A new monitor window shows it again.
    m_window->close();
    ASSERT_TRUE(closed());
    open();
    tick();
    tick();
    ASSERT_NE(m_window->findChild<ElectrodeStatusWidget*>(), nullptr);
    EXPECT_TRUE(m_window->findChild<ElectrodeStatusWidget*>()->isVisible());
}

// A device that falls silent while its link still looks healthy shows as
// lost within a second, and the window can be left without recording: a
// study that was never recorded stays empty.
TEST_F(MonitorWindowTest, ASilentDeviceShowsAsLostWithinASecondAndTheWindowCanBeLeft)
{
    prepare(1000);
    open();
    ASSERT_TRUE(replayed());
    QElapsedTimer sinceLastData;
    sinceLastData.start();
    auto* connecting = display()->findChild<QLabel*>(QStringLiteral("lblConnecting"));
    ASSERT_TRUE(waitUntil([&] {
        connecting = display()->findChild<QLabel*>(QStringLiteral("lblConnecting"));
        return connecting && connecting->isVisible();
    }));
    EXPECT_LT(sinceLastData.elapsed(), 1000);
    EXPECT_EQ(connecting->text(), QStringLiteral("Connecting to the ECG device..."));
    click("btnClose");
    ASSERT_TRUE(closed());
    EXPECT_TRUE(m_probe->stopped());
    EXPECT_EQ(m_study->study()->ecgFile()->sampleCount(), 0);
}

TEST_F(MonitorWindowTest, AcquisitionFailureIsShownAndTheWindowStillReleasesEverything)
{
    auto source = std::make_unique<ProbedSource<FakeAcqSource>>(m_probe);
    source->shortReadBy = 2;
    source->push(QByteArray(14 * 2 * 200, '\0'));
    prepare(std::move(source));
    ModalBoxAnswerer answerer;
    open();
    ASSERT_TRUE(answerer.waitForBoxes(1));
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("Warning: Communication with ECG acquiring device failed.")});
    m_window->close();
    ASSERT_TRUE(closed());
    EXPECT_TRUE(m_probe->stopped());
}

} // namespace

// On a screen 1280 pixels wide a long patient name gives way (read in full
// in its tool tip), so that the control bar and with it the window stay on
// the screen, also with the demo source's label.
TEST_F(MonitorWindowTest, ALongPatientNameLeavesTheWindowOnASmallScreen)
{
    prepare(1000);
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    const char* lastName = "Fernández-Villaverde Castellanos de la Concepción";
    m_study->study()->setProperty(TStudy::patientKey("lastName"), lastName);
    open();
    EXPECT_LE(m_window->minimumSizeHint().width(), 1280);
    EXPECT_EQ(child<QLabel>("lblPatientName")->toolTip(), QString::fromUtf8(lastName) + QStringLiteral(", Ana"));

    // Nor does the demo's label widen the bar: it stands beside the paper.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const auto rectIn = [&](const QWidget* widget) { return QRect(widget->mapTo(m_window, QPoint(0, 0)), widget->size()); };
    const QRect label = rectIn(child<QLabel>("lblSimulatedEcg"));
    EXPECT_FALSE(label.intersects(rectIn(child<QFrame>("frameControls"))));
    EXPECT_FALSE(label.intersects(rectIn(display())));
}
