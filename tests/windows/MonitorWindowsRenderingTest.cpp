// The monitor window with live demo data, the electrode panel, the
// configuration dialog and the acquisition test window under the dark style
// sheet, saved into the build folder
// (renderings/*.png) to be looked at, and checked for texts and fields cut
// by a size below what they need.
#include "MonitorTestSupport.h"
#include "tests/pipeline/PipelineTestSupport.h"
#include "tests/settings/TempSettings.h"

#include "acquisition/TFastReplaySource.h"
#include "pipeline/TAnalysisPipeline.h"
#include "analysis/signal/TSignal.h"
#include "settings/TSettings.h"
#include "windows/EcgMonitorWindow.h"
#include "windows/AcqTestWindow.h"
#include "windows/ConfigDialog.h"
#include "windows/ElectrodeStatusWidget.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace monitortest;

namespace {

// Whether the widget is shown smaller than its content needs: the whole
// text of a label or button (wrapped labels: the height for their width),
// the value of a field. Pictures scaled to their label are never cut.
bool isClipped(const QWidget& widget)
{
    const auto* label = qobject_cast<const QLabel*>(&widget);
    if (label && label->hasScaledContents())
        return false;
    if (label && label->wordWrap())
        return widget.height() < label->heightForWidth(widget.width());
    const bool isText = label || qobject_cast<const QAbstractButton*>(&widget);
    const bool isField = qobject_cast<const QLineEdit*>(&widget) || qobject_cast<const QAbstractSpinBox*>(&widget);
    const QSize need = isText ? widget.sizeHint() : widget.minimumSizeHint();
    return (isText || isField) && (widget.width() < need.width() || widget.height() < need.height());
}

QStringList clippedWidgets(const QWidget& window)
{
    QStringList clipped;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->isVisible() && !widget->objectName().startsWith(QLatin1String("qt_")) && isClipped(*widget))
            clipped.append(QStringLiteral("%1 %2x%3").arg(widget->objectName()).arg(widget->width()).arg(widget->height()));
    }
    return clipped;
}

class MonitorWindowsRenderingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile sheet(QStringLiteral(":/styles/dark.css"));
        ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        ASSERT_TRUE(QDir().mkpath(QStringLiteral(VAROR_RENDER_DIR)));
    }
    void TearDown() override { qApp->setStyleSheet(QString()); }

    // Saves the window as renderings/<name>.png.
    static void save(QWidget& window, const QString& name)
    {
        QCoreApplication::processEvents();
        const QString path = QStringLiteral(VAROR_RENDER_DIR "/%1.png").arg(name);
        EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
        const QStringList clipped = clippedWidgets(window);
        EXPECT_TRUE(clipped.isEmpty()) << path.toStdString() << ": " << clipped.join(QStringLiteral(", ")).toStdString();
    }

    TempSettings m_settings;
};

TEST_F(MonitorWindowsRenderingTest, MonitorWindowRecordingTheDemo)
{
    TSettings::setValue(TSettings::AcqMode, QStringLiteral("demo"));
    auto probe = std::make_shared<SourceProbe>();
    probe->battery = 2.0;
    probe->electrodeV2Off = true;
    ProbedSource<TFastReplaySource> source(probe, QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"), 14, 1000, 25000);
    pipelinetest::TemporaryStudy study(source);
    EcgMonitorWindow window(nullptr, &source, study.study());
    window.resize(1280, 800);
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    ASSERT_TRUE(waitUntil([&] { return window.pipeline()->rawSignal()->appendedCount() >= source.streamedFrames(); }));
    // The device seems lost: the connecting icon joins the low-battery one.
    probe->healthy = false;
    // Two updates: the electrode panel is made on the first and shown on the second.
    for (int update = 0; update < 2; ++update)
        QMetaObject::invokeMethod(window.findChild<QTimer*>(QStringLiteral("updateTimer")), "timeout");
    save(window, QStringLiteral("monitor-window"));
}

TEST_F(MonitorWindowsRenderingTest, ElectrodePanel)
{
    ElectrodeStatusWidget panel;
    panel.setElectrode(QStringLiteral("LA"), true);
    panel.setElectrode(QStringLiteral("V3"), true);
    panel.show();
    save(panel, QStringLiteral("electrode-status"));
}

TEST_F(MonitorWindowsRenderingTest, ConfigurationDialogPages)
{
    ConfigDialog dialog;
    dialog.show();
    auto* categories = dialog.findChild<QListWidget*>(QStringLiteral("listCategory"));
    const QStringList pages = {QStringLiteral("analysis"), QStringLiteral("acquisition"), QStringLiteral("hardware")};
    for (int page = 0; page < pages.size(); ++page) {
        categories->setCurrentRow(page);
        if (page == 1)
            dialog.findChild<QRadioButton*>(QStringLiteral("rbtAcqDeviceBT"))->click();
        save(dialog, QStringLiteral("config-") + pages[page]);
    }
}

TEST_F(MonitorWindowsRenderingTest, AcquisitionTestWindow)
{
    const DataFolderAsCurrent dataFolder;
    ConfigDialog dialog;
    dialog.show();
    dialog.findChild<QRadioButton*>(QStringLiteral("rbtAcqDemo"))->click();
    dialog.findChild<QPushButton*>(QStringLiteral("btnAcqTest"))->click();
    auto* window = dialog.findChild<AcqTestWindow*>();
    ASSERT_NE(window, nullptr);
    // Three seconds of the demo recording, replayed at its own pace.
    ASSERT_TRUE(waitUntil([&] { return window->signal()->appendedCount() >= 3 * 500; }));
    save(*window, QStringLiteral("acquisition-test"));
}

} // namespace
