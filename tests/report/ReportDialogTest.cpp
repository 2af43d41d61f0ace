// The report dialog on a real study: its settings, the logo, and creating
// reports into the data folder's "reports" folder.
#include "ReportTestSupport.h"
#include "engine/PdfTools.h"

#include "settings/TSettings.h"
#include "report/ReportDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Closes every message box that comes up, keeping its title and text.
class MessageBoxCloser : public QObject
{
public:
    MessageBoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages.append(box->windowTitle() + QStringLiteral(": ") + box->text());
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(10);
    }

    // Runs the event loop until a message has been seen (at most 10 s).
    bool waitForMessage()
    {
        const QDeadlineTimer deadline(10000);
        while (messages.isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return !messages.isEmpty();
    }

    QStringList messages;

private:
    QTimer m_timer;
};

class ReportDialogTest : public ::testing::Test
{
protected:
    std::unique_ptr<ReportDialog> makeDialog()
    {
        return std::make_unique<ReportDialog>(nullptr, demo.study(), &demo.latePotentials(), &demo.store());
    }

    template <typename Widget>
    static Widget* child(ReportDialog& dialog, const char* name)
    {
        Widget* widget = dialog.findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString reportPath() const
    {
        return demo.reportsFolder() + QLatin1Char('/') +
               QString::fromStdString(demo.study()->propertyValue("baseFilename")) + QStringLiteral(".pdf");
    }

    // Sections off: a one-page report is enough to see where it goes.
    static void firstPageOnly(ReportDialog& dialog)
    {
        for (const char* name : {"chkPrintAverageMeasures", "chkPrintLeadAverage", "chkPrintLatePotentials"})
            child<QCheckBox>(dialog, name)->setChecked(false);
    }

    std::string storedStatus()
    {
        TStudyInfo info;
        demo.store().getIndexRow(demo.study()->id(), info);
        return info.status;
    }

    reporttest::DemoStudy demo;
};

TEST_F(ReportDialogTest, OpensWithTheRememberedChoices)
{
    {
        const auto dialog = makeDialog();
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Create report"));
        EXPECT_EQ(dialog->minimumSize(), QSize(411, 322));
        EXPECT_EQ(dialog->maximumSize(), QSize(411, 322));
        EXPECT_FALSE(dialog->windowFlags() & Qt::WindowContextHelpButtonHint);
        EXPECT_EQ(child<QListWidget>(*dialog, "listCategory")->count(), 4);
        EXPECT_TRUE(child<QRadioButton>(*dialog, "rbtLayout12by1")->isChecked());
        EXPECT_EQ(child<QComboBox>(*dialog, "cboRhythmLead")->count(), 14);
        EXPECT_EQ(child<QComboBox>(*dialog, "cboRhythmLead")->currentText(), QStringLiteral("II"));
        EXPECT_TRUE(child<QRadioButton>(*dialog, "rbtPrintToPDF")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(*dialog, "chkPrintLatePotentials")->isChecked());
        EXPECT_FALSE(child<QCheckBox>(*dialog, "chkShowAverage")->isChecked());
        EXPECT_TRUE(child<QFrame>(*dialog, "frameReport")->isHidden());
        child<QListWidget>(*dialog, "listCategory")->setCurrentRow(3);
        EXPECT_EQ(child<QStackedWidget>(*dialog, "pages")->currentWidget()->objectName(),
                  QStringLiteral("pagePrintOptions"));
        dialog->setStartTime(75.36);
        EXPECT_EQ(child<QLineEdit>(*dialog, "txtStartTime")->text(), QStringLiteral("01:15.3"));
    }
    TSettings::setValue(TSettings::EcgGraphicLayout, QStringLiteral("6by2"));
    TSettings::setValue(TSettings::EcgGraphicRhythmLead, QStringLiteral("V7"));
    TSettings::setValue(TSettings::PrintDestination, QStringLiteral("printer"));
    TSettings::setValue(TSettings::EcgShowAverage, true);
    TSettings::setValue(TSettings::HeaderTitle, QStringLiteral("Hospital Central"));
    const auto dialog = makeDialog();
    EXPECT_TRUE(child<QRadioButton>(*dialog, "rbtLayout6by2")->isChecked());
    EXPECT_EQ(child<QComboBox>(*dialog, "cboRhythmLead")->currentIndex(), 0) << "V7 is not a channel";
    EXPECT_TRUE(child<QRadioButton>(*dialog, "rbtPrintDirect")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(*dialog, "chkShowAverage")->isChecked());
    EXPECT_EQ(child<QLineEdit>(*dialog, "txtHeaderTitle")->text(), QStringLiteral("Hospital Central"));
}

TEST_F(ReportDialogTest, AConclusionTooLongForItsBoxIsAnnouncedBeforePrinting)
{
    demo.study()->setProperty("conclusion", "Ritmo sinusal.");
    EXPECT_TRUE(child<QLabel>(*makeDialog(), "lblConclusionFit")->isHidden());
    demo.study()->setProperty("conclusion", QString(QStringLiteral("Ritmo sinusal. ")).repeated(80).toStdString());
    const auto dialog = makeDialog();
    QLabel* note = child<QLabel>(*dialog, "lblConclusionFit");
    EXPECT_FALSE(note->isHidden());
    EXPECT_TRUE(note->text().contains(QStringLiteral("continues on an added page"))) << note->text().toStdString();
}

// Under each style sheet of the application: whole texts, filter buttons
// that show whether they are on, a start time that reads on its field.
TEST_F(ReportDialogTest, EveryTextIsWholeAndReadableUnderBothStyleSheets)
{
    for (const char* sheet : {":/styles/dark.css", ":/styles/light.css"}) {
        QFile file{QString::fromLatin1(sheet)};
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << sheet;
        const auto dialog = makeDialog();
        dialog->setStyleSheet(QString::fromUtf8(file.readAll()));
        dialog->show();
        auto* list = child<QListWidget>(*dialog, "listCategory");
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem* item = list->item(row);
            for (const QString& word : item->text().split(QLatin1Char(' ')))
                EXPECT_LT(list->fontMetrics().horizontalAdvance(word), list->visualItemRect(item).width())
                    << sheet << " " << word.toStdString();
        }
        list->setCurrentRow(2);
        auto* remove = child<QPushButton>(*dialog, "btnRemoveLogo");
        const QWidget* pages = child<QWidget>(*dialog, "pages");
        EXPECT_TRUE(pages->rect().contains(QRect(remove->mapTo(pages, QPoint(0, 0)), remove->size()))) << sheet;
        EXPECT_GE(remove->height(), remove->sizeHint().height()) << sheet;
        list->setCurrentRow(0);
        for (const char* name : {"btnFilterNotch", "btnFilterLowpass", "btnFilterBaseline"}) {
            auto* button = child<QPushButton>(*dialog, name);
            EXPECT_GE(button->width(), button->sizeHint().width()) << sheet << " " << name;
            button->setChecked(false);
            const QImage off = button->grab().toImage();
            button->setChecked(true);
            EXPECT_NE(button->grab().toImage(), off) << sheet << " " << name << " looks the same on and off";
        }
        const QLineEdit* start = child<QLineEdit>(*dialog, "txtStartTime");
        EXPECT_LT(qGray(start->palette().color(QPalette::Text).rgb()), 100) << sheet << " dark on gainsboro";
    }
}

TEST_F(ReportDialogTest, LogoThatCannotBeLoadedIsReportedLater)
{
    MessageBoxCloser closer;
    const auto dialog = makeDialog();
    QLabel* logo = child<QLabel>(*dialog, "logoImage");
    dialog->setLogo(QStringLiteral(":/res/logo-pulsorix-report.png"));
    EXPECT_FALSE(logo->pixmap(Qt::ReturnByValue).isNull());
    child<QPushButton>(*dialog, "btnRemoveLogo")->click();
    EXPECT_EQ(logo->text(), QStringLiteral("[none]"));

    dialog->setLogo(QStringLiteral("/no/such/logo.png"));
    EXPECT_EQ(logo->text(), QStringLiteral("[none]"));
    EXPECT_TRUE(closer.messages.isEmpty()) << "the warning waits for the event loop";
    ASSERT_TRUE(closer.waitForMessage());
    EXPECT_EQ(closer.messages.front(),
              QStringLiteral("Warning: Logo image could not be loaded from file: /no/such/logo.png"));
}

TEST_F(ReportDialogTest, SavingToPdfMarksTheStudyReported)
{
    MessageBoxCloser closer;
    const auto dialog = makeDialog();
    dialog->setStartTime(2.0);
    child<QRadioButton>(*dialog, "rbtLayout4by3")->setChecked(true);
    child<QCheckBox>(*dialog, "chkPrintLeadAverage")->setChecked(false);
    child<QPushButton>(*dialog, "btnCreate")->click();

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    ASSERT_TRUE(QFile::exists(reportPath()));
    EXPECT_EQ(closer.messages, QStringList(QStringLiteral("Report saved: The report was saved as:\n") +
                                           QDir::toNativeSeparators(reportPath())))
        << "no desktop opens it here";
    EXPECT_EQ(PdfTools::pageCount(reportPath()), 3);
    EXPECT_EQ(demo.study()->propertyValue("status"), "report");
    EXPECT_EQ(storedStatus(), "report");
    EXPECT_EQ(child<QLabel>(*dialog, "lblReport")->text(), QStringLiteral("Page 3 of 3"));
    EXPECT_EQ(child<QProgressBar>(*dialog, "barReport")->maximum(), 3);
    EXPECT_TRUE(child<QFrame>(*dialog, "frameReport")->isHidden());
    EXPECT_EQ(TSettings::text(TSettings::EcgGraphicLayout), QStringLiteral("4by3"));
    EXPECT_EQ(TSettings::text(TSettings::PrintDestination), QStringLiteral("pdf"));
    EXPECT_FALSE(TSettings::flag(TSettings::PrintLeadAverage));
}

TEST_F(ReportDialogTest, PdfThatCannotBeWrittenIsShownAndLeavesTheStatus)
{
    // A folder in the place of the report file.
    ASSERT_TRUE(QDir().mkpath(reportPath()));
    MessageBoxCloser closer;
    const auto dialog = makeDialog();
    firstPageOnly(*dialog);
    child<QPushButton>(*dialog, "btnCreate")->click();

    ASSERT_EQ(closer.messages.size(), 1);
    EXPECT_TRUE(closer.messages.front().startsWith(QStringLiteral("Error: The PDF file could not be written")))
        << closer.messages.front().toStdString();
    EXPECT_EQ(demo.study()->propertyValue("status"), "");
    EXPECT_EQ(storedStatus(), "");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(TSettings::text(TSettings::PrintDestination), QStringLiteral("pdf")) << "settings are saved";
    EXPECT_FALSE(TSettings::flag(TSettings::PrintLatePotentials));
}

TEST_F(ReportDialogTest, DirectPrintingWithoutPrinterIsShownAndLeavesTheStatus)
{
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "a printer is installed; the test would print on it";
    MessageBoxCloser closer;
    const auto dialog = makeDialog();
    firstPageOnly(*dialog);
    child<QRadioButton>(*dialog, "rbtPrintDirect")->setChecked(true);
    child<QPushButton>(*dialog, "btnCreate")->click();

    EXPECT_EQ(closer.messages, QStringList{QStringLiteral("Error: No printer is available")});
    EXPECT_EQ(demo.study()->propertyValue("status"), "");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(TSettings::text(TSettings::PrintDestination), QStringLiteral("printer"));
}

} // namespace
