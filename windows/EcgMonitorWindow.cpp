#include "windows/EcgMonitorWindow.h"

#include "ui_EcgMonitorWindow.h"

#include "acquisition/TAcqSource.h"
#include "acquisition/TAcqSourceFactory.h"
#include "analysis/signal/TAnalysisConstants.h"
#include "pipeline/TAnalysisPipeline.h"
#include "analysis/beats/TBeatStore.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/latepotentials/TRecordingNoise.h"
#include "settings/TSettings.h"
#include "display/DisplayColorSchemes.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "windows/ElectrodeStatusWidget.h"
#include "windows/TClipHighlighter.h"
#include "windows/TMonitorWindowListener.h"

#include <QDateTime>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>

namespace {

constexpr int UpdateIntervalMs = 1000;
// Updates between two measurements of the recording's noise.
constexpr int NoiseUpdates = 5;
// Seconds without a QRS after which the heart rate is no longer shown.
constexpr double NoQrsSeconds = 3.0;
// A lost device shows within a second: half a second of silence and at
// most a quarter until the check.
constexpr int ConnectionCheckMs = 250;
// Leads shown at first: the twelve standard leads; CM5 and CR5 are hidden.
constexpr int StandardLeadCount = 12;
constexpr int AverageLead = TLeadSet::LeadV5;
// The pictures of the status icons, and the least width of their plates.
constexpr int IconSize = 50;
constexpr int IconWidth = 120;
constexpr int SimulationLabelWidth = 160;
constexpr int SimulationLabelHeight = 30;

} // namespace

EcgMonitorWindow::EcgMonitorWindow(QWidget* parent, TAcqSource* source, TStudy* study)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::EcgMonitorWindow>())
    , m_source(source)
    , m_study(study)
    , m_updateTimer(new QTimer(this))
    , m_connectionTimer(new QTimer(this))
{
    m_ui->setupUi(this);
    m_ui->frameAverageBeat->hide();
    m_connectingIcon = makeStatusIcon(QStringLiteral(":/res/connecting"), tr("Connecting"),
                                      QStringLiteral("lblConnectingIcon"));
    m_lowBatteryIcon = makeStatusIcon(QStringLiteral(":/res/low-battery"), tr("Low battery"),
                                      QStringLiteral("lblLowBatteryIcon"));
    startPipeline();
    setUpDisplays();
    m_ui->btnFilterNotch->setChecked(true);
    m_ui->btnFilterLowpass->setChecked(true);
    m_ui->btnFilterBaseline->setChecked(true);
    applyFilters();
    setUpControls();
    if (TSettings::text(TSettings::AcqMode) == QLatin1String(TAcqSourceFactory::DemoMode))
        showSimulationLabel();

    m_updateTimer->setObjectName(QStringLiteral("updateTimer"));
    connect(m_updateTimer, &QTimer::timeout, this, &EcgMonitorWindow::updateStatus);
    m_updateTimer->start(UpdateIntervalMs);
    m_connectionTimer->setObjectName(QStringLiteral("connectionTimer"));
    connect(m_connectionTimer, &QTimer::timeout, this, &EcgMonitorWindow::showConnection);
    m_connectionTimer->start(ConnectionCheckMs);
    showConnection();
    loadSettings();
}

EcgMonitorWindow::~EcgMonitorWindow()
{
    releasePipeline();
    m_listener.reset();
    saveSettings();
}

void EcgMonitorWindow::startPipeline()
{
    m_pipeline = std::make_unique<TAnalysisPipeline>(m_source, m_study);
    m_listener = std::make_unique<TMonitorWindowListener>(*m_ui->ecgDisplay, *m_ui->btnStop, *this);
    // Shown once the notification has returned, not from inside it.
    m_listener->setRecordingFailureHandler([this](const QString& reason) {
        QTimer::singleShot(0, this, [this, reason] { showRecordingFailure(reason); });
    });
    m_pipeline->addListener(m_listener.get());
    m_pipeline->start();
}

void EcgMonitorWindow::setUpDisplays()
{
    QSignalMonitorDisplay* display = m_ui->ecgDisplay;
    display->setSignal(m_pipeline->displaySignal());
    for (int lead = 0; lead < QSignalMonitorDisplay::MaxLeads; ++lead)
        display->setLeadVisible(lead, lead < StandardLeadCount);
    m_highlighter = std::make_unique<TClipHighlighter>(*m_pipeline, m_source->resolutionBits());
    display->setHighlighter(m_highlighter.get());

    m_ui->beatDisplay->setAverager(m_pipeline->liveAverager());
    for (int marker = 0; marker < QBeatDisplayZoom::MarkerCount; ++marker)
        m_ui->beatDisplay->setMarkerShown(marker, false);
}

void EcgMonitorWindow::setUpControls()
{
    const TSignal* studySignal = m_study->ecgFile();
    for (int channel = 0; channel < studySignal->channelCount(); ++channel)
        m_ui->cboAverageLead->addItem(studySignal->channelName(channel));
    m_ui->cboAverageLead->setCurrentIndex(AverageLead);
    m_ui->beatDisplay->showSingleLead(AverageLead);

    m_ui->btnStart->setEnabled(true);
    m_ui->btnStop->setEnabled(false);
    m_ui->btnStart->setFocus();
    // Space and Enter start and stop recording whatever control has the
    // focus: a speed or filter button must never take the key meant for
    // the recording.
    for (const int key : {int(Qt::Key_Space), int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, &EcgMonitorWindow::toggleRecording);
    }
    const auto patient = [this](const char* field) {
        return QString::fromStdString(m_study->propertyValue(TStudy::patientKey(field)));
    };
    // On a small screen a long name gives way to the controls; the tool tip
    // reads it in full.
    const QString name = QStringLiteral("%1, %2").arg(patient("lastName"), patient("firstName"));
    m_ui->lblPatientName->setText(name);
    m_ui->lblPatientName->setToolTip(name);
}

// At the head of the status column beside the paper: on the paper it would
// hide the first lead, and in the control bar it would push the bar's end
// off a 1280-pixel screen.
void EcgMonitorWindow::showSimulationLabel()
{
    auto* label = new QLabel(tr("Simulated ECG"), m_ui->frameControls);
    label->setObjectName(QStringLiteral("lblSimulatedEcg"));
    label->setMinimumSize(SimulationLabelWidth, SimulationLabelHeight);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("background: white; color: red; font-weight: bold; font-size: 15px"));
    m_ui->layoutStatus->insertWidget(0, label, 0, Qt::AlignHCenter);
}

void EcgMonitorWindow::loadSettings()
{
    m_colorScheme = TSettings::text(TSettings::MonitorDisplayColorScheme);
    applyColorScheme(m_ui->ecgDisplay, m_colorScheme);
    m_ui->ecgDisplay->setShowAverage(TSettings::flag(TSettings::MonitorShowAverageBeat));
    TAnalysisConstants::setLowBatteryThreshold(TSettings::number(TSettings::LowBatteryLevel));
}

void EcgMonitorWindow::saveSettings() const
{
    TSettings::setValue(TSettings::MonitorDisplayColorScheme, m_colorScheme);
    TSettings::setValue(TSettings::MonitorShowAverageBeat, m_ui->ecgDisplay->showAverage());
}

void EcgMonitorWindow::applyFilters()
{
    const bool baseline = m_ui->btnFilterBaseline->isChecked();
    TSignal* output = m_pipeline->configureDisplayChain(m_ui->btnFilterNotch->isChecked(),
                                                        m_ui->btnFilterLowpass->isChecked(), baseline);
    m_ui->ecgDisplay->setLeadIn(m_pipeline->displayInput());
    m_ui->ecgDisplay->setSignal(output);
    m_ui->ecgDisplay->setBaselineCentering(!baseline);
}

void EcgMonitorWindow::releasePipeline()
{
    if (!m_pipeline)
        return;
    // A recording ends with everything acquired and detected up to the
    // last sample stored, however the window is left.
    if (m_pipeline->isRecording()) {
        m_pipeline->finish();
        m_pipeline->stopRecording();
    }
    m_pipeline->stop();
    // Nothing may keep drawing from the pipeline's signals and averagers.
    m_ui->ecgDisplay->setSignal(nullptr);
    m_ui->ecgDisplay->setLeadIn(nullptr);
    m_ui->ecgDisplay->setHighlighter(nullptr);
    m_ui->ecgDisplay->setAverager(nullptr);
    m_ui->beatDisplay->setAverager(nullptr);
    m_pipeline->removeListener(m_listener.get());
    m_recordingNoise.reset();
    m_pipeline.reset();
    m_highlighter.reset();
}

void EcgMonitorWindow::on_btnSpeed12_clicked() { m_ui->ecgDisplay->setSpeed(12.5); }
void EcgMonitorWindow::on_btnSpeed25_clicked() { m_ui->ecgDisplay->setSpeed(25.0); }
void EcgMonitorWindow::on_btnSpeed50_clicked() { m_ui->ecgDisplay->setSpeed(50.0); }
void EcgMonitorWindow::on_btnSpeed100_clicked() { m_ui->ecgDisplay->setSpeed(100.0); }
void EcgMonitorWindow::on_btnAmp5_clicked() { m_ui->ecgDisplay->setAmplitude(5.0); }
void EcgMonitorWindow::on_btnAmp10_clicked() { m_ui->ecgDisplay->setAmplitude(10.0); }
void EcgMonitorWindow::on_btnAmp20_clicked() { m_ui->ecgDisplay->setAmplitude(20.0); }
void EcgMonitorWindow::on_btnAmp40_clicked() { m_ui->ecgDisplay->setAmplitude(40.0); }
void EcgMonitorWindow::on_btnFilterNotch_clicked() { applyFilters(); }
void EcgMonitorWindow::on_btnFilterLowpass_clicked() { applyFilters(); }
void EcgMonitorWindow::on_btnFilterBaseline_clicked() { applyFilters(); }

void EcgMonitorWindow::on_btnStart_clicked()
{
    if (!m_noiseLabel) {
        m_noiseLabel = new QLabel(m_ui->frameAverageBeat);
        m_noiseLabel->setObjectName(QStringLiteral("lblRecordingNoise"));
        m_noiseLabel->setWordWrap(true);
        m_ui->layoutAverageBeat->addWidget(m_noiseLabel);
    }
    m_ui->ecgDisplay->setAverager(m_pipeline->monitorAverager());
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    m_pipeline->startRecording(now.toStdString());
    m_ui->btnStart->setEnabled(false);
    m_ui->frameAverageBeat->show();
    emit recordingStarted();
}

void EcgMonitorWindow::toggleRecording()
{
    if (m_ui->btnStart->isEnabled())
        m_ui->btnStart->click();
    else if (m_ui->btnStop->isEnabled())
        m_ui->btnStop->click();
}

void EcgMonitorWindow::on_btnStop_clicked()
{
    releasePipeline();
    close();
}

void EcgMonitorWindow::on_ecgDisplay_customContextMenuRequested(const QPoint& point)
{
    while (execContextMenu(point)) {
    }
}

bool EcgMonitorWindow::execContextMenu(const QPoint& point)
{
    QSignalMonitorDisplay* display = m_ui->ecgDisplay;
    if (!m_contextMenu)
        m_contextMenu = new QMenu(this);
    m_contextMenu->clear();
    m_contextMenu->setTitle(tr("Show leads"));

    const TSignal* signal = display->signal();
    const int leads = signal ? signal->channelCount() : 0;
    for (int lead = 0; lead < leads; ++lead) {
        QAction* action = m_contextMenu->addAction(signal->channelName(lead));
        action->setCheckable(true);
        action->setChecked(display->isLeadVisible(lead));
        action->setData(lead);
    }
    m_contextMenu->addSeparator();
    QAction* average = m_contextMenu->addAction(tr("Average beat"));
    average->setCheckable(true);
    average->setChecked(display->showAverage());
    // Rebuilt with the menu; leaving the function removes it again.
    QMenu schemes(tr("Color scheme"));
    for (const QString& name : colorSchemeNames()) {
        QAction* action = schemes.addAction(tr(qPrintable(name)));
        action->setCheckable(true);
        action->setChecked(name == m_colorScheme);
        action->setData(name);
    }
    m_contextMenu->addMenu(&schemes);

    QAction* chosen = m_contextMenu->exec(display->mapToGlobal(point));
    if (!chosen)
        return false;
    if (chosen == average) {
        display->setShowAverage(chosen->isChecked());
    } else if (schemes.actions().contains(chosen)) {
        if (chosen->isChecked()) {
            m_colorScheme = chosen->data().toString();
            applyColorScheme(display, m_colorScheme);
        }
    } else {
        display->setLeadVisible(chosen->data().toInt(), chosen->isChecked());
        return true;
    }
    return false;
}

void EcgMonitorWindow::on_cboAverageLead_currentIndexChanged(int index)
{
    m_ui->beatDisplay->showSingleLead(index);
    if (m_pipeline)
        showAverageBeatCount(index, false);
}

void EcgMonitorWindow::on_btnZoom1_clicked() { m_ui->beatDisplay->setZoom(1); }
void EcgMonitorWindow::on_btnZoom2_clicked() { m_ui->beatDisplay->setZoom(2); }
void EcgMonitorWindow::on_btnZoom3_clicked() { m_ui->beatDisplay->setZoom(3); }
void EcgMonitorWindow::on_btnZoom4_clicked() { m_ui->beatDisplay->setZoom(4); }

void EcgMonitorWindow::on_btnClose_clicked()
{
    close();
}

void EcgMonitorWindow::updateStatus()
{
    if (!m_pipeline)
        return;
    m_lowBatteryIcon->setVisible(m_pipeline->isBatteryLow());
    showConnection();
    updateElectrodes();
    // Beats are detected from the first samples on, recording or not.
    showHeartRate();
    if (m_pipeline->isRecording())
        updateRecordingStatus();
}

void EcgMonitorWindow::showConnection()
{
    if (!m_pipeline)
        return;
    const bool lost = !m_source->isHealthy() || !m_pipeline->isStreaming();
    m_connectingIcon->setVisible(lost);
    if (!lost && !m_connectingText)
        return;
    if (!m_connectingText) {
        m_connectingText = new QLabel(tr("Connecting to the ECG device..."), m_ui->ecgDisplay);
        m_connectingText->setObjectName(QStringLiteral("lblConnecting"));
        m_connectingText->setAlignment(Qt::AlignCenter);
        m_connectingText->setStyleSheet(QStringLiteral("background: white; color: black; font-size: 18px; padding: 8px"));
    }
    // Below the display's own waiting spinner, in the middle of the frame.
    m_connectingText->adjustSize();
    m_connectingText->move((m_ui->ecgDisplay->width() - m_connectingText->width()) / 2,
                           m_ui->ecgDisplay->height() / 2 + IconSize);
    m_connectingText->setVisible(lost);
}

void EcgMonitorWindow::showRecordingFailure(const QString& reason)
{
    showElapsedTime();
    QMessageBox::critical(this, tr("Error"),
                          tr("Recording stopped: the study could not be written (%1).\n"
                             "The first %2 of the ECG and %3 beats were saved and can be reviewed.")
                              .arg(reason, m_ui->lblTotalElapsedTime->text().trimmed())
                              .arg(m_study->beatsFile()->count()));
}

// A picture alone does not say what it warns of: each icon carries its
// word, on a light plate that reads on every colour scheme. The icons stand
// at the foot of the status column between the paper and the averaged-beat
// panel, the connecting icon above the battery one: like the electrode
// panel at its head, they take their room from the paper only while shown,
// and so never cover a trace.
QLabel* EcgMonitorWindow::makeStatusIcon(const QString& picture, const QString& text, const QString& name)
{
    auto* icon = new QLabel(this);
    icon->setObjectName(name);
    icon->setAlignment(Qt::AlignCenter);
    icon->setStyleSheet(QStringLiteral(
        "background: rgba(255, 255, 255, 200); color: black; font-weight: bold; border-radius: 4px"));
    icon->setText(QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%2\"><br>%3")
                      .arg(picture)
                      .arg(IconSize)
                      .arg(text.toHtmlEscaped()));
    icon->setMinimumWidth(IconWidth);
    icon->hide();
    m_ui->layoutStatus->addWidget(icon, 0, Qt::AlignHCenter);
    return icon;
}

void EcgMonitorWindow::updateElectrodes()
{
    if (!m_pipeline->isAnyElectrodeOff()) {
        if (m_electrodePanel)
            m_electrodePanel->hide();
        return;
    }
    if (!m_electrodePanel) {
        // Created hidden on the first loss; shown from the next update on.
        // It stands at the head of the status column between the paper and
        // the averaged-beat panel: the paper narrows while it shows, so that
        // it covers neither the traces nor the averaged beat.
        m_electrodePanel = new ElectrodeStatusWidget(this);
        m_electrodePanel->setFixedSize(m_electrodePanel->size());
        m_electrodePanel->hide();
        m_ui->layoutStatus->insertWidget(0, m_electrodePanel, 0, Qt::AlignHCenter);
        return;
    }
    if (!m_electrodePanel->showAllowed())
        return;
    for (const QString& name : TLeadSet::electrodeNames())
        m_electrodePanel->setElectrode(name, m_pipeline->isElectrodeOff(name));
    m_electrodePanel->show();
}

void EcgMonitorWindow::updateRecordingStatus()
{
    showElapsedTime();
    m_ui->beatDisplay->refresh();
    showAverageBeatCount(m_ui->cboAverageLead->currentIndex(), true);
    if (++m_updatesSinceNoise >= NoiseUpdates) {
        m_updatesSinceNoise = 0;
        showRecordingNoise();
    }
}

void EcgMonitorWindow::showRecordingNoise()
{
    if (!m_recordingNoise)
        m_recordingNoise = std::make_unique<TRecordingNoise>(*m_pipeline->latePotentialAverager());
    const double target = TSettings::number(TSettings::RecordingNoiseTarget);
    const TRecordingNoise::Reading reading = m_recordingNoise->measure(target);
    if (reading.beats == 0)
        return;
    QString text = tr("Noise %1 uV at 40 Hz, target %2 uV, %3 beats")
                       .arg(reading.noiseMicrovolts, 0, 'f', 2)
                       .arg(target, 0, 'f', 1)
                       .arg(reading.beats);
    if (reading.reached)
        text = tr("<b>Noise target reached</b>: %1").arg(text);
    else if (!reading.falling)
        text += tr("<br>The noise no longer falls as beats are added: more recording will not reach the target.");
    m_noiseLabel->setText(text);
    m_noiseLabel->setStyleSheet(reading.reached ? QStringLiteral("color: #1a7f1a") : QString());
    if (reading.reached && TSettings::flag(TSettings::StopAtNoiseTarget))
        on_btnStop_clicked();
}

void EcgMonitorWindow::showElapsedTime()
{
    const TSignal* signal = m_study->ecgFile();
    const int seconds = signal->appendedCount() / signal->samplingRate();
    m_ui->lblTotalElapsedTime->setText(QString::asprintf("%2d:%2.2d", seconds / 60, seconds % 60));
}

// While no QRS is found (a pause, electrodes off, noise) the heart rate is
// "--" and the averaged-beat panel says so, rather than the last rate and
// an average that no longer grows; recording goes on.
void EcgMonitorWindow::showHeartRate()
{
    const bool detecting = m_pipeline->secondsWithoutBeat() < NoQrsSeconds;
    if (detecting != m_detectingQrs) {
        m_detectingQrs = detecting;
        showAverageBeatCount(m_ui->cboAverageLead->currentIndex(), true);
    }
    if (!detecting) {
        m_ui->lblHR->setText(QStringLiteral("--"));
        return;
    }
    const TBeatStore* beats = m_pipeline->beatStore();
    if (beats->count() == 0)
        return;
    const double meanRr = beats->read(beats->count() - 1).value(TBeat::MeanRrInterval);
    if (meanRr <= 0.0)
        return;
    const int heartRate = int(60.0 / meanRr);
    if (heartRate > 0)
        m_ui->lblHR->setText(QString::number(heartRate));
}

void EcgMonitorWindow::showAverageBeatCount(int lead, bool showWaiting)
{
    const int count = m_pipeline->liveAverager()->count(lead);
    if (!m_detectingQrs)
        m_ui->lblAverageBeatCount->setText(tr("No QRS detected"));
    else if (count == 0 && showWaiting)
        m_ui->lblAverageBeatCount->setText(tr("Averaging beats..."));
    else
        m_ui->lblAverageBeatCount->setText(tr("%1 averaged beats").arg(count));
}
