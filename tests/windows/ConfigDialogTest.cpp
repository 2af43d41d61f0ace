// The configuration dialog on temporary settings: what it shows and stores,
// Bluetooth detection, and the acquisition test window with its sources.
#include "MonitorTestSupport.h"
#include "acquisition/FakeAcqSource.h"
#include "tests/settings/TempSettings.h"

#include "acquisition/TFastReplaySource.h"
#include "analysis/signal/TSignal.h"
#include "settings/TSettings.h"
#include "windows/AcqTestWindow.h"
#include "windows/ConfigDialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>

#include <gtest/gtest.h>

using namespace monitortest;

namespace {

// The dialog with its device search and, when given, its test source
// replaced.
class ScriptedConfigDialog : public ConfigDialog
{
public:
    std::function<std::unique_ptr<TAcqSource>()> makeSource;
    QStringList devices;
    mutable int searches = 0;

protected:
    std::unique_ptr<TAcqSource> createTestSource() const override
    {
        return makeSource ? makeSource() : ConfigDialog::createTestSource();
    }
    QStringList findBluetoothDevices() const override
    {
        ++searches;
        return devices;
    }
};

class ConfigDialogTest : public ::testing::Test
{
protected:
    ConfigDialogTest() { m_dialog.show(); }

    template <typename Widget = QWidget>
    Widget* child(const char* name) const
    {
        auto* widget = m_dialog.findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* button) const { child<QAbstractButton>(button)->click(); }
    QLineEdit* port() const { return child<QLineEdit>("txtBluetoothPort"); }
    AcqTestWindow* testWindow() const { return m_dialog.findChild<AcqTestWindow*>(); }
    static QStringList storedKeys() { return QSettings().allKeys(); }

    TempSettings m_settings;
    ScriptedConfigDialog m_dialog;
};

TEST_F(ConfigDialogTest, WithoutStoredSettingsShowsAndStoresTheDialogDefaults)
{
    EXPECT_TRUE(child<QRadioButton>("rbtAcqDevice")->isChecked());
    EXPECT_TRUE(port()->text().isEmpty());
    EXPECT_FALSE(port()->isEnabled());
    EXPECT_FALSE(child("btnBluetoothDetect")->isEnabled());
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("numLowBatteryLevel")->value(), 2.6);
    EXPECT_EQ(child<QSpinBox>("numSignalGain")->value(), 300);

    child<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Ok)->click();
    const QSettings stored;
    // Six of the Config group, five of the late-potential page, four of
    // the Hospital page.
    EXPECT_EQ(stored.allKeys().size(), 15);
    EXPECT_EQ(stored.value(QStringLiteral("Hospital/LocalAeTitle")), QVariant(QStringLiteral("VAROR")));
    EXPECT_EQ(stored.value(QStringLiteral("Hospital/PacsPort")).toInt(), 104);
    EXPECT_EQ(stored.value(QStringLiteral("Config/AcqMode")), QVariant(QString()));
    EXPECT_EQ(stored.value(QStringLiteral("Config/AcqBluetoothPort")), QVariant(QString()));
    EXPECT_DOUBLE_EQ(stored.value(QStringLiteral("Config/LowBatteryLevel")).toDouble(), 2.6);
    EXPECT_EQ(stored.value(QStringLiteral("Config/SignalGain")).toInt(), 300);
    EXPECT_FALSE(stored.value(QStringLiteral("Config/BeatAveragingNotchFilter")).toBool());
    EXPECT_FALSE(stored.value(QStringLiteral("Config/BeatAveragingLowpassFilter")).toBool());
    // The late-potential page.
    EXPECT_DOUBLE_EQ(stored.value(QStringLiteral("Config/RecordingNoiseTarget")).toDouble(), 1.0);
    EXPECT_FALSE(stored.value(QStringLiteral("Config/StopAtNoiseTarget")).toBool());
    EXPECT_DOUBLE_EQ(stored.value(QStringLiteral("Config/LatePotentialsNoiseLimit")).toDouble(), 1.0);
    EXPECT_EQ(stored.value(QStringLiteral("Config/LatePotentialsMinimumBeats")).toInt(), 100);
    EXPECT_EQ(stored.value(QStringLiteral("Config/LatePotentialsCutoff")).toInt(), 25);
}

TEST_F(ConfigDialogTest, ShowsTheStoredModeAndCancelWritesNothing)
{
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("bluetooth-com"));
    TSettings::setValue(TSettings::AcqBluetoothPort, QStringLiteral("/dev/rfcomm0"));
    ScriptedConfigDialog dialog;
    EXPECT_TRUE(dialog.findChild<QRadioButton*>(QStringLiteral("rbtAcqDeviceBT"))->isChecked());
    EXPECT_TRUE(dialog.findChild<QLineEdit*>(QStringLiteral("txtBluetoothPort"))->isEnabled());
    dialog.findChild<QRadioButton*>(QStringLiteral("rbtAcqDemo"))->click();
    EXPECT_FALSE(dialog.findChild<QLineEdit*>(QStringLiteral("txtBluetoothPort"))->isEnabled());
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(storedKeys().size(), 2);
    EXPECT_EQ(TSettings::text(TSettings::AcqMode), QStringLiteral("bluetooth-com"));
}

TEST_F(ConfigDialogTest, BluetoothDetectionTakesOnlyASingleDevice)
{
    child<QRadioButton>("rbtAcqDeviceBT")->click();
    port()->setText(QStringLiteral("/dev/rfcomm9"));
    // Detects with the given devices; answers the confirmation with the button.
    const auto detect = [&](const QStringList& devices, QMessageBox::StandardButton confirm) {
        m_dialog.devices = devices;
        ModalBoxAnswerer answerer({confirm});
        click("btnBluetoothDetect");
        return answerer.messages;
    };
    const QString confirmation =
        QStringLiteral("Information: Make sure that the device has been paired and is turned on.\nPress <OK> to continue.");

    EXPECT_EQ(detect({QStringLiteral("/dev/rfcomm1")}, QMessageBox::Cancel), QStringList{confirmation});
    EXPECT_EQ(m_dialog.searches, 0);
    EXPECT_EQ(detect({QStringLiteral("/dev/rfcomm1"), QStringLiteral("/dev/rfcomm2")}, QMessageBox::Ok),
              (QStringList{confirmation, QStringLiteral("Information: There is more than one device in range.\n"
                                                        "Please make sure that only one device is turned on "
                                                        "and try again.")}));
    EXPECT_EQ(detect({}, QMessageBox::Ok),
              (QStringList{confirmation, QStringLiteral("Information: No device found.\nPlease make sure that "
                                                        "the device is paired and turned on.")}));
    EXPECT_EQ(port()->text(), QStringLiteral("/dev/rfcomm9"));
    EXPECT_EQ(detect({QStringLiteral("/dev/rfcomm3")}, QMessageBox::Ok), QStringList{confirmation});
    EXPECT_EQ(port()->text(), QStringLiteral("/dev/rfcomm3"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(storedKeys().isEmpty());
}

TEST_F(ConfigDialogTest, TestUsesTheChoiceOnScreenAndStoresNothing)
{
    const DataFolderAsCurrent dataFolder;
    // The stored (absent) mode is USB; the demo choice replays the 500 Hz recording.
    child<QRadioButton>("rbtAcqDemo")->click();
    click("btnAcqTest");
    QPointer<AcqTestWindow> window = testWindow();
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Acquisition test"));
    EXPECT_EQ(window->signal()->samplingRate(), 500);
    EXPECT_TRUE(waitUntil([&] { return window->signal()->appendedCount() > 0; }));
    window->close();
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }));

    // USB without a device: the source cannot be created, and the operator is told.
    child<QRadioButton>("rbtAcqDevice")->click();
    ModalBoxAnswerer answerer;
    click("btnAcqTest");
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("Error: Device not found")});
    EXPECT_EQ(testWindow(), nullptr);
    EXPECT_TRUE(storedKeys().isEmpty());
}

TEST_F(ConfigDialogTest, TestWindowReleasesItsSourceHoweverItEnds)
{
    auto probe = std::make_shared<SourceProbe>();
    const auto replay = [&] {
        return std::make_unique<ProbedSource<TFastReplaySource>>(probe, QStringLiteral(VAROR_DATA_DIR "/ecg500.dat"),
                                                                 14, 500, 500 * 20);
    };
    // Closed while data flows.
    m_dialog.makeSource = replay;
    click("btnAcqTest");
    QPointer<AcqTestWindow> window = testWindow();
    ASSERT_TRUE(waitUntil([&] { return window->signal()->appendedCount() > 5000; }));
    window->close();
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_TRUE(probe->destroyed && probe->stopped());

    // Gone with the dialog that opened it.
    probe = std::make_shared<SourceProbe>();
    {
        ScriptedConfigDialog dialog;
        dialog.makeSource = replay;
        dialog.findChild<QPushButton*>(QStringLiteral("btnAcqTest"))->click();
        ASSERT_TRUE(waitUntil([&] { return probe->starts > 0; }));
    }
    EXPECT_TRUE(probe->destroyed && probe->stopped());

    // The source fails: the operator sees its error, and closing still releases it.
    probe = std::make_shared<SourceProbe>();
    m_dialog.makeSource = [&] {
        auto source = std::make_unique<ProbedSource<FakeAcqSource>>(probe, 500);
        source->shortReadBy = 2;
        source->push(QByteArray(14 * 2 * 200, '\0'));
        return source;
    };
    ModalBoxAnswerer answerer;
    click("btnAcqTest");
    window = testWindow();
    ASSERT_TRUE(answerer.waitForBoxes(1));
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("Error: Scripted source failure")});
    window->close();
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_TRUE(probe->destroyed && probe->stopped());
}

} // namespace
