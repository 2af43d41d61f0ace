#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>

class ElectrodeStatusWidget;
class QLabel;
class QMenu;
class QTimer;
class TAcqSource;
class TAnalysisPipeline;
class TClipHighlighter;
class TMonitorWindowListener;
class TRecordingNoise;
class TStudy;

namespace Ui {
class EcgMonitorWindow;
}

// The full-screen window in which a new study is acquired. It runs the
// acquisition analysis pipeline on the live signal of the source, shows the
// leads on the monitor display and, while recording, the averaged beat of
// one lead, and records the study between its start and stop buttons. It
// warns about a low battery, a lost device connection and electrodes
// without contact, in a status column between the paper and the
// averaged-beat panel that takes its room from the paper only while a
// warning shows.
//
// Monitoring (after construction) -> recording (start button) -> closed
// (stop or close button, or closing the window at any time). Whenever no
// block has come for half a second, whatever the cause, the connecting
// icon and "Connecting to the ECG device..." show it. A study that cannot
// be written stops the recording and says what was saved. However it closes, the
// pipeline is stopped and released before the window goes, so no
// acquisition thread outlives it; the source and the study, which the
// caller created, are then the caller's to dispose of.
class EcgMonitorWindow : public QWidget
{
    Q_OBJECT

public:
    // Neither the source nor the study is owned; both must outlive the
    // window. Starts the pipeline (and so the acquisition) at once. Throws
    // what the pipeline's construction throws.
    EcgMonitorWindow(QWidget* parent, TAcqSource* source, TStudy* study);
    ~EcgMonitorWindow() override;

    // The pipeline while the window runs one; null once recording stopped.
    TAnalysisPipeline* pipeline() const { return m_pipeline.get(); }

signals:
    // Recording has started: the study now has its recording date-time,
    // worth saving at once so that a crash does not lose it.
    void recordingStarted();

private slots:
    void on_btnSpeed12_clicked();
    void on_btnSpeed25_clicked();
    void on_btnSpeed50_clicked();
    void on_btnSpeed100_clicked();
    void on_btnAmp5_clicked();
    void on_btnAmp10_clicked();
    void on_btnAmp20_clicked();
    void on_btnAmp40_clicked();
    void on_btnFilterNotch_clicked();
    void on_btnFilterLowpass_clicked();
    void on_btnFilterBaseline_clicked();
    void on_btnStart_clicked();
    void on_btnStop_clicked();
    void on_ecgDisplay_customContextMenuRequested(const QPoint& point);
    void on_cboAverageLead_currentIndexChanged(int index);
    void on_btnZoom1_clicked();
    void on_btnZoom2_clicked();
    void on_btnZoom3_clicked();
    void on_btnZoom4_clicked();
    void on_btnClose_clicked();

private:
    // The one-second update (timer "updateTimer"): battery, connection,
    // electrodes, heart rate and, while recording, elapsed time and the
    // averaged beat.
    void updateStatus();
    // The connection check (timer "connectionTimer", four times a second).
    void showConnection();
    // Says why recording stopped and how much of the study was saved.
    void showRecordingFailure(const QString& reason);
    void startPipeline();
    void setUpDisplays();
    // The averaged-beat lead, the recording buttons and the patient's name.
    void setUpControls();
    // Starts recording, or stops it once it runs (Space and Enter).
    void toggleRecording();
    void showSimulationLabel();
    void loadSettings();
    void saveSettings() const;
    void applyFilters();
    // Stops the pipeline, detaches every display from it and releases it.
    void releasePipeline();

    // A hidden icon with its word under the picture, at the foot of the
    // status column.
    QLabel* makeStatusIcon(const QString& picture, const QString& text, const QString& name);
    void updateElectrodes();
    void updateRecordingStatus();
    void showElapsedTime();
    void showHeartRate();
    // "%1 averaged beats" for the lead; with showWaiting, a count of 0
    // reads "Averaging beats..." instead.
    void showAverageBeatCount(int lead, bool showWaiting);
    // Every few seconds while recording: the noise of the late-potential
    // analysis so far against the target, and a stop there when asked.
    void showRecordingNoise();
    // Shows the context menu once; true when a lead was toggled, so that
    // the menu opens again for the next one.
    bool execContextMenu(const QPoint& point);

    std::unique_ptr<Ui::EcgMonitorWindow> m_ui;
    TAcqSource* m_source;
    TStudy* m_study;
    // Declared before the pipeline, so that they outlive it should the
    // construction fail half-way.
    std::unique_ptr<TMonitorWindowListener> m_listener;
    std::unique_ptr<TClipHighlighter> m_highlighter;
    std::unique_ptr<TAnalysisPipeline> m_pipeline;
    QString m_colorScheme;
    QMenu* m_contextMenu = nullptr;
    ElectrodeStatusWidget* m_electrodePanel = nullptr;
    QLabel* m_lowBatteryIcon = nullptr;
    QLabel* m_connectingIcon = nullptr;
    QLabel* m_connectingText = nullptr;
    QTimer* m_updateTimer;
    std::unique_ptr<TRecordingNoise> m_recordingNoise;
    QLabel* m_noiseLabel = nullptr;
    int m_updatesSinceNoise = 0;
    bool m_detectingQrs = true;
    QTimer* m_connectionTimer;
};
