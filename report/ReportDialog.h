#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class ReportDialog;
}

class TLatePotentials;
class TStudy;
class TStudyStore;
struct TReportOptions;

// The dialog in which the user chooses what a report of the study under
// review contains (traces, sections, header) and where it goes (default
// printer or a PDF file in the data folder's "reports" folder), and from
// which the report is created. The choices are kept in the settings.
class ReportDialog : public QDialog
{
    Q_OBJECT
public:
    // The study, its late-potential analysis and the store that holds the
    // study are not owned.
    ReportDialog(QWidget* parent, TStudy* study, const TLatePotentials* latePotentials, TStudyStore* store);
    ~ReportDialog() override;

    // The recording time at which the report's traces begin.
    void setStartTime(double seconds);
    void setFilters(bool notch, bool muscle, bool baseline);
    // Leads superimposed in the combined averaged beat (bit i = lead i).
    void setLeadMask(int mask) { m_leadMask = mask; }
    // The header logo image file; empty for none.
    void setLogo(const QString& path);

private slots:
    void on_listCategory_currentRowChanged(int currentRow);
    void on_btnCreate_clicked();
    void on_btnSelectLogo_clicked();
    void on_btnRemoveLogo_clicked();
    void showProgress(int pageNum, int totalPageNum);

private:
    void showConclusionFit();
    void loadSettings();
    void saveSettings() const;
    TReportOptions reportOptions() const;
    void createReport();

    std::unique_ptr<Ui::ReportDialog> m_ui;
    TStudy* m_study;
    const TLatePotentials* m_latePotentials;
    TStudyStore* m_store;
    QString m_logoFileName;
    double m_startTime = 0.0;
    int m_leadMask = 1;
};
