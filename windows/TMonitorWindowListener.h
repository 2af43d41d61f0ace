#pragma once

#include "pipeline/TAnalysisPipelineListener.h"
#include "display/QSignalMonitorDisplay.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

#include <functional>

// The monitor window's listener of the acquisition analysis pipeline:
// every appended block redraws the live display; the start of recording
// enables the stop button and gives it the focus; an acquisition failure is
// shown to the operator as a warning (acquisition is not stopped by it); a
// study that could not be written goes to the window's handler.
// Beats and the end of recording need nothing here.
class TMonitorWindowListener final : public TAnalysisPipelineListener
{
    Q_DECLARE_TR_FUNCTIONS(TMonitorWindowListener)

public:
    // The widgets belong to the monitor window, which outlives the listener.
    TMonitorWindowListener(QSignalMonitorDisplay& display, QAbstractButton& stopButton, QWidget& window)
        : m_display(display)
        , m_stopButton(stopButton)
        , m_window(window)
    {
    }

    void onPipelineData(TAnalysisPipeline*) override { m_display.refresh(); }

    void onRecordingStarted(TAnalysisPipeline*) override
    {
        m_stopButton.setEnabled(true);
        m_stopButton.setFocus();
    }

    void onPipelineError(TAnalysisPipeline*, const std::string& message) override
    {
        QMessageBox::warning(&m_window, tr("Warning"), QString::fromStdString(message));
    }

    // The handler gets the system's reason for the failed write.
    void setRecordingFailureHandler(std::function<void(const QString&)> handler) { m_onFailure = std::move(handler); }

    void onRecordingFailed(TAnalysisPipeline*, const std::string& reason) override
    {
        if (m_onFailure)
            m_onFailure(QString::fromStdString(reason));
    }

private:
    QSignalMonitorDisplay& m_display;
    QAbstractButton& m_stopButton;
    QWidget& m_window;
    std::function<void(const QString&)> m_onFailure;
};
