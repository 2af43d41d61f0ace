#pragma once

#include "storage/TStudyInfo.h"

#include <QDate>
#include <QDialog>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class StudyDialog;
}

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QStringListModel;
struct TSettingKey;

// The modal dialog in which the operator enters or edits a patient's data,
// risk factors and the study's administrative data. It edits a copy of the
// record it is given; after acceptance the caller reads the edited copy.
// Seven combo boxes offer the texts entered before, kept in the settings.
class StudyDialog : public QDialog
{
    Q_OBJECT
public:
    // One check box and one comment field are built per risk factor name,
    // in the order given (the study store's list).
    StudyDialog(QWidget* parent, const TStudyInfo& info,
                const std::vector<std::string>& riskFactorNames = defaultRiskFactorNames());
    ~StudyDialog() override;

    // The edited record; complete once the dialog has been accepted.
    const TStudyInfo& studyInfo() const { return m_info; }

private slots:
    void on_listCategory_currentRowChanged(int currentRow);
    void on_txtWeight_textEdited(const QString& text);
    void on_txtHeight_textEdited(const QString& text);
    void on_txtBirthDate_textEdited(const QString& text);
    void on_txtAge_textEdited(const QString& text);
    void on_StudyDialog_accepted();

private:
    struct TextField {
        QLineEdit* edit;
        std::string TStudyInfo::*member;
    };
    struct NoteField {
        QPlainTextEdit* edit;
        std::string TStudyInfo::*member;
    };
    struct ComboField {
        QComboBox* combo;
        std::string TStudyInfo::*member;
        const TSettingKey* key;
        QStringListModel* model;
    };
    struct RiskFactorRow {
        std::string name;
        QCheckBox* present;
        QLineEdit* comment;
    };

    // A birth date as typed: "d/M/yyyy", or with a two-digit year.
    static QDate parseBirthDate(const QString& text);

    void describeFields();
    void buildRiskFactorRows(const std::vector<std::string>& names);
    void loadComboLists();
    void saveComboLists() const;
    void loadRecord();
    void storeRecord();
    const RiskFactorRow* riskFactorRow(const std::string& name) const;
    void updateBmi();
    void validate();

    std::unique_ptr<Ui::StudyDialog> m_ui;
    TStudyInfo m_info;
    bool m_newStudy;
    std::vector<TextField> m_textFields;
    std::vector<NoteField> m_noteFields;
    std::vector<ComboField> m_comboFields;
    std::vector<RiskFactorRow> m_riskFactorRows;
};
