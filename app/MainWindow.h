#pragma once

#include "storage/TStudyInfo.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <set>

namespace Ui {
class MainWindow;
}

class QFrame;
class QTreeWidgetItem;
class TAcqSource;
class TStudy;
class TStudyStore;

// The first window of the application: the hub from which studies are
// started, reopened and configured. It creates the one study store of the
// application shortly after it is shown, starts acquisitions in the monitor
// window and opens recorded studies in the review window.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Creates the study store of the start-up work.
    using StoreFactory = std::function<std::unique_ptr<TStudyStore>()>;

    // The store defaults to the one the settings choose: the local store in
    // the "PulsorixVAROR" folder under the user's data location, or the
    // clinic server's store recording into that folder.
    explicit MainWindow(QWidget* parent = nullptr, StoreFactory storeFactory = configuredStoreFactory());
    ~MainWindow() override;

    // "<organisation> ZID OR": the application name with "VA ROR" replaced.
    static QString windowTitleText();
    static StoreFactory localStoreFactory();
    static StoreFactory configuredStoreFactory();

    // The study store; null until the start-up work has run.
    TStudyStore* store() const { return m_store.get(); }

    // The recent-study list, newest first: "id||studyDateTime||last||first";
    // adding a study already listed moves it to the head.
    static void addRecentStudy(int id, const QString& dateTime, const QString& lastName,
                               const QString& firstName);
    static void removeRecentStudy(int id);
    // Shows the first valid entries of the list in the tree.
    void loadRecentStudies();

    // Checks the free space, creates the source and the study and records
    // the study in the monitor window.
    void startAcquisition(TStudyInfo info);
    // Opens a stored study in the review window.
    void openStudyForReview(int id);

private Q_SLOTS:
    void on_btnNewStudyEcg_clicked();
    void on_btnOpenStudy_clicked();
    void on_btnClose_clicked();
    void on_btnConfig_clicked();
    void on_btnMoreEcg_clicked();
    void on_btnStartEcg_clicked();
    void on_btnOpenMore_clicked();
    void on_btnOpenOK_clicked();
    void on_treeStudies_itemDoubleClicked(QTreeWidgetItem* item, int column);
    void on_txtLastNameEcg_textChanged(const QString& text);
    void on_txtFirstNameEcg_textChanged(const QString& text);
    void on_treeStudies_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);

private:
    void addWorklistButton();
    void startFromWorklist();
    static constexpr int RecentStudiesKept = 10;
    static constexpr int RecentStudiesShown = 5;
    static constexpr int PanelHeight = 90;
    static constexpr int PanelAnimationMs = 150;

    // Creates the study store behind a progress dialog, the window disabled.
    void startUp();
    // Opens one folding panel and folds the other.
    void showPanel(QFrame* panel);
    void foldPanel(QFrame* panel);
    int panelHeight(const QFrame* panel) const;
    void updateStartButton();
    void clearQuickEntry();
    void setUpKeyboard();
    // The record of the quick-entry fields, dated now.
    TStudyInfo quickEntryInfo() const;
    void showMonitorWindow(TStudy* study);
    // Recording has started: the study is saved and listed at once, so a
    // crash keeps its recording date-time and its place in the list.
    void onRecordingStarted();
    // The monitor window has gone: the recorded study is saved, closed and
    // opened for review; a study never recorded is removed.
    void onMonitorClosed();
    // Recordings a crash cut off, finished by the store: listed and told.
    void showInterruptedRecordings();
    void showReviewWindow(TStudy* study);
    // Once its window has gone, a study is saved and closed.
    void saveAndCloseStudy(TStudy* study);
    void showError(const std::exception& error);
    // With the clinic server: how many recorded studies wait to go up.
    void resumeHospitalSends();
    void showClinicServerOutbox();
    // Studies the clinic server refused because another workstation changed
    // them since: the operator chooses which version stays, once per study
    // and session ("Decide later" asks again at the next start).
    void askAboutConflicts();

    std::unique_ptr<Ui::MainWindow> ui;
    StoreFactory m_storeFactory;
    std::unique_ptr<TStudyStore> m_store;
    std::unique_ptr<TAcqSource> m_source;
    TStudy* m_recordingStudy = nullptr;
    std::set<int> m_conflictsAsked;
    bool m_askingConflicts = false;
};
