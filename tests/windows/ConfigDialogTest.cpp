// The configuration dialog on temporary settings: what it shows and stores,
// Bluetooth detection, and the acquisition test window with its sources.
#include "MonitorTestSupport.h"
#include "acquisition/FakeAcqSource.h"
#include "app/TempSettings.h"

#include "acquisition/TFastReplaySource.h"
#include "analysis/TSignal.h"
#include "app/TSettings.h"
#include "windows/AcqTestWindow.h"
#include "windows/ConfigDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>

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

    template <typename Widget>
    Widget* child(const char* name) const
    {
        auto* widget = m_dialog.findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QRadioButton* radio(const char* name) const { return child<QRadioButton>(name); }
    QLineEdit* port() const { return child<QLineEdit>("txtBluetoothPort"); }
    QDoubleSpinBox* batteryLevel() const { return child<QDoubleSpinBox>("numLowBatteryLevel"); }
    QSpinBox* gain() const { return child<QSpinBox>("numSignalGain"); }
    void click(const char* name) const { child<QPushButton>(name)->click(); }
    void press(QDialogButtonBox::StandardButton button) const
    {
        child<QDialogButtonBox>("buttonBox")->button(button)->click();
    }
    bool bluetoothEnabled() const
    {
        return child<QLabel>("lblBluetoothPort")->isEnabled() && port()->isEnabled()
            && child<QPushButton>("btnBluetoothDetect")->isEnabled();
    }
    bool bluetoothDisabled() const
    {
        return !child<QLabel>("lblBluetoothPort")->isEnabled() && !port()->isEnabled()
            && !child<QPushButton>("btnBluetoothDetect")->isEnabled();
    }
    AcqTestWindow* testWindow() const { return m_dialog.findChild<AcqTestWindow*>(); }

    static QStringList storedKeys() { return QSettings().allKeys(); }

    TempSettings m_settings;
    ScriptedConfigDialog m_dialog;
};

TEST_F(ConfigDialogTest, WithoutStoredSettingsShowsAndStoresTheDialogDefaults)
{
    EXPECT_EQ(m_dialog.windowTitle(), QStringLiteral("Configuration"));
    EXPECT_EQ(m_dialog.size(), QSize(401, 281));
    EXPECT_FALSE(m_dialog.windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(child<QListWidget>("listCategory")->currentRow(), 0);
    EXPECT_EQ(child<QStackedWidget>("pages")->currentIndex(), 0);

    EXPECT_FALSE(child<QCheckBox>("chkBeatAvgNotchFilter")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkBeatAvgLowpassFilter")->isChecked());
    EXPECT_TRUE(radio("rbtAcqDevice")->isChecked());
    EXPECT_TRUE(port()->text().isEmpty());
    EXPECT_TRUE(bluetoothDisabled());
    EXPECT_DOUBLE_EQ(batteryLevel()->value(), 2.6);
    EXPECT_EQ(gain()->value(), 300);
    EXPECT_TRUE(storedKeys().isEmpty());

    press(QDialogButtonBox::Ok);
    const QSettings stored;
    EXPECT_EQ(stored.allKeys().size(), 6);
    EXPECT_EQ(stored.value(QStringLiteral("Config/AcqMode")).toString(), QString());
    EXPECT_EQ(stored.value(QStringLiteral("Config/AcqBluetoothPort")).toString(), QString());
    EXPECT_DOUBLE_EQ(stored.value(QStringLiteral("Config/LowBatteryLevel")).toDouble(), 2.6);
    EXPECT_EQ(stored.value(QStringLiteral("Config/SignalGain")).toInt(), 300);
    EXPECT_FALSE(stored.value(QStringLiteral("Config/BeatAveragingNotchFilter")).toBool());
    EXPECT_FALSE(stored.value(QStringLiteral("Config/BeatAveragingLowpassFilter")).toBool());
    EXPECT_TRUE(stored.contains(QStringLiteral("Config/BeatAveragingLowpassFilter")));
}

TEST_F(ConfigDialogTest, ShowsStoredSettingsAndWritesOnlyOnOk)
{
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("bluetooth-com"));
    TSettings::setValue(TSettings::AcqBluetoothPort, QStringLiteral("/dev/rfcomm0"));
    TSettings::setValue(TSettings::LowBatteryLevel, 3.1);
    TSettings::setValue(TSettings::SignalGain, 450);
    TSettings::setValue(TSettings::BeatAveragingLowpassFilter, true);
    {
        ScriptedConfigDialog dialog;
        EXPECT_TRUE(dialog.findChild<QRadioButton*>(QStringLiteral("rbtAcqDeviceBT"))->isChecked());
        EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("lblBluetoothPort"))->isEnabled());
        EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("txtBluetoothPort"))->text(),
                  QStringLiteral("/dev/rfcomm0"));
        EXPECT_DOUBLE_EQ(dialog.findChild<QDoubleSpinBox*>(QStringLiteral("numLowBatteryLevel"))->value(), 3.1);
        EXPECT_EQ(dialog.findChild<QSpinBox*>(QStringLiteral("numSignalGain"))->value(), 450);
        EXPECT_FALSE(dialog.findChild<QCheckBox*>(QStringLiteral("chkBeatAvgNotchFilter"))->isChecked());
        EXPECT_TRUE(dialog.findChild<QCheckBox*>(QStringLiteral("chkBeatAvgLowpassFilter"))->isChecked());
        dialog.findChild<QRadioButton*>(QStringLiteral("rbtAcqDemo"))->click();
        dialog.reject();
    }
    EXPECT_EQ(TSettings::text(TSettings::AcqMode), QStringLiteral("bluetooth-com"));

    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    ScriptedConfigDialog demo;
    EXPECT_TRUE(demo.findChild<QRadioButton*>(QStringLiteral("rbtAcqDemo"))->isChecked());
    EXPECT_FALSE(demo.findChild<QLineEdit*>(QStringLiteral("txtBluetoothPort"))->isEnabled());
    demo.findChild<QRadioButton*>(QStringLiteral("rbtAcqDeviceBT"))->click();
    EXPECT_TRUE(demo.findChild<QLineEdit*>(QStringLiteral("txtBluetoothPort"))->isEnabled());
    demo.findChild<QSpinBox*>(QStringLiteral("numSignalGain"))->setValue(1200);
    demo.accept();
    EXPECT_EQ(TSettings::text(TSettings::AcqMode), QStringLiteral("bluetooth-com"));
    EXPECT_EQ(TSettings::number(TSettings::SignalGain), 1200.0);
    EXPECT_EQ(TSettings::text(TSettings::AcqBluetoothPort), QStringLiteral("/dev/rfcomm0"));
}

TEST_F(ConfigDialogTest, CategoriesShowTheirPagesAndHardwareDefaultsAreProposed)
{
    auto* list = child<QListWidget>("listCategory");
    auto* pages = child<QStackedWidget>("pages");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), QStringLiteral("Hardware"));
    list->setCurrentRow(2);
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_TRUE(batteryLevel()->isVisible());

    batteryLevel()->setValue(4.0);
    gain()->setValue(100);
    EXPECT_EQ(batteryLevel()->maximum(), 10.0);
    EXPECT_EQ(gain()->maximum(), 5000);
    click("btnHardwareDefaults");
    EXPECT_DOUBLE_EQ(batteryLevel()->value(), 2.6);
    EXPECT_EQ(gain()->value(), 300);
    EXPECT_TRUE(storedKeys().isEmpty());

    list->setCurrentRow(1);
    EXPECT_EQ(pages->currentIndex(), 1);
    radio("rbtAcqDeviceBT")->click();
    EXPECT_TRUE(bluetoothEnabled());
    radio("rbtAcqDevice")->click();
    EXPECT_TRUE(bluetoothDisabled());
}

TEST_F(ConfigDialogTest, BluetoothDetectionTakesOnlyASingleDevice)
{
    radio("rbtAcqDeviceBT")->click();
    port()->setText(QStringLiteral("/dev/rfcomm9"));
    const QString confirm = QStringLiteral("Information: Make sure that the device has been paired and is "
                                           "turned on.\nPress <OK> to continue.");
    {
        ModalBoxAnswerer answerer({QMessageBox::Cancel});
        click("btnBluetoothDetect");
        EXPECT_EQ(answerer.messages, QStringList{confirm});
        EXPECT_EQ(m_dialog.searches, 0);
    }
    {
        m_dialog.devices = QStringList{QStringLiteral("/dev/rfcomm1"), QStringLiteral("/dev/rfcomm2")};
        ModalBoxAnswerer answerer;
        click("btnBluetoothDetect");
        ASSERT_TRUE(answerer.waitForBoxes(2)) << answerer.messages.join("|").toStdString();
        EXPECT_EQ(answerer.messages[1], QStringLiteral("Information: There is more than one device in range.\n"
                                                       "Please make sure that only one device is turned on "
                                                       "and try again."));
        EXPECT_EQ(port()->text(), QStringLiteral("/dev/rfcomm9"));
    }
    {
        m_dialog.devices.clear();
        ModalBoxAnswerer answerer;
        click("btnBluetoothDetect");
        ASSERT_TRUE(answerer.waitForBoxes(2));
        EXPECT_EQ(answerer.messages[1], QStringLiteral("Information: No device found.\nPlease make sure that "
                                                       "the device is paired and turned on."));
        EXPECT_EQ(port()->text(), QStringLiteral("/dev/rfcomm9"));
    }
    {
        m_dialog.devices = QStringList{QStringLiteral("/dev/rfcomm3")};
        ModalBoxAnswerer answerer;
        click("btnBluetoothDetect");
        EXPECT_EQ(answerer.messages, QStringList{confirm});
        EXPECT_EQ(port()->text(), QStringLiteral("/dev/rfcomm3"));
    }
    EXPECT_EQ(m_dialog.searches, 3);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(storedKeys().isEmpty());
}

TEST_F(ConfigDialogTest, TestUsesTheChoiceOnScreenAndStoresNothing)
{
    const DataFolderAsCurrent dataFolder;
    child<QListWidget>("listCategory")->setCurrentRow(1);

    // The stored (absent) mode is USB; the demo choice replays the 500 Hz recording.
    radio("rbtAcqDemo")->click();
    click("btnAcqTest");
    QPointer<AcqTestWindow> window = testWindow();
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Acquisition test"));
    EXPECT_EQ(window->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(window->isVisible());
    ASSERT_NE(window->signal(), nullptr);
    EXPECT_EQ(window->signal()->samplingRate(), 500);
    EXPECT_EQ(window->signal()->channelCount(), 14);
    EXPECT_TRUE(waitUntil([&] { return window->signal()->appendedCount() > 0; }));
    window->close();
    EXPECT_TRUE(waitUntil([&] { return window.isNull(); }));

    // USB without a device: the source cannot be created, and the operator is told.
    radio("rbtAcqDevice")->click();
    ModalBoxAnswerer answerer;
    click("btnAcqTest");
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("Error: Device not found")});
    EXPECT_EQ(testWindow(), nullptr);
    EXPECT_TRUE(storedKeys().isEmpty());
}

// A 500 Hz replay of the demo recording whose life the probe follows.
std::unique_ptr<TAcqSource> probedReplay(const std::shared_ptr<SourceProbe>& probe)
{
    return std::make_unique<ProbedSource<TFastReplaySource>>(
        probe, QStringLiteral(VAROR_DATA_DIR "/ecg500.dat"), 14, 500, 500 * 20);
}

TEST_F(ConfigDialogTest, TestWindowReleasesItsSourceHoweverItEnds)
{
    // Closed while data flows.
    auto probe = std::make_shared<SourceProbe>();
    m_dialog.makeSource = [&] { return probedReplay(probe); };
    click("btnAcqTest");
    QPointer<AcqTestWindow> window = testWindow();
    ASSERT_FALSE(window.isNull());
    ASSERT_TRUE(waitUntil([&] { return window->signal()->appendedCount() > 5000; }));
    window->close();
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_TRUE(probe->destroyed);
    EXPECT_TRUE(probe->stopped());

    // Gone with the dialog that opened it.
    probe = std::make_shared<SourceProbe>();
    {
        ScriptedConfigDialog dialog;
        dialog.makeSource = [&] { return probedReplay(probe); };
        dialog.show();
        dialog.findChild<QPushButton*>(QStringLiteral("btnAcqTest"))->click();
        ASSERT_TRUE(waitUntil([&] { return probe->starts > 0; }));
    }
    EXPECT_TRUE(probe->destroyed);
    EXPECT_TRUE(probe->stopped());

    // The source fails: the operator sees its error, and closing still releases it.
    probe = std::make_shared<SourceProbe>();
    FakeAcqSource* failing = nullptr;
    m_dialog.makeSource = [&] {
        auto source = std::make_unique<ProbedSource<FakeAcqSource>>(probe, 500);
        source->shortReadBy = 2;
        source->push(QByteArray(14 * 2 * 200, '\0'));
        failing = source.get();
        return source;
    };
    ModalBoxAnswerer answerer;
    click("btnAcqTest");
    window = testWindow();
    ASSERT_NE(failing, nullptr);
    ASSERT_TRUE(answerer.waitForBoxes(1));
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("Error: Scripted source failure")});
    ASSERT_FALSE(window.isNull());
    window->close();
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); }));
    EXPECT_TRUE(probe->destroyed);
    EXPECT_TRUE(probe->stopped());
}

} // namespace
