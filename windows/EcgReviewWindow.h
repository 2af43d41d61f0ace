#pragma once

#include "pipeline/TReviewAnalysis.h"

#include <QModelIndex>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class QStringListModel;
class QTimer;
class TBeatAverager;
class TClippedSampleRuns;
class TLatePotentials;
class TPacsSender;
class TLiveBeatAverager;
class TReviewFilterChain;
class TStudy;
class TStudyStore;

namespace Ui {
class EcgReviewWindow;
}

// The window in which a recorded study is reviewed. It filters the study's
// ECG for browsing (display chain), runs the review analysis (averaging
// chain, main averager of every stored beat, wave marks, late potentials),
// averages the beats of the last 20 s of the browsed span (window averager,
// the beat strip of the browse display), and lets the operator move the
// wave marks and the late-potential limits, change the late-potential
// parameters, write the conclusion, edit the study data and create a
// report. Every change goes into the open study;
// the caller saves and closes the study once the window is destroyed.
//
// Construction -> analysis run (50 ms later, once) -> review -> destroyed.
// Failures are shown to the operator in message boxes titled "Error".
class EcgReviewWindow : public QWidget
{
    Q_OBJECT

public:
    // The study must be open in the store; neither is owned. The window is
    // a top-level window even with a parent.
    EcgReviewWindow(QWidget* parent, TStudy* study, TStudyStore* store);
    // Copies the conclusion into the study and writes the settings.
    ~EcgReviewWindow() override;

    // The analysis objects, for the caller to read.
    const TReviewFilterChain& displayChain() const { return *m_displayChain; }
    const TReviewFilterChain& averagingChain() const { return m_analysis->averagingChain(); }
    TBeatAverager& windowAverager() const { return *m_windowAverager; }
    const TLiveBeatAverager& mainAverager() const { return m_analysis->mainAverager(); }
    const TLatePotentials& latePotentials() const { return m_analysis->latePotentials(); }
    // Whether the analysis run has been done.
    bool isAnalysed() const { return m_analysed; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void on_ecgDisplay1_customContextMenuRequested(const QPoint& point);
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
    void on_btnStudyData_clicked();
    void on_btnReport_clicked();
    void on_btnPredefinedAdd_clicked();
    void on_btnPredefinedRemove_clicked();
    void on_listPredefinedText_doubleClicked(const QModelIndex& index);
    void on_btnZoom1_clicked();
    void on_btnZoom2_clicked();
    void on_btnZoom3_clicked();
    void on_btnZoom4_clicked();
    void on_chkAmp5x_clicked();
    void on_chkSuperimpose_clicked();

private:
    void setTitle();
    // While another workstation holds the study's edit lease: says so in the
    // title and a banner naming the holder, and turns off what would save.
    void showEditLock();
    void buildDisplayChain();
    void buildAveraging();
    void setUpDisplays();
    void setUpLatePotentialControls();
    void startTimers();
    void buildLeadButtons();
    void loadSettings();
    void saveSettings() const;

    void runAnalysis();
    void showWaveMarks(const TReviewAnalysis::Marks& marks);
    void storeWaveMarks();
    void showQtc();
    void computeLatePotentials();
    void showLatePotentials();

    void reaverageIfFlagged();
    void reaverageBeatStrip();
    void onStartTimeChanged();
    void showHeartRate(double seconds);
    void applyDisplayFilters();
    void onLeadToggled(int lead, bool checked);
    QToolButton* leadButton(const QString& name) const;
    void checkOnlyLeadII();

    void onHighPassCutoffChanged(int index);
    void onLasThresholdChanged(int microvolts);
    void onRmsDurationChanged(int milliseconds);
    void onLatePotentialCursorsChanged();

    void copyConclusionIfChanged();
    void addPacsControls();
    TPacsSender& pacsSender() const;
    void showPacsState();
    void fitPacsState();
    void sendToPacs();
    void copyConclusion();

    // Shows the context menu once; true when a lead was switched, so that
    // the menu opens again for the next one.
    bool execContextMenu(const QPoint& point);
    void fillLeadMenu();
    void fillColorSchemeMenu();

    // Runs `work`, showing any failure in an "Error" box.
    template <typename Work>
    void guarded(Work work);
    // Shows a failure text in an "Error" box; an empty text is no failure.
    void showFailure(const QString& failure);

    std::unique_ptr<Ui::EcgReviewWindow> m_ui;
    TStudy* m_study;
    TStudyStore* m_store;
    std::unique_ptr<TReviewFilterChain> m_displayChain;
    std::unique_ptr<TBeatAverager> m_windowAverager;
    std::unique_ptr<TReviewAnalysis> m_analysis;
    std::unique_ptr<TClippedSampleRuns> m_clippedRuns;
    std::vector<QToolButton*> m_leadButtons;
    QStringListModel* m_predefinedTexts;
    QString m_colorScheme;
    bool m_reaverage = true;
    bool m_conclusionChanged = false;
    bool m_analysed = false;
    QMenu* m_contextMenu = nullptr;
    QMenu* m_leadMenu = nullptr;
    QMenu* m_colorSchemeMenu = nullptr;
    QAction* m_averageBeatAction = nullptr;
    QLabel* m_pacsState = nullptr;
    QTimer* m_reaverageTimer;
    QTimer* m_conclusionTimer;
};
