#pragma once

#include "hospital/TWorklistEntry.h"
#include "storage/TStudyInfo.h"

#include <QDialog>
#include <QVector>

class QLabel;
class QLineEdit;
class QTreeWidget;

// The modality worklist of the hospital: today's procedures scheduled for
// our AE title (by the name or patient ID typed, when typed), from which
// the operator picks the patient of a new study. Errors of the query are
// shown in the dialog.
class WorklistDialog : public QDialog
{
    Q_OBJECT

public:
    // Queries the worklist as it opens.
    explicit WorklistDialog(QWidget* parent = nullptr);
    ~WorklistDialog() override;

    // `info` with the chosen patient's name, patient ID (as clinical
    // record number), birth date and sex, and the order's accession number
    // and study instance UID, which the study's DICOM objects then carry.
    TStudyInfo fill(TStudyInfo info) const;

private slots:
    void on_btnWorklistSearch_clicked();

private:
    QLineEdit* m_name;
    QLineEdit* m_patientId;
    QTreeWidget* m_list;
    QLabel* m_message;
    QVector<TWorklistEntry> m_entries;
};
