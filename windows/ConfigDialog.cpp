#include "windows/ConfigDialog.h"

#include "ui_ConfigDialog.h"

#include "acquisition/TAcqSourceFactory.h"
#include "acquisition/TDemoAcqSource.h"
#include "acquisition/TDeviceAcqSource.h"
#include "acquisition/TDeviceProtocol.h"
#include "settings/TSettings.h"
#include "windows/AcqTestWindow.h"
#include "windows/HospitalSettingsPage.h"
#include "windows/QStudyStorePage.h"
#include "windows/TWaitCursor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace {

// Time the progress dialog gets to be painted before the search blocks.
constexpr int PaintDelayMs = 10;
constexpr int Cutoffs[] = {25, 40};

QDoubleSpinBox* microvoltsField(const char* name, QWidget* parent)
{
    auto* field = new QDoubleSpinBox(parent);
    field->setObjectName(QLatin1String(name));
    field->setRange(0.1, 10.0);
    field->setSingleStep(0.1);
    field->setDecimals(1);
    field->setSuffix(QStringLiteral(" uV"));
    return field;
}

} // namespace

ConfigDialog::ConfigDialog(QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ConfigDialog>())
{
    m_ui->setupUi(this);
    m_hospitalPage = new HospitalSettingsPage(m_ui->pages);
    m_ui->listCategory->addItem(tr("Hospital"));
    m_ui->pages->addWidget(m_hospitalPage);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_storePage = new QStudyStorePage(m_ui->pages);
    m_ui->pages->addWidget(m_storePage);
    m_ui->listCategory->addItem(tr("Studies"));
    m_ui->listCategory->setCurrentRow(0);
    m_ui->pages->setCurrentIndex(0);
    addLatePotentialsPage();
    // The dialog keeps its size: a category name longer than the list is
    // wide goes on two lines.
    m_ui->listCategory->setWordWrap(true);
    loadSettings();
}

void ConfigDialog::addLatePotentialsPage()
{
    auto* page = new QWidget(m_ui->pages);
    page->setObjectName(QStringLiteral("pageLatePotentials"));
    auto* form = new QFormLayout(page);
    m_noiseTarget = microvoltsField("numNoiseTarget", page);
    m_stopAtNoiseTarget = new QCheckBox(tr("Stop there"), page);
    m_stopAtNoiseTarget->setToolTip(tr("Stop recording when the noise reaches its target"));
    m_stopAtNoiseTarget->setObjectName(QStringLiteral("chkStopAtNoiseTarget"));
    m_noiseLimit = microvoltsField("numNoiseLimit", page);
    m_minimumBeats = new QSpinBox(page);
    m_minimumBeats->setObjectName(QStringLiteral("numMinimumBeats"));
    m_minimumBeats->setRange(1, 10000);
    m_cutoff = new QComboBox(page);
    m_cutoff->setObjectName(QStringLiteral("cboCutoff"));
    for (const int cutoff : Cutoffs)
        m_cutoff->addItem(tr("%1 Hz").arg(cutoff), cutoff);
    form->addRow(tr("Noise target"), m_noiseTarget);
    form->addRow(QString(), m_stopAtNoiseTarget);
    form->addRow(tr("Noise limit"), m_noiseLimit);
    form->addRow(tr("Fewest beats"), m_minimumBeats);
    form->addRow(tr("Cutoff shown"), m_cutoff);
    auto* note = new QLabel(tr("The verdict is always judged at 40 Hz."), page);
    note->setWordWrap(true);
    form->addRow(note);
    m_ui->pages->addWidget(page);
    m_ui->listCategory->addItem(tr("Late potentials"));
}

ConfigDialog::~ConfigDialog() = default;

void ConfigDialog::loadSettings()
{
    m_ui->chkBeatAvgNotchFilter->setChecked(TSettings::flag(TSettings::BeatAveragingNotchFilter));
    m_ui->chkBeatAvgLowpassFilter->setChecked(TSettings::flag(TSettings::BeatAveragingLowpassFilter));
    setAcquisitionMode(TSettings::text(TSettings::AcqMode));
    m_ui->txtBluetoothPort->setText(TSettings::text(TSettings::AcqBluetoothPort));
    m_ui->numLowBatteryLevel->setValue(TSettings::editorValue(TSettings::LowBatteryLevel).toDouble());
    m_ui->numSignalGain->setValue(TSettings::editorValue(TSettings::SignalGain).toInt());
    m_noiseTarget->setValue(TSettings::number(TSettings::RecordingNoiseTarget));
    m_stopAtNoiseTarget->setChecked(TSettings::flag(TSettings::StopAtNoiseTarget));
    m_noiseLimit->setValue(TSettings::number(TSettings::LatePotentialsNoiseLimit));
    m_minimumBeats->setValue(TSettings::whole(TSettings::LatePotentialsMinimumBeats));
    m_cutoff->setCurrentIndex(std::max(0, m_cutoff->findData(TSettings::whole(TSettings::LatePotentialsCutoff))));
    enableBluetoothPort(m_ui->rbtAcqDeviceBT->isChecked());
}

QString ConfigDialog::acquisitionMode() const
{
    if (m_ui->rbtAcqDemo->isChecked())
        return QString::fromLatin1(TAcqSourceFactory::DemoMode);
    if (m_ui->rbtAcqDeviceBT->isChecked())
        return QString::fromLatin1(TAcqSourceFactory::BluetoothMode);
    return QString();
}

void ConfigDialog::setAcquisitionMode(const QString& mode)
{
    if (mode == QLatin1String(TAcqSourceFactory::DemoMode))
        m_ui->rbtAcqDemo->setChecked(true);
    else if (mode == QLatin1String(TAcqSourceFactory::BluetoothMode))
        m_ui->rbtAcqDeviceBT->setChecked(true);
    else
        m_ui->rbtAcqDevice->setChecked(true);
}

void ConfigDialog::enableBluetoothPort(bool enabled)
{
    m_ui->lblBluetoothPort->setEnabled(enabled);
    m_ui->txtBluetoothPort->setEnabled(enabled);
    m_ui->btnBluetoothDetect->setEnabled(enabled);
}

std::unique_ptr<TAcqSource> ConfigDialog::createTestSource() const
{
    using namespace TAcqSourceFactory;
    if (m_ui->rbtAcqDevice->isChecked())
        return std::make_unique<TDeviceAcqSource>(TDeviceProtocol::LinkSpeed);
    if (m_ui->rbtAcqDeviceBT->isChecked())
        return std::make_unique<TDeviceAcqSource>(m_ui->txtBluetoothPort->text(), TDeviceProtocol::LinkSpeed);
    return std::make_unique<TDemoAcqSource>(QString::fromLatin1(DemoTestFileName), DemoChannelCount,
                                            DemoTestSampleRate, DemoBytesPerSample, DemoResolutionBits,
                                            DemoGain, DemoDataOffset);
}

QStringList ConfigDialog::findBluetoothDevices() const
{
    return TDeviceAcqSource::findBluetoothDevices();
}

void ConfigDialog::on_btnAcqTest_clicked()
{
    try {
        auto* window = new AcqTestWindow(createTestSource(), this);
        window->start();
    } catch (const std::exception& error) {
        QMessageBox::critical(this, tr("Error"), QString::fromLocal8Bit(error.what()));
    }
}

void ConfigDialog::on_ConfigDialog_accepted()
{
    TSettings::setValue(TSettings::BeatAveragingNotchFilter, m_ui->chkBeatAvgNotchFilter->isChecked());
    TSettings::setValue(TSettings::BeatAveragingLowpassFilter, m_ui->chkBeatAvgLowpassFilter->isChecked());
    TSettings::setValue(TSettings::AcqMode, acquisitionMode());
    TSettings::setValue(TSettings::AcqBluetoothPort, m_ui->txtBluetoothPort->text());
    TSettings::setValue(TSettings::LowBatteryLevel, m_ui->numLowBatteryLevel->value());
    TSettings::setValue(TSettings::SignalGain, m_ui->numSignalGain->value());
    TSettings::setValue(TSettings::RecordingNoiseTarget, m_noiseTarget->value());
    TSettings::setValue(TSettings::StopAtNoiseTarget, m_stopAtNoiseTarget->isChecked());
    TSettings::setValue(TSettings::LatePotentialsNoiseLimit, m_noiseLimit->value());
    TSettings::setValue(TSettings::LatePotentialsMinimumBeats, m_minimumBeats->value());
    TSettings::setValue(TSettings::LatePotentialsCutoff, m_cutoff->currentData().toInt());
    m_storePage->save();
    m_hospitalPage->save();
}

void ConfigDialog::on_listCategory_currentRowChanged(int currentRow)
{
    m_ui->pages->setCurrentIndex(currentRow);
    m_ui->pages->setFocus();
}

void ConfigDialog::on_rbtAcqDeviceBT_toggled(bool checked)
{
    enableBluetoothPort(checked);
}

void ConfigDialog::on_btnBluetoothDetect_clicked()
{
    const QMessageBox::StandardButton answer = QMessageBox::information(
        this, tr("Information"),
        tr("Make sure that the device has been paired and is turned on.\nPress <OK> to continue."),
        QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;
    takeDetectedDevices(searchBluetoothDevices());
}

QStringList ConfigDialog::searchBluetoothDevices()
{
    const TWaitCursor waitCursor;
    QProgressDialog progress(tr("Please wait..."), QString(), 0, 0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setCancelButton(nullptr);
    progress.show();
    QEventLoop paint;
    QTimer::singleShot(PaintDelayMs, &paint, &QEventLoop::quit);
    paint.exec();
    return findBluetoothDevices();
}

void ConfigDialog::takeDetectedDevices(const QStringList& ports)
{
    if (ports.size() == 1) {
        m_ui->txtBluetoothPort->setText(ports.first());
    } else if (ports.size() > 1) {
        QMessageBox::information(this, tr("Information"),
                                 tr("There is more than one device in range.\nPlease make sure that only "
                                    "one device is turned on and try again."));
    } else {
        QMessageBox::information(this, tr("Information"),
                                 tr("No device found.\nPlease make sure that the device is paired and "
                                    "turned on."));
    }
}

void ConfigDialog::on_btnHardwareDefaults_clicked()
{
    m_ui->numLowBatteryLevel->setValue(TSettings::LowBatteryLevel.editorDefault.toDouble());
    m_ui->numSignalGain->setValue(TSettings::SignalGain.editorDefault.toInt());
}
