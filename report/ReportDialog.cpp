#include "report/ReportDialog.h"
#include "ui_ReportDialog.h"

#include "settings/TSettings.h"
#include "report/THRECGReport.h"
#include "report/TReportOptions.h"
#include "storage/TEcgFile.h"
#include "storage/TPrivateFiles.h"
#include "storage/TStudy.h"
#include "storage/TStudyStore.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QRadioButton>
#include <QTimer>

#include <cmath>
#include <stdexcept>

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

} // namespace

ReportDialog::ReportDialog(QWidget* parent, TStudy* study, const TLatePotentials* latePotentials, TStudyStore* store)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::ReportDialog>()),
      m_study(study),
      m_latePotentials(latePotentials),
      m_store(store)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->listCategory->setCurrentRow(0);
    m_ui->pages->setCurrentIndex(0);
    m_ui->frameReport->hide();
    m_ui->btnCreate->setFocus();
    m_ui->rbtLayout4by3->setChecked(true);
    if (const TEcgFile* ecg = study->ecgFile()) {
        for (int channel = 0; channel < ecg->channelCount(); ++channel)
            m_ui->cboRhythmLead->addItem(ecg->channelName(channel));
    }
    loadSettings();
    for (QRadioButton* layout : {m_ui->rbtLayout12by1, m_ui->rbtLayout6by2, m_ui->rbtLayout4by3})
        connect(layout, &QRadioButton::toggled, this, &ReportDialog::showConclusionFit);
    showConclusionFit();
}

ReportDialog::~ReportDialog() = default;

// The conclusion box of the first page has a fixed size, which differs
// from layout to layout; the operator learns before printing that a long
// conclusion will print smaller or cut short.
void ReportDialog::showConclusionFit()
{
    TReportTextFit::Outcome outcome = TReportTextFit::Fits;
    try {
        THRECGReport report(m_study, m_latePotentials);
        report.setOptions(reportOptions());
        outcome = report.conclusionFit();
    } catch (const std::exception&) {
        // Creating the report shows the same failure.
    }
    m_ui->lblConclusionFit->setText(outcome == TReportTextFit::Cut ? tr("The conclusion is too long for its box on "
                                                                       "the first page and continues on an added page.")
                                    : outcome == TReportTextFit::Shrunk
                                        ? tr("The conclusion will print in a smaller font to fit its box.")
                                        : QString());
    m_ui->lblConclusionFit->setVisible(outcome != TReportTextFit::Fits);
}

// Whole minutes, remaining whole seconds and tenths: 75.36 s is 01:15.3.
void ReportDialog::setStartTime(double seconds)
{
    m_startTime = seconds;
    const double whole = std::floor(seconds);
    const int total = int(whole);
    m_ui->txtStartTime->setText(
        QString::asprintf("%02d:%02d.%d", total / 60, total % 60, int((seconds - whole) * 10.0)));
}

void ReportDialog::setFilters(bool notch, bool muscle, bool baseline)
{
    m_ui->btnFilterNotch->setChecked(notch);
    m_ui->btnFilterLowpass->setChecked(muscle);
    m_ui->btnFilterBaseline->setChecked(baseline);
}

// An image that cannot be loaded is reported once the dialog is running.
void ReportDialog::setLogo(const QString& path)
{
    m_logoFileName = path;
    if (path.isEmpty()) {
        m_ui->logoImage->setText(tr("[none]"));
        return;
    }
    const QPixmap logo(path);
    if (logo.isNull()) {
        m_ui->logoImage->setText(tr("[none]"));
        QTimer::singleShot(1, this, [this, path] {
            QMessageBox::warning(this, tr("Warning"), tr("Logo image could not be loaded from file: %1").arg(path));
        });
        return;
    }
    m_ui->logoImage->setPixmap(logo.scaled(m_ui->logoImage->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void ReportDialog::on_listCategory_currentRowChanged(int currentRow)
{
    m_ui->pages->setCurrentIndex(currentRow);
    if (QWidget* page = m_ui->pages->currentWidget())
        page->setFocus();
}

void ReportDialog::on_btnSelectLogo_clicked()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open Image"), QString(), tr("Image Files (*.png *.jpg *.bmp)"));
    if (!path.isEmpty())
        setLogo(path);
}

void ReportDialog::on_btnRemoveLogo_clicked()
{
    setLogo(QString());
}

// The dialog closes after every attempt; a failure is shown first.
void ReportDialog::on_btnCreate_clicked()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    try {
        createReport();
    } catch (const std::exception& exception) {
        error = QString::fromUtf8(exception.what());
    }
    m_ui->frameReport->hide();
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty())
        QMessageBox::critical(this, tr("Error"), error);
    saveSettings();
    done(error.isEmpty() ? Accepted : Rejected);
}

// The study is saved first, so that the study file agrees with the report.
// Only a PDF that was written marks the study as reported.
void ReportDialog::createReport()
{
    const QString reportsDir = QStringLiteral("%1/reports").arg(fromUtf8(m_store->dataPath()));
    QDir().mkpath(reportsDir);
    m_ui->lblReport->setText(tr("Preparing report..."));
    m_ui->barReport->setValue(0);
    m_ui->lblConclusionFit->hide();
    m_ui->frameReport->show();
    m_ui->frameReport->repaint();
    m_store->saveStudy(m_study);

    THRECGReport report(m_study, m_latePotentials);
    report.setOptions(reportOptions());
    connect(&report, &THRECGReport::progress, this, &ReportDialog::showProgress);
    if (m_ui->rbtPrintToPDF->isChecked()) {
        const QString path = reportsDir + QStringLiteral("/%1.pdf").arg(fromUtf8(m_study->propertyValue("baseFilename")));
        const bool opened = report.saveReportPdf(path);
        TPrivateFiles::restrict(path);
        m_study->setProperty("status", "report");
        m_store->saveStudy(m_study);
        // Without a PDF viewer nothing would show that the report exists.
        if (!opened)
            QMessageBox::information(this, tr("Report saved"),
                                     tr("The report was saved as:\n%1").arg(QDir::toNativeSeparators(path)));
    } else {
        report.printReport();
    }
}

TReportOptions ReportDialog::reportOptions() const
{
    TReportOptions options;
    options.notchFilter = m_ui->btnFilterNotch->isChecked();
    options.muscleFilter = m_ui->btnFilterLowpass->isChecked();
    options.baselineFilter = m_ui->btnFilterBaseline->isChecked();
    options.showAverage = m_ui->chkShowAverage->isChecked();
    options.layout = m_ui->rbtLayout6by2->isChecked()   ? TReportOptions::Layout6by2
                     : m_ui->rbtLayout4by3->isChecked() ? TReportOptions::Layout4by3
                                                        : TReportOptions::Layout12by1;
    options.rhythmLead = m_ui->cboRhythmLead->currentText();
    options.averageLeadMask = m_leadMask;
    options.startTime = m_startTime;
    options.printAverageMeasures = m_ui->chkPrintAverageMeasures->isChecked();
    options.printLeadAverage = m_ui->chkPrintLeadAverage->isChecked();
    options.printLatePotentials = m_ui->chkPrintLatePotentials->isChecked();
    options.headerTitle = m_ui->txtHeaderTitle->text();
    options.headerInfo = m_ui->txtHeaderInfo->toPlainText();
    options.logoFileName = m_logoFileName;
    return options;
}

void ReportDialog::showProgress(int pageNum, int totalPageNum)
{
    m_ui->frameReport->repaint();
    if (totalPageNum < 1)
        return;
    m_ui->barReport->setMaximum(totalPageNum);
    m_ui->barReport->setValue(pageNum);
    m_ui->lblReport->setText(tr("Page %1 of %2").arg(pageNum).arg(totalPageNum));
}

void ReportDialog::loadSettings()
{
    setLogo(TSettings::text(TSettings::HeaderLogoFilename));
    m_ui->txtHeaderTitle->setText(TSettings::text(TSettings::HeaderTitle));
    m_ui->txtHeaderInfo->setPlainText(TSettings::text(TSettings::HeaderInfo));
    const QString layout = TSettings::text(TSettings::EcgGraphicLayout);
    if (layout == QLatin1String("6by2"))
        m_ui->rbtLayout6by2->setChecked(true);
    else if (layout == QLatin1String("4by3"))
        m_ui->rbtLayout4by3->setChecked(true);
    else
        m_ui->rbtLayout12by1->setChecked(true);
    const int rhythmLead = m_ui->cboRhythmLead->findText(TSettings::text(TSettings::EcgGraphicRhythmLead));
    if (rhythmLead >= 0)
        m_ui->cboRhythmLead->setCurrentIndex(rhythmLead);
    m_ui->chkShowAverage->setChecked(TSettings::flag(TSettings::EcgShowAverage));
    m_ui->chkPrintAverageMeasures->setChecked(TSettings::flag(TSettings::PrintAverageMeasures));
    m_ui->chkPrintLeadAverage->setChecked(TSettings::flag(TSettings::PrintLeadAverage));
    m_ui->chkPrintLatePotentials->setChecked(TSettings::flag(TSettings::PrintLatePotentials));
    if (TSettings::text(TSettings::PrintDestination) == QLatin1String("printer"))
        m_ui->rbtPrintDirect->setChecked(true);
    else
        m_ui->rbtPrintToPDF->setChecked(true);
}

void ReportDialog::saveSettings() const
{
    TSettings::setValue(TSettings::HeaderLogoFilename, m_logoFileName);
    TSettings::setValue(TSettings::HeaderTitle, m_ui->txtHeaderTitle->text());
    TSettings::setValue(TSettings::HeaderInfo, m_ui->txtHeaderInfo->toPlainText());
    const char* layout = m_ui->rbtLayout6by2->isChecked()   ? "6by2"
                         : m_ui->rbtLayout4by3->isChecked() ? "4by3"
                                                            : "12by1";
    TSettings::setValue(TSettings::EcgGraphicLayout, QString::fromLatin1(layout));
    TSettings::setValue(TSettings::EcgGraphicRhythmLead, m_ui->cboRhythmLead->currentText());
    TSettings::setValue(TSettings::EcgShowAverage, m_ui->chkShowAverage->isChecked());
    TSettings::setValue(TSettings::PrintAverageMeasures, m_ui->chkPrintAverageMeasures->isChecked());
    TSettings::setValue(TSettings::PrintLeadAverage, m_ui->chkPrintLeadAverage->isChecked());
    TSettings::setValue(TSettings::PrintLatePotentials, m_ui->chkPrintLatePotentials->isChecked());
    TSettings::setValue(TSettings::PrintDestination,
                        QString::fromLatin1(m_ui->rbtPrintDirect->isChecked() ? "printer" : "pdf"));
}
