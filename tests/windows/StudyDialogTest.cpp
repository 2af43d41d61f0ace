// The study dialog driven through its widgets: age from the birth date at
// the study date, BMI, required names, remembered combo texts and the
// record it gives back.
#include "StudyDialogsTestSupport.h"

#include "settings/TSettings.h"
#include "windows/StudyDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class StudyDialogTest : public ::testing::Test
{
protected:
    // A stored study (id 5) of 1 February 2014.
    static TStudyInfo storedStudy()
    {
        TStudyInfo info = newStudyInfo("Ana", "Garcia", "20140201103000");
        info.id = 5;
        return info;
    }

    template <typename Widget>
    static Widget* child(const StudyDialog& dialog, const char* name)
    {
        Widget* widget = dialog.findChild<Widget*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static QPushButton* okButton(const StudyDialog& dialog)
    {
        return child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    }

    // Replaces the text of an edit as typed by the operator.
    static void type(const StudyDialog& dialog, const char* name, const QString& text)
    {
        QLineEdit* edit = child<QLineEdit>(dialog, name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    static QString text(const StudyDialog& dialog, const char* name)
    {
        return child<QLineEdit>(dialog, name)->text();
    }

    static void accept(StudyDialog& dialog)
    {
        dialog.show();
        QTest::mouseClick(okButton(dialog), Qt::LeftButton);
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    }

    dialogtest::StoreFixture fixture;  // settings in a temporary folder
};

TEST_F(StudyDialogTest, AgeIsCountedFromTheBirthDateAtTheStudyDate)
{
    StudyDialog dialog(nullptr, storedStudy());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Study data"));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowContextHelpButtonHint);

    type(dialog, "txtBirthDate", QStringLiteral("1/2/1950"));
    EXPECT_EQ(text(dialog, "txtAge"), QStringLiteral("64")) << "birthday on the study date";
    type(dialog, "txtBirthDate", QStringLiteral("1/2/50"));
    EXPECT_EQ(text(dialog, "txtAge"), QStringLiteral("64")) << "two-digit years are of the 1900s";
    type(dialog, "txtBirthDate", QStringLiteral("2/2/1950"));
    EXPECT_EQ(text(dialog, "txtAge"), QStringLiteral("63"));

    child<QDateTimeEdit>(dialog, "studyDateTime")->setDateTime(QDateTime(QDate(2014, 1, 31), QTime(9, 0)));
    type(dialog, "txtBirthDate", QStringLiteral("1/2/1950"));
    EXPECT_EQ(text(dialog, "txtAge"), QStringLiteral("63")) << "the day before the birthday";

    type(dialog, "txtBirthDate", QStringLiteral("1/6/2013"));
    EXPECT_EQ(text(dialog, "txtAge"), QString()) << "under one year";
    type(dialog, "txtBirthDate", QStringLiteral("1/2/2020"));
    EXPECT_EQ(text(dialog, "txtAge"), QString()) << "after the study";
    type(dialog, "txtBirthDate", QStringLiteral("31/2/1950"));
    EXPECT_EQ(text(dialog, "txtAge"), QString()) << "not a date";
}

TEST_F(StudyDialogTest, TypingAnAgeClearsTheBirthDate)
{
    TStudyInfo info = storedStudy();
    info.birthDate = "19500201";
    StudyDialog dialog(nullptr, info);
    EXPECT_EQ(text(dialog, "txtBirthDate"), QStringLiteral("1/2/1950"));

    type(dialog, "txtAge", QStringLiteral("70"));
    EXPECT_EQ(text(dialog, "txtBirthDate"), QString());
    accept(dialog);
    EXPECT_EQ(dialog.studyInfo().birthDate, "");
    EXPECT_EQ(dialog.studyInfo().age, "70");
}

TEST_F(StudyDialogTest, BmiFromTheLeadingNumbersOfWeightAndHeight)
{
    TStudyInfo info = storedStudy();
    info.weight = "80";
    info.height = "200";
    StudyDialog dialog(nullptr, info);
    EXPECT_EQ(text(dialog, "txtBMI"), QStringLiteral("20.0")) << "computed when loaded";
    EXPECT_TRUE(child<QLineEdit>(dialog, "txtBMI")->isReadOnly());

    type(dialog, "txtWeight", QStringLiteral("72,5"));
    type(dialog, "txtHeight", QStringLiteral("180"));
    EXPECT_EQ(text(dialog, "txtBMI"), QStringLiteral("22.4")) << "a decimal comma as a decimal point: 72.5";
    type(dialog, "txtWeight", QStringLiteral("72.5 kg"));
    EXPECT_EQ(text(dialog, "txtBMI"), QStringLiteral("22.4"));
    type(dialog, "txtHeight", QStringLiteral("0"));
    EXPECT_EQ(text(dialog, "txtBMI"), QString());
    type(dialog, "txtHeight", QStringLiteral("1.8e2"));
    EXPECT_EQ(text(dialog, "txtBMI"), QStringLiteral("22.4"));
    type(dialog, "txtHeight", QString());
    EXPECT_EQ(text(dialog, "txtBMI"), QString());
    type(dialog, "txtHeight", QStringLiteral("tall"));
    EXPECT_EQ(text(dialog, "txtBMI"), QString());
}

TEST_F(StudyDialogTest, BothNamesAreRequired)
{
    TStudyInfo info = storedStudy();
    info.id = 0;
    info.firstName.clear();
    StudyDialog dialog(nullptr, info);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("New VA ROR study"));
    QLineEdit* first = child<QLineEdit>(dialog, "txtFirstName");
    QLineEdit* last = child<QLineEdit>(dialog, "txtLastName");
    EXPECT_FALSE(okButton(dialog)->isEnabled());
    EXPECT_EQ(first->styleSheet(), QStringLiteral("background-color: lightyellow"));
    EXPECT_EQ(last->styleSheet(), QString());

    type(dialog, "txtFirstName", QStringLiteral("   "));
    EXPECT_FALSE(okButton(dialog)->isEnabled()) << "blanks are no name";
    EXPECT_EQ(first->styleSheet(), QStringLiteral("background-color: lightyellow"));

    QTest::keyClicks(first, QStringLiteral("Luz"));
    EXPECT_TRUE(okButton(dialog)->isEnabled());
    EXPECT_EQ(first->styleSheet(), QString());

    type(dialog, "txtLastName", QString());
    EXPECT_FALSE(okButton(dialog)->isEnabled());
    EXPECT_EQ(last->styleSheet(), QStringLiteral("background-color: lightyellow"));
}

TEST_F(StudyDialogTest, NewStudyStartsNowWithTheFocusOnTheLastName)
{
    TStudyInfo info = storedStudy();
    info.id = 0;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    StudyDialog dialog(nullptr, info);
    dialog.show();
    EXPECT_GE(child<QDateTimeEdit>(dialog, "studyDateTime")->dateTime(), before);
    EXPECT_EQ(dialog.focusWidget(), child<QLineEdit>(dialog, "txtLastName"));
}

TEST_F(StudyDialogTest, ComboTextsAreRememberedOnceAndCaseSensitively)
{
    TSettings::setValue(TSettings::CityList, QStringList{QStringLiteral("Madrid")});
    {
        StudyDialog dialog(nullptr, storedStudy());
        QComboBox* city = child<QComboBox>(dialog, "cboCity");
        EXPECT_EQ(city->count(), 1) << "the remembered city is offered";
        EXPECT_EQ(city->currentText(), QString()) << "but not chosen";
        city->lineEdit()->setText(QStringLiteral("Madrid"));
        child<QComboBox>(dialog, "cboDoctorName")->lineEdit()->setText(QStringLiteral(" Dra. Ruiz  "));
        accept(dialog);
        EXPECT_EQ(dialog.studyInfo().city, "Madrid");
    }
    EXPECT_EQ(TSettings::list(TSettings::CityList), QStringList{QStringLiteral("Madrid")});
    EXPECT_EQ(TSettings::list(TSettings::DoctorNameList), QStringList{QStringLiteral("Dra. Ruiz")});
    EXPECT_EQ(TSettings::list(TSettings::StateList), QStringList()) << "empty texts are not kept";
    {
        StudyDialog dialog(nullptr, storedStudy());
        child<QComboBox>(dialog, "cboCity")->lineEdit()->setText(QStringLiteral("madrid"));
        accept(dialog);
    }
    EXPECT_EQ(TSettings::list(TSettings::CityList), (QStringList{QStringLiteral("Madrid"), QStringLiteral("madrid")}));
    {
        StudyDialog dialog(nullptr, storedStudy());
        child<QComboBox>(dialog, "cboCity")->lineEdit()->setText(QStringLiteral("Bilbao"));
        dialog.show();
        dialog.reject();
    }
    EXPECT_EQ(TSettings::list(TSettings::CityList).size(), 2) << "cancel remembers nothing";
}

TEST_F(StudyDialogTest, TheRecordComesBackEditedWithTheStoresRiskFactors)
{
    TStudyInfo info = storedStudy();
    info.sex = "F";
    info.city = "Zaragoza";
    info.indication = "Palpitaciones";
    info.conclusion = "Sin potenciales tardíos";
    info.status = "report";
    info.baseFilename = "Garcia-Ana-20140201103000";
    info.recordingDateTime = "20140201103500";
    info.riskFactors = {{"Hipertensión", true, "desde 2010"}, {"Fiebre", true, "x"}, {"Gota", false, "antigua"}};
    StudyDialog dialog(nullptr, info);

    QListWidget* categories = child<QListWidget>(dialog, "listCategory");
    ASSERT_EQ(categories->count(), 3);
    categories->setCurrentRow(1);
    EXPECT_EQ(child<QStackedWidget>(dialog, "pages")->currentWidget()->objectName(), QStringLiteral("pageRiskFactors"));

    // Rows step down by 20 pixels from the hidden templates.
    QCheckBox* hypertension = child<QCheckBox>(dialog, "chk_Hipertensión");
    QCheckBox* gout = child<QCheckBox>(dialog, "chk_Gota");
    QLineEdit* goutComment = child<QLineEdit>(dialog, "txt_Gota");
    ASSERT_TRUE(hypertension && gout && goutComment);
    EXPECT_TRUE(child<QCheckBox>(dialog, "chkRiskFactor")->isHidden());
    EXPECT_EQ(hypertension->geometry(), child<QCheckBox>(dialog, "chkRiskFactor")->geometry());
    EXPECT_EQ(goutComment->geometry(), child<QLineEdit>(dialog, "txtRiskFactorComments")->geometry().translated(0, 200));
    EXPECT_EQ(goutComment->placeholderText(), QStringLiteral("Comments..."));
    EXPECT_EQ(gout->property("riskFactorName").toString(), QStringLiteral("Gota"));
    EXPECT_TRUE(hypertension->isChecked());
    EXPECT_EQ(goutComment->text(), QStringLiteral("antigua"));
    EXPECT_EQ(child<QComboBox>(dialog, "cboSex")->currentText(), QStringLiteral("Female"));

    gout->setChecked(true);
    child<QComboBox>(dialog, "cboSex")->setCurrentIndex(1);
    child<QPlainTextEdit>(dialog, "txtMedication")->setPlainText(QStringLiteral("Enalapril"));
    accept(dialog);

    const TStudyInfo& edited = dialog.studyInfo();
    ASSERT_EQ(edited.riskFactors.size(), defaultRiskFactorNames().size()) << "unknown names are dropped";
    for (std::size_t i = 0; i < edited.riskFactors.size(); ++i)
        EXPECT_EQ(edited.riskFactors[i].name, defaultRiskFactorNames()[i]);
    EXPECT_TRUE(edited.riskFactors.front().present);
    EXPECT_EQ(edited.riskFactors.front().comment, "desde 2010");
    EXPECT_TRUE(edited.riskFactors.back().present);
    EXPECT_EQ(edited.riskFactors.back().comment, "antigua");
    EXPECT_FALSE(edited.riskFactors[1].present);
    EXPECT_EQ(edited.sex, "M");
    EXPECT_EQ(edited.treatment, "Enalapril");
    EXPECT_EQ(edited.indication, "Palpitaciones");
    EXPECT_EQ(edited.city, "Zaragoza");
    EXPECT_EQ(edited.studyDateTime, "20140201103000");
    EXPECT_EQ(edited.lastName, "Garcia");
    // Fields the dialog does not show pass through.
    EXPECT_EQ(edited.id, 5);
    EXPECT_EQ(edited.conclusion, info.conclusion);
    EXPECT_EQ(edited.status, "report");
    EXPECT_EQ(edited.baseFilename, info.baseFilename);
    EXPECT_EQ(edited.recordingDateTime, info.recordingDateTime);
    EXPECT_EQ(edited.channelCount, 14);
    EXPECT_EQ(edited.gain, 300.0);
}

} // namespace
