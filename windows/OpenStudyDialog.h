#pragma once

#include "pipeline/TStudyExport.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class OpenStudyDialog;
}

class QTreeWidget;
struct TStudyInfo;
class QTreeWidgetItem;
class TReviewAnalysis;
class TStudy;
class TStudyStore;

// The list of the local studies from which the operator picks one to open,
// finds studies by patient name, opens a study's PDF report and deletes
// studies; a second list shows the study archives of a shared folder, and
// studies are copied between the two. Its "More..." menu exports the
// selected studies to a folder in an exchange format (TStudyExport) and
// imports recordings of other systems (TImportedRecording); "Send to PACS"
// queues them with their reports for the hospital's archive (TPacsSender).
// All storage
// work goes through the study store. The shared folders are kept in the
// settings.
class OpenStudyDialog : public QDialog
{
    Q_OBJECT
public:
    // The store is not owned.
    OpenStudyDialog(QWidget* parent, TStudyStore* store);
    ~OpenStudyDialog() override;

    // The study chosen when the dialog was accepted; -1 before.
    int selectedStudyId() const { return m_selectedStudyId; }

signals:
    // A local study has been deleted from the store.
    void deletedStudy(int studyId);

private slots:
    void on_txtFilter_textChanged(const QString& text);
    void on_treeStudies_itemDoubleClicked(QTreeWidgetItem* item, int column);
    void on_treeStudies_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void on_treeStudies_itemSelectionChanged();
    void on_treeSharedStudies_itemSelectionChanged();
    void on_OpenStudyDialog_accepted();
    void on_actionDelete_triggered();
    void on_btnShareExport_clicked();
    void on_btnShareImport_clicked();
    void on_btnShare_clicked();
    void on_btnShareFolder_clicked();
    void on_cboShareFolders_currentIndexChanged(int index);
    void on_btnReport_clicked();
    void on_btnDelete_clicked();
    void on_actionExportEdf_triggered();
    void on_actionExportBdf_triggered();
    void on_actionExportWfdb_triggered();
    void on_actionExportAecg_triggered();
    void on_actionImportRecording_triggered();

private:
    void loadSettings();
    void saveSettings() const;
    void fillLocalList();
    void addClinicServerControls();
    // Also grows the dialog when the shared list shows and its columns need
    // more room.
    void fillSharedList();
    void growForSharedColumns();
    int widthForSharedColumns();
    void setWidthAroundCentre(int newWidth, int oldWidth, int oldLeft);
    void selectSharedFolder(const QString& folder);
    QString sharedFolder() const;
    bool hasSharedFolder() const;
    void updateCopyButtons();
    void keepLocalColumnsVisible();
    void deleteSelected();
    QStringList deleteLocalStudies(const QList<QTreeWidgetItem*>& items);
    QStringList deleteSharedArchives(const QList<QTreeWidgetItem*>& items);
    int runBatch(const QStringList& labels, const std::function<void(int)>& operation);
    void confirmImportAgain(const TStudyInfo& info, qint64 samples);
    void openAfterImport();
    void reportBatch(const QString& summary, int succeeded, int total, const QString& where = QString());
    void showError(const QString& message);
    void exportSelected(TStudyExport::Format format);
    void withAnalysedStudy(int id, const std::function<void(TStudy&, TReviewAnalysis&)>& use);
    void exportStudy(int id, const QString& path);
    void sendSelectedToPacs();
    void sendToPacs(int id);
    void showPacsStates();
    void importRecording(const QString& path);
    // What became of an archive copied in.
    enum class Imported { Yes, LocalCopyKept, KeptInConflict };
    Imported importArchive(const std::string& path);
    Imported importOrKeepLocal(const std::string& path);

    std::unique_ptr<Ui::OpenStudyDialog> m_ui;
    TStudyStore* m_store;
    int m_selectedStudyId = -1;
    // The study to open once an import ends, chosen instead of importing
    // its recording again; -1 for none.
    int m_openAfterImport = -1;
    // The dialog's width before the shared list was shown, given back when
    // it is hidden.
    int m_widthWithoutShared = 0;
};
