#include "windows/WorklistDialog.h"

#include "hospital/TDicomLink.h"
#include "hospital/TDicomPeer.h"
#include "windows/TWaitCursor.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

WorklistDialog::WorklistDialog(QWidget* parent)
    : QDialog(parent)
    , m_name(new QLineEdit(this))
    , m_patientId(new QLineEdit(this))
    , m_list(new QTreeWidget(this))
    , m_message(new QLabel(this))
{
    setWindowTitle(tr("Worklist"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_name->setObjectName(QStringLiteral("txtWorklistName"));
    m_patientId->setObjectName(QStringLiteral("txtWorklistPatientId"));
    m_list->setObjectName(QStringLiteral("treeWorklist"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({tr("Patient"), tr("Patient ID"), tr("Birth date"), tr("Sex"), tr("Accession number"),
                             tr("Procedure"), tr("Scheduled")});
    m_message->setObjectName(QStringLiteral("lblWorklistMessage"));
    m_message->setWordWrap(true);
    auto* search = new QPushButton(tr("Search"), this);
    search->setObjectName(QStringLiteral("btnWorklistSearch"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this, ok] { ok->setEnabled(m_list->currentItem()); });

    auto* query = new QFormLayout;
    query->addRow(tr("Name"), m_name);
    query->addRow(tr("Patient ID"), m_patientId);
    query->addRow(QString(), search);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(query);
    layout->addWidget(m_list);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    resize(760, 420);
    QMetaObject::connectSlotsByName(this);
    on_btnWorklistSearch_clicked();
}

WorklistDialog::~WorklistDialog() = default;

void WorklistDialog::on_btnWorklistSearch_clicked()
{
    m_list->clear();
    m_entries.clear();
    try {
        const TWaitCursor wait;
        const TDicomLink::WorklistQuery query{QDate::currentDate().toString(QStringLiteral("yyyyMMdd")),
                                              m_name->text().trimmed(), m_patientId->text().trimmed()};
        m_entries = TDicomLink::worklist(TDicomPeer::fromSettings(), query);
        m_message->setText(tr("%1 scheduled procedures.").arg(m_entries.size()));
    } catch (const std::exception& error) {
        m_message->setText(QString::fromStdString(error.what()));
        return;
    }
    for (const TWorklistEntry& entry : m_entries) {
        m_list->addTopLevelItem(new QTreeWidgetItem(
            {QStringLiteral("%1, %2").arg(entry.lastName, entry.firstName), entry.patientId, entry.birthDate, entry.sex,
             entry.accessionNumber, entry.procedure, entry.scheduledStart}));
    }
    for (int column = 0; column < m_list->columnCount(); ++column)
        m_list->resizeColumnToContents(column);
}

TStudyInfo WorklistDialog::fill(TStudyInfo info) const
{
    const int chosen = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (chosen < 0 || chosen >= m_entries.size())
        return info;
    const TWorklistEntry& entry = m_entries[chosen];
    info.lastName = entry.lastName.toStdString();
    info.firstName = entry.firstName.toStdString();
    info.medicalHistoryNumber = entry.patientId.toStdString();
    info.birthDate = entry.birthDate.toStdString();
    info.sex = entry.sex.toStdString();
    info.accessionNumber = entry.accessionNumber.toStdString();
    info.studyInstanceUid = entry.studyInstanceUid.toStdString();
    return info;
}
