#include "windows/StudyDialog.h"
#include "ui_StudyDialog.h"

#include "settings/TSettings.h"
#include "storage/TStudyJson.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>

namespace {

// Vertical distance between two risk factor rows.
constexpr int RiskFactorRowStep = 20;

const QString BirthDateFormat = QStringLiteral("yyyyMMdd");
const QString DateTimeFormat = QStringLiteral("yyyyMMddHHmmss");
const QString RequiredStyle = QStringLiteral("background-color: lightyellow");

QString fromUtf8(const std::string& text)
{
    return TStudyJson::toQString(text);
}

std::string toUtf8(const QString& text)
{
    return TStudyJson::toUtf8(text);
}

// Age in whole years on `day`: one less until the birthday of that year.
int ageAt(const QDate& birth, const QDate& day)
{
    const int years = day.year() - birth.year();
    const bool birthdayReached =
        birth.month() < day.month() || (birth.month() == day.month() && day.day() >= birth.day());
    return birthdayReached ? years : years - 1;
}

// The sex codes of the record, by item of the sex combo box.
enum SexItem { SexUnknown, SexMale, SexFemale };

int sexItem(const std::string& code)
{
    if (code == "M")
        return SexMale;
    if (code == "F")
        return SexFemale;
    return SexUnknown;
}

std::string sexCode(int item)
{
    switch (item) {
    case SexMale:
        return "M";
    case SexFemale:
        return "F";
    default:
        return "";
    }
}

} // namespace

StudyDialog::StudyDialog(QWidget* parent, const TStudyInfo& info, const std::vector<std::string>& riskFactorNames)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::StudyDialog>()),
      m_info(info),
      m_newStudy(info.id == 0)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(m_newStudy ? tr("New VA ROR study") : tr("Study data"));
    m_ui->listCategory->setCurrentRow(0);
    m_ui->pages->setCurrentIndex(0);
    m_ui->cboSex->addItems({QString(), tr("Male"), tr("Female")});
    m_ui->chkRiskFactor->hide();
    m_ui->txtRiskFactorComments->hide();
    buildRiskFactorRows(riskFactorNames);
    describeFields();
    loadComboLists();
    loadRecord();
    if (m_newStudy) {
        m_ui->studyDateTime->setDateTime(QDateTime::currentDateTime());
        m_ui->txtLastName->setFocus();
    }
    connect(m_ui->txtLastName, &QLineEdit::textChanged, this, &StudyDialog::validate);
    connect(m_ui->txtFirstName, &QLineEdit::textChanged, this, &StudyDialog::validate);
    connect(m_ui->txtAge, &QLineEdit::textChanged, this, &StudyDialog::validate);
    connect(m_ui->cboSex, &QComboBox::currentTextChanged, this, &StudyDialog::validate);
    validate();
}

StudyDialog::~StudyDialog() = default;

QDate StudyDialog::parseBirthDate(const QString& text)
{
    QDate date = QDate::fromString(text, tr("d/M/yyyy"));
    if (!date.isValid() || date.year() < 1000)
        date = QDate::fromString(text, tr("d/M/yy"));
    return date;
}

// The widgets that carry plain record fields, with the field each carries.
void StudyDialog::describeFields()
{
    m_textFields = {
        {m_ui->txtLastName, &TStudyInfo::lastName},
        {m_ui->txtFirstName, &TStudyInfo::firstName},
        {m_ui->txtAge, &TStudyInfo::age},
        {m_ui->txtWeight, &TStudyInfo::weight},
        {m_ui->txtHeight, &TStudyInfo::height},
        {m_ui->txtIdNumber, &TStudyInfo::personIdNumber},
        {m_ui->txtMedicalGroupNumber, &TStudyInfo::medicalGroupNumber},
        {m_ui->txtMedicalHistoryNumber, &TStudyInfo::medicalHistoryNumber},
        {m_ui->txtPhoneNumber, &TStudyInfo::phoneNumber},
        {m_ui->txtAddress, &TStudyInfo::address},
    };
    m_noteFields = {
        {m_ui->txtIndication, &TStudyInfo::indication},
        {m_ui->txtMedication, &TStudyInfo::treatment},
        {m_ui->txtComments, &TStudyInfo::comments},
    };
    m_comboFields = {
        {m_ui->cboIdType, &TStudyInfo::personIdType, &TSettings::IdTypeList, nullptr},
        {m_ui->cboMedicalGroup, &TStudyInfo::medicalGroupName, &TSettings::MedicalGroupList, nullptr},
        {m_ui->cboCity, &TStudyInfo::city, &TSettings::CityList, nullptr},
        {m_ui->cboState, &TStudyInfo::state, &TSettings::StateList, nullptr},
        {m_ui->cboTechnicianName, &TStudyInfo::technicianName, &TSettings::TechnicianNameList, nullptr},
        {m_ui->cboDoctorName, &TStudyInfo::doctorName, &TSettings::DoctorNameList, nullptr},
        {m_ui->cboReferringDoctorName, &TStudyInfo::referringDoctorName, &TSettings::ReferringDoctorNameList, nullptr},
    };
}

// One check box and one comment field per name, stepping down from the
// hidden templates, whose geometry and placeholder they take.
void StudyDialog::buildRiskFactorRows(const std::vector<std::string>& names)
{
    QWidget* page = m_ui->pageRiskFactors;
    const QRect checkGeometry = m_ui->chkRiskFactor->geometry();
    const QRect commentGeometry = m_ui->txtRiskFactorComments->geometry();
    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const QString name = fromUtf8(names[i]);
        const int offset = RiskFactorRowStep * int(i);

        auto* present = new QCheckBox(name, page);
        present->setObjectName(QStringLiteral("chk_") + name);
        present->setGeometry(checkGeometry.translated(0, offset));
        present->setProperty("riskFactorName", name);

        auto* comment = new QLineEdit(page);
        comment->setObjectName(QStringLiteral("txt_") + name);
        comment->setGeometry(commentGeometry.translated(0, offset));
        comment->setPlaceholderText(m_ui->txtRiskFactorComments->placeholderText());
        comment->setProperty("riskFactorName", name);

        if (previous)
            setTabOrder(previous, present);
        setTabOrder(present, comment);
        previous = comment;
        m_riskFactorRows.push_back({names[i], present, comment});
    }
}

// Each combo box offers the texts remembered under its key; the boxes start
// empty so that only the record's text shows.
void StudyDialog::loadComboLists()
{
    for (ComboField& field : m_comboFields) {
        field.model = new QStringListModel(TSettings::list(*field.key), this);
        field.combo->setModel(field.model);
        field.combo->setCurrentIndex(-1);
    }
}

// A text typed into a box joins its list once (case-sensitive); the lists
// keep their order and are never shortened.
void StudyDialog::saveComboLists() const
{
    for (const ComboField& field : m_comboFields) {
        QStringList texts = field.model->stringList();
        const QString text = field.combo->currentText().trimmed();
        if (!text.isEmpty() && !texts.contains(text, Qt::CaseSensitive))
            texts.append(text);
        TSettings::setValue(*field.key, texts);
    }
}

void StudyDialog::loadRecord()
{
    for (const TextField& field : m_textFields)
        field.edit->setText(fromUtf8(m_info.*field.member));
    for (const NoteField& field : m_noteFields)
        field.edit->setPlainText(fromUtf8(m_info.*field.member));
    for (const ComboField& field : m_comboFields)
        field.combo->setCurrentText(fromUtf8(m_info.*field.member));

    const QDate birth = QDate::fromString(fromUtf8(m_info.birthDate), BirthDateFormat);
    m_ui->txtBirthDate->setText(birth.isValid() ? birth.toString(tr("d/M/yyyy")) : QString());
    m_ui->cboSex->setCurrentIndex(sexItem(m_info.sex));
    m_ui->studyDateTime->setDateTime(QDateTime::fromString(fromUtf8(m_info.studyDateTime), DateTimeFormat));

    for (const TRiskFactorEntry& entry : m_info.riskFactors) {
        if (const RiskFactorRow* row = riskFactorRow(entry.name)) {
            row->present->setChecked(entry.present);
            row->comment->setText(fromUtf8(entry.comment));
        }
    }
    updateBmi();
}

// The risk factors are rebuilt from the rows, so entries of names the
// store does not know are dropped.
void StudyDialog::storeRecord()
{
    for (const TextField& field : m_textFields)
        m_info.*field.member = toUtf8(field.edit->text());
    for (const NoteField& field : m_noteFields)
        m_info.*field.member = toUtf8(field.edit->toPlainText());
    for (const ComboField& field : m_comboFields)
        m_info.*field.member = toUtf8(field.combo->currentText());

    const QDate birth = parseBirthDate(m_ui->txtBirthDate->text());
    m_info.birthDate = birth.isValid() ? toUtf8(birth.toString(BirthDateFormat)) : std::string();
    m_info.sex = sexCode(m_ui->cboSex->currentIndex());
    m_info.studyDateTime = toUtf8(m_ui->studyDateTime->dateTime().toString(DateTimeFormat));

    m_info.riskFactors.clear();
    for (const RiskFactorRow& row : m_riskFactorRows)
        m_info.riskFactors.push_back({row.name, row.present->isChecked(), toUtf8(row.comment->text())});
}

const StudyDialog::RiskFactorRow* StudyDialog::riskFactorRow(const std::string& name) const
{
    for (const RiskFactorRow& row : m_riskFactorRows) {
        if (row.name == name)
            return &row;
    }
    return nullptr;
}

void StudyDialog::on_listCategory_currentRowChanged(int currentRow)
{
    m_ui->pages->setCurrentIndex(currentRow);
    m_ui->pages->setFocus();
}

void StudyDialog::on_txtWeight_textEdited(const QString&)
{
    updateBmi();
}

void StudyDialog::on_txtHeight_textEdited(const QString&)
{
    updateBmi();
}

// The age at the study date, not at today's date; empty under one year
// and for a text that is not a date.
void StudyDialog::on_txtBirthDate_textEdited(const QString& text)
{
    const QDate birth = parseBirthDate(text);
    const int age = birth.isValid() ? ageAt(birth, m_ui->studyDateTime->date()) : 0;
    m_ui->txtAge->setText(age >= 1 ? QString::number(age) : QString());
}

// An age typed by hand no longer matches the birth date.
void StudyDialog::on_txtAge_textEdited(const QString&)
{
    m_ui->txtBirthDate->clear();
}

void StudyDialog::on_StudyDialog_accepted()
{
    storeRecord();
    saveComboLists();
}

void StudyDialog::updateBmi()
{
    m_ui->txtBMI->setText(QString::fromStdString(
        bodyMassIndexText(m_ui->txtWeight->text().toStdString(), m_ui->txtHeight->text().toStdString())));
}

// Both names are required; an empty one is marked light yellow.
void StudyDialog::validate()
{
    bool valid = true;
    for (QLineEdit* edit : {m_ui->txtLastName, m_ui->txtFirstName}) {
        const bool filled = !edit->text().trimmed().isEmpty();
        edit->setStyleSheet(filled ? QString() : RequiredStyle);
        valid = valid && filled;
    }
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(valid);
}
