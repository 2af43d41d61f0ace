#include "windows/OpenStudyDialog.h"
#include "ui_OpenStudyDialog.h"

#include "clinic/TClinicCopy.h"
#include "clinic/TServerStudyStore.h"
#include "hospital/TPacsSender.h"
#include "pipeline/TReviewAnalysis.h"
#include "report/TReportPdf.h"
#include "pipeline/TStudyRecording.h"
#include "settings/TSettings.h"
#include "formats/TImportedRecording.h"
#include "storage/TStagedFiles.h"
#include "storage/TStoredRecording.h"
#include "storage/TStudyJson.h"
#include "storage/TStudyStore.h"
#include "windows/HospitalSettingsPage.h"
#include "windows/TWaitCursor.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QScopeGuard>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace {

// Columns of both lists; the shared list has the first four.
enum Column {
    ColumnKey,           // local: study id; shared: archive file name
    ColumnPatient,
    ColumnStudyType,
    ColumnDate,
    ColumnReport,        // local only
    ColumnBaseFilename,  // local only
    ColumnDuration,      // local only
    ColumnPacs,          // local only: the state of its sending to the PACS
};

const QString DateTimeFormat = QStringLiteral("yyyyMMddHHmmss");
constexpr int PatientColumnWidth = 170;

QString fromUtf8(const std::string& text)
{
    return TStudyJson::toQString(text);
}

std::string toLocal8Bit(const QString& path)
{
    return path.toLocal8Bit().toStdString();
}

// A study's row: sorted by the recorded seconds in the duration column,
// which shows them as minutes and seconds (0:38 before 3:43 before 30:05).
class StudyItem : public QTreeWidgetItem
{
public:
    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == ColumnDuration)
            return data(column, Qt::UserRole).toInt() < other.data(column, Qt::UserRole).toInt();
        return QTreeWidgetItem::operator<(other);
    }
};

// An item with the patient, study type and date columns of a study.
QTreeWidgetItem* studyItem(const QVariant& key, const TStudyInfo& info)
{
    auto* item = new StudyItem;
    item->setData(ColumnKey, Qt::DisplayRole, key);
    item->setText(ColumnPatient, QStringLiteral("%1, %2").arg(fromUtf8(info.lastName), fromUtf8(info.firstName)));
    item->setText(ColumnStudyType, QCoreApplication::translate("OpenStudyDialog", info.studyType.c_str()));
    item->setData(ColumnDate, Qt::DisplayRole, QDateTime::fromString(fromUtf8(info.studyDateTime), DateTimeFormat));
    return item;
}

// Every column's texts in full; the patient column is never narrower than
// at first.
void fitColumns(QTreeWidget* tree)
{
    for (int column = ColumnPatient; column < tree->columnCount(); ++column)
        tree->resizeColumnToContents(column);
    tree->setColumnWidth(ColumnPatient, std::max(tree->columnWidth(ColumnPatient), PatientColumnWidth));
}

// Pixels the tree needs to show every shown column in full without a
// horizontal scroll bar, with room for the vertical one. The last column
// stretches over the rest, so its contents count rather than its width,
// and it is never narrower than the header's default.
int fullWidth(const QTreeWidget* tree)
{
    const QHeaderView* header = tree->header();
    const QAbstractItemView* view = tree;
    int width = 2 * tree->frameWidth() + tree->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < tree->columnCount(); ++column) {
        if (tree->isColumnHidden(column))
            continue;
        const bool last = header->visualIndex(column) == header->count() - 1;
        width += last ? std::max({view->sizeHintForColumn(column), header->sectionSizeHint(column),
                                  header->defaultSectionSize()})
                      : tree->columnWidth(column);
    }
    return width;
}

int studyId(const QTreeWidgetItem& item)
{
    return item.data(ColumnKey, Qt::DisplayRole).toInt();
}

QStringList patients(const QList<QTreeWidgetItem*>& items)
{
    QStringList names;
    for (const QTreeWidgetItem* item : items)
        names.append(item->text(ColumnPatient));
    return names;
}

// Letters without their accents, case folded: names are typed with or
// without accents, so "jose" finds "José" and "nunez" finds "Núñez".
QString searchKey(const QString& text)
{
    QString key;
    for (const QChar character : text.normalized(QString::NormalizationForm_D)) {
        if (character.category() != QChar::Mark_NonSpacing)
            key.append(character);
    }
    return key.toCaseFolded();
}

// The studies of the items, one a line, as the lists show them, so that
// the operator sees what a deletion takes away.
QString studyList(const QList<QTreeWidgetItem*>& items)
{
    QStringList lines;
    for (const QTreeWidgetItem* item : items) {
        const QDateTime date = item->data(ColumnDate, Qt::DisplayRole).toDateTime();
        lines.append(QStringLiteral("%1 - %2").arg(item->text(ColumnPatient),
                                                   QLocale().toString(date, QLocale::ShortFormat)));
    }
    return lines.join(QLatin1Char('\n'));
}

// Shows the items whose patient column holds every word (ignoring case and
// accents) and answers them; hidden items leave the selection, so that
// nothing out of sight is deleted or copied.
QList<QTreeWidgetItem*> applyFilter(QTreeWidget* tree, const QStringList& words)
{
    QStringList keys;
    for (const QString& word : words)
        keys.append(searchKey(word));
    QList<QTreeWidgetItem*> visible;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        const QString patient = searchKey(item->text(ColumnPatient));
        bool matches = true;
        for (const QString& key : keys)
            matches = matches && patient.contains(key);
        item->setHidden(!matches);
        if (matches)
            visible.append(item);
        else
            item->setSelected(false);
    }
    return visible;
}

} // namespace

OpenStudyDialog::OpenStudyDialog(QWidget* parent, TStudyStore* store)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::OpenStudyDialog>()),
      m_store(store)
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->frameShareControls->hide();
    m_ui->treeSharedStudies->hide();
    m_ui->frameSyncButtons->hide();
    addAction(m_ui->actionDelete);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    m_ui->btnReport->setEnabled(false);
    m_ui->btnDelete->setEnabled(false);
    auto* more = new QMenu(this);
    more->addActions({m_ui->actionExportEdf, m_ui->actionExportBdf, m_ui->actionExportWfdb, m_ui->actionExportAecg});
    more->addSeparator();
    more->addAction(m_ui->actionImportRecording);
    more->addSeparator();
    QAction* sendToPacs = more->addAction(tr("Send to PACS"));
    sendToPacs->setObjectName(QStringLiteral("actionSendToPacs"));
    connect(sendToPacs, &QAction::triggered, this, &OpenStudyDialog::sendSelectedToPacs);
    m_ui->btnMore->setMenu(more);
    on_treeStudies_itemSelectionChanged();

    m_ui->treeStudies->setHeaderLabels(
        {QString(), tr("Patient"), tr("Study type"), tr("Date"), tr("Report"), QString(), tr("Duration"), tr("PACS")});
    m_ui->treeStudies->hideColumn(ColumnKey);
    m_ui->treeStudies->hideColumn(ColumnBaseFilename);
    m_ui->treeSharedStudies->setHeaderLabels({QString(), tr("Patient"), tr("Study type"), tr("Date")});
    m_ui->treeSharedStudies->hideColumn(ColumnKey);
    for (QTreeWidget* tree : {m_ui->treeStudies, m_ui->treeSharedStudies})
        tree->setColumnWidth(ColumnPatient, PatientColumnWidth);
    connect(&TPacsSender::of(fromUtf8(m_store->dataPath())), &TPacsSender::passFinished, this,
            &OpenStudyDialog::showPacsStates);

    auto* toList = new QShortcut(QKeySequence(Qt::Key_Down), m_ui->txtFilter, nullptr, nullptr, Qt::WidgetShortcut);
    connect(toList, &QShortcut::activated, m_ui->treeStudies, qOverload<>(&QWidget::setFocus));

    QTimer::singleShot(0, this, [this] {
        const TWaitCursor wait;
        fillLocalList();
        m_ui->treeStudies->sortByColumn(ColumnDate, Qt::DescendingOrder);
    });
    loadSettings();
    addClinicServerControls();
}

// With the clinic server, the list follows changes made elsewhere, and the
// local data folder's studies can be copied up.
void OpenStudyDialog::addClinicServerControls()
{
    auto* server = dynamic_cast<TServerStudyStore*>(m_store);
    if (server == nullptr)
        return;
    connect(server, &TServerStudyStore::studiesChanged, this, &OpenStudyDialog::fillLocalList);
    auto* copy = new QPushButton(tr("Copy local studies to the clinic server"), this);
    copy->setObjectName(QStringLiteral("btnCopyToServer"));
    m_ui->buttonsLayout->insertWidget(0, copy);
    connect(copy, &QPushButton::clicked, this, [this, server] {
        try {
            const TWaitCursor wait;
            const TClinicCopyReport report = copyLocalStudies(server->localStore(), server->archive());
            QMessageBox::information(this, QString(), QString::fromStdString(report.text()));
        } catch (const std::exception& error) {
            showError(QString::fromUtf8(error.what()));
        }
        fillLocalList();
    });
}

OpenStudyDialog::~OpenStudyDialog()
{
    saveSettings();
}

void OpenStudyDialog::loadSettings()
{
    m_ui->cboShareFolders->addItems(TSettings::list(TSettings::SharedFolderList));
    const QString folder = TSettings::text(TSettings::DefaultSharedFolder);
    if (!folder.isEmpty())
        selectSharedFolder(folder);
}

// The folders offered, with the current one added once; the current one
// becomes the default.
void OpenStudyDialog::saveSettings() const
{
    QStringList folders;
    for (int i = 0; i < m_ui->cboShareFolders->count(); ++i)
        folders.append(m_ui->cboShareFolders->itemText(i));
    const QString current = sharedFolder();
    if (!current.isEmpty() && !folders.contains(current, Qt::CaseSensitive))
        folders.append(current);
    TSettings::setValue(TSettings::SharedFolderList, folders);
    TSettings::setValue(TSettings::DefaultSharedFolder, current);
}

// Makes a folder the current one: its item when it has one, the typed
// text otherwise.
void OpenStudyDialog::selectSharedFolder(const QString& folder)
{
    const int index = m_ui->cboShareFolders->findText(folder, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_ui->cboShareFolders->setCurrentIndex(index);
    else
        m_ui->cboShareFolders->setCurrentText(folder);
}

QString OpenStudyDialog::sharedFolder() const
{
    return m_ui->cboShareFolders->currentText().trimmed();
}

bool OpenStudyDialog::hasSharedFolder() const
{
    return !sharedFolder().isEmpty();
}

void OpenStudyDialog::fillLocalList()
{
    QList<QTreeWidgetItem*> items;
    try {
        const std::string dataPath = m_store->dataPath();
        for (const TStudyInfo& info : m_store->listStudies()) {
            QTreeWidgetItem* item = studyItem(info.id, info);
            item->setText(ColumnReport, info.status == "report" ? tr("Yes") : QString());
            item->setText(ColumnBaseFilename, fromUtf8(info.baseFilename));
            const int seconds = TStoredRecording::length(dataPath, info).seconds;
            item->setText(ColumnDuration, QString::asprintf("%d:%02d", seconds / 60, seconds % 60));
            item->setData(ColumnDuration, Qt::UserRole, seconds);
            item->setTextAlignment(ColumnDuration, Qt::AlignRight | Qt::AlignVCenter);
            items.append(item);
        }
    } catch (const std::exception& error) {
        showError(QString::fromUtf8(error.what()));
    }
    m_ui->treeStudies->clear();
    m_ui->treeStudies->addTopLevelItems(items);
    showPacsStates();
}

// "not sent", "queued ...", "sent at ..." or "failed: ..." per study, read
// in full.
void OpenStudyDialog::showPacsStates()
{
    const TPacsSender& sender = TPacsSender::of(fromUtf8(m_store->dataPath()));
    for (int i = 0; i < m_ui->treeStudies->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_ui->treeStudies->topLevelItem(i);
        item->setText(ColumnPacs, sender.stateText(studyId(*item)));
    }
    fitColumns(m_ui->treeStudies);
    keepLocalColumnsVisible();
}

// Without a shared folder the list stays empty (an empty path would list
// the working folder).
void OpenStudyDialog::fillSharedList()
{
    const TWaitCursor wait;
    m_ui->treeSharedStudies->clear();
    if (!hasSharedFolder())
        return;
    QList<QTreeWidgetItem*> items;
    try {
        for (const TStudyStore::ArchiveEntry& archive : m_store->listArchives(toLocal8Bit(sharedFolder()))) {
            const QString fileName = QString::fromLocal8Bit(archive.first.data(), int(archive.first.size()));
            items.append(studyItem(fileName, archive.second));
        }
    } catch (const std::exception& error) {
        showError(QString::fromUtf8(error.what()));
    }
    m_ui->treeSharedStudies->addTopLevelItems(items);
    fitColumns(m_ui->treeSharedStudies);
    // Newest first whenever the list is filled, so that every visit shows
    // the same order.
    m_ui->treeSharedStudies->sortByColumn(ColumnDate, Qt::DescendingOrder);
    if (!m_ui->treeSharedStudies->isHidden())
        growForSharedColumns();
}

// A list filled after it was shown (a folder chosen, a copy made) may need
// more room than it had when empty: the dialog grows as far as the columns
// need, where the screen has it, and never shrinks here.
void OpenStudyDialog::growForSharedColumns()
{
    const int needed = widthForSharedColumns();
    if (needed > width())
        setWidthAroundCentre(needed, width(), x());
}

// The least width of the dialog were the shared list held to its columns.
int OpenStudyDialog::widthForSharedColumns()
{
    QTreeWidget* shared = m_ui->treeSharedStudies;
    shared->setMinimumWidth(fullWidth(shared));
    const int width = layout()->minimumSize().width();
    shared->setMinimumWidth(0);
    return width;
}

// Resizes the dialog around the centre it had at `oldWidth` and `oldLeft`,
// keeping its height, on the screen where the screen is wide enough.
void OpenStudyDialog::setWidthAroundCentre(int newWidth, int oldWidth, int oldLeft)
{
    const QRect area = screen() ? screen()->availableGeometry() : QRect();
    if (area.isValid())
        newWidth = std::min(newWidth, area.width() - (frameGeometry().width() - width()));
    newWidth = std::max(newWidth, minimumSizeHint().width());
    resize(newWidth, height());
    int left = oldLeft - (newWidth - oldWidth) / 2;
    if (area.isValid())
        left = std::max(std::min(left, area.right() + 1 - frameGeometry().width()), area.left());
    move(left, y());
}

void OpenStudyDialog::on_txtFilter_textChanged(const QString& text)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!m_ui->treeSharedStudies->isHidden())
        applyFilter(m_ui->treeSharedStudies, words);
    QTreeWidget* tree = m_ui->treeStudies;
    const QList<QTreeWidgetItem*> visible = applyFilter(tree, words);
    if (visible.size() == 1)
        tree->setCurrentItem(visible.first());
    else if (visible.isEmpty() || (tree->currentItem() && tree->currentItem()->isHidden()))
        tree->setCurrentItem(nullptr);
}

void OpenStudyDialog::on_treeStudies_itemDoubleClicked(QTreeWidgetItem*, int)
{
    accept();
}

void OpenStudyDialog::on_treeStudies_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*)
{
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(current != nullptr);
    m_ui->btnReport->setEnabled(current && current->text(ColumnReport) == tr("Yes"));
}

// Only one of the two lists holds a selection at a time.
void OpenStudyDialog::on_treeStudies_itemSelectionChanged()
{
    const bool selected = !m_ui->treeStudies->selectedItems().isEmpty();
    updateCopyButtons();
    if (selected)
        m_ui->treeSharedStudies->clearSelection();
    m_ui->btnDelete->setEnabled(selected);
    for (QAction* action : {m_ui->actionExportEdf, m_ui->actionExportBdf, m_ui->actionExportWfdb, m_ui->actionExportAecg})
        action->setEnabled(selected);
}

void OpenStudyDialog::on_treeSharedStudies_itemSelectionChanged()
{
    const bool selected = !m_ui->treeSharedStudies->selectedItems().isEmpty();
    updateCopyButtons();
    if (selected)
        m_ui->treeStudies->clearSelection();
    m_ui->btnDelete->setEnabled(selected);
}

// A copy needs a selection to copy and a shared folder; either may come
// first.
void OpenStudyDialog::updateCopyButtons()
{
    const bool folder = hasSharedFolder();
    m_ui->btnShareExport->setEnabled(folder && !m_ui->treeStudies->selectedItems().isEmpty());
    m_ui->btnShareImport->setEnabled(folder && !m_ui->treeSharedStudies->selectedItems().isEmpty());
}

void OpenStudyDialog::on_OpenStudyDialog_accepted()
{
    if (const QTreeWidgetItem* current = m_ui->treeStudies->currentItem())
        m_selectedStudyId = studyId(*current);
}

void OpenStudyDialog::on_actionDelete_triggered()
{
    deleteSelected();
}

void OpenStudyDialog::on_btnDelete_clicked()
{
    deleteSelected();
}

// Deletes the selected local studies or shared archives after the
// operator's confirmation; what could not be deleted is reported at the end.
void OpenStudyDialog::deleteSelected()
{
    const QList<QTreeWidgetItem*> local = m_ui->treeStudies->selectedItems();
    const QList<QTreeWidgetItem*> shared = m_ui->treeSharedStudies->selectedItems();
    QString question;
    if (!local.isEmpty())
        question = tr("Delete selected studies from local folder?");
    else if (!shared.isEmpty())
        question = tr("Delete selected studies from shared folder?");
    else
        return;
    QMessageBox confirm(QMessageBox::Question, tr("Confirm"), question, QMessageBox::Yes | QMessageBox::No, this);
    confirm.setDefaultButton(QMessageBox::No);
    confirm.setInformativeText(studyList(local.isEmpty() ? shared : local));
    if (confirm.exec() != QMessageBox::Yes)
        return;

    QStringList problems;
    {
        const TWaitCursor wait;
        QCoreApplication::processEvents();
        problems = local.isEmpty() ? deleteSharedArchives(shared) : deleteLocalStudies(local);
    }
    if (!problems.isEmpty())
        showError(problems.join(QLatin1Char('\n')));
}

// A study open for review is left alone (the store would keep it anyway)
// and not announced as deleted.
QStringList OpenStudyDialog::deleteLocalStudies(const QList<QTreeWidgetItem*>& items)
{
    QStringList problems;
    for (const QTreeWidgetItem* item : items) {
        const int id = studyId(*item);
        const QString patient = item->text(ColumnPatient);
        try {
            if (m_store->isStudyOpen(id)) {
                problems.append(tr("%1: the study is open for review and was not deleted").arg(patient));
                continue;
            }
            m_store->deleteStudy(id);
        } catch (const std::exception& error) {
            problems.append(QStringLiteral("%1: %2").arg(patient, QString::fromUtf8(error.what())));
            continue;
        }
        emit deletedStudy(id);
    }
    fillLocalList();
    return problems;
}

QStringList OpenStudyDialog::deleteSharedArchives(const QList<QTreeWidgetItem*>& items)
{
    QStringList problems;
    QDir folder(sharedFolder());
    for (const QTreeWidgetItem* item : items) {
        const QString fileName = item->text(ColumnKey);
        if (!folder.remove(fileName))
            problems.append(tr("Cannot delete %1").arg(folder.filePath(fileName)));
    }
    fillSharedList();
    return problems;
}

void OpenStudyDialog::on_btnShareExport_clicked()
{
    const QList<QTreeWidgetItem*> items = m_ui->treeStudies->selectedItems();
    const std::string folder = toLocal8Bit(sharedFolder());
    const int succeeded = runBatch(patients(items), [this, &items, &folder](int i) {
        m_store->exportStudy(studyId(*items[i]), folder);
    });
    fillSharedList();
    reportBatch(tr("%1 of %2 studies were copied to the shared folder."), succeeded, items.size());
}

void OpenStudyDialog::on_btnShareImport_clicked()
{
    const QList<QTreeWidgetItem*> items = m_ui->treeSharedStudies->selectedItems();
    const QString folder = sharedFolder();
    int localKept = 0;
    int inConflict = 0;
    const int succeeded = runBatch(patients(items), [this, &items, &folder, &localKept, &inConflict](int i) {
        const Imported imported = importArchive(toLocal8Bit(QStringLiteral("%1/%2").arg(folder, items[i]->text(ColumnKey))));
        localKept += imported == Imported::LocalCopyKept ? 1 : 0;
        inConflict += imported == Imported::KeptInConflict ? 1 : 0;
    });
    fillLocalList();
    QString summary = tr("%1 of %2 studies were copied to the local folder.");
    if (localKept > 0)
        summary += QLatin1Char('\n') + tr("The local copy was kept for %n of them.", nullptr, localKept);
    if (inConflict > 0)
        summary += QLatin1Char('\n')
                   + tr("%n of them changed on the clinic server since the archive was made: kept on this "
                        "workstation until you choose which version the server keeps.",
                        nullptr, inConflict);
    reportBatch(summary, succeeded - localKept, items.size());
}

// With the clinic server, an archive older than the server's version is
// copied in and kept here in conflict: the main window asks which version
// stays.
OpenStudyDialog::Imported OpenStudyDialog::importArchive(const std::string& path)
{
    try {
        return importOrKeepLocal(path);
    } catch (const TKeptHere&) {
        return Imported::KeptInConflict;
    }
}

// A local copy that differs from the archive's is replaced only when the
// operator, told both dates, chooses so.
OpenStudyDialog::Imported OpenStudyDialog::importOrKeepLocal(const std::string& path)
{
    try {
        m_store->importStudy(path);
        return Imported::Yes;
    } catch (const TImportConflict& conflict) {
        const auto shown = [](const std::string& dateTime) {
            return QLocale().toString(QDateTime::fromString(fromUtf8(dateTime), DateTimeFormat), QLocale::ShortFormat);
        };
        QMessageBox question(QMessageBox::Question, tr("Confirm"),
                             tr("The local copy of this study, changed on %1, differs from the archive made on %2.")
                                 .arg(shown(conflict.localChanged), shown(conflict.archiveMade)),
                             QMessageBox::NoButton, this);
        QPushButton* keep = question.addButton(tr("Keep local"), QMessageBox::RejectRole);
        question.addButton(tr("Replace"), QMessageBox::AcceptRole);
        question.setDefaultButton(keep);
        question.exec();
        if (question.clickedButton() == keep)
            return Imported::LocalCopyKept;
        m_store->importStudyReplacing(path);
        return Imported::Yes;
    }
}

// Runs the operation on every entry (a study, shown by its patient, or a
// file) under a "Please wait..." progress dialog. A failing entry is
// reported with its label and the batch goes on with the next. Answers
// the number of entries that succeeded.
int OpenStudyDialog::runBatch(const QStringList& labels, const std::function<void(int)>& operation)
{
    QProgressDialog progress(tr("Please wait..."), QString(), 0, labels.size(), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    progress.show();
    int succeeded = 0;
    for (int i = 0; i < labels.size(); ++i) {
        try {
            operation(i);
            ++succeeded;
        } catch (const std::exception& error) {
            // Above the progress dialog, which blocks the rest of this window.
            QMessageBox box(QMessageBox::Information, QString(), QString::fromUtf8(error.what()), QMessageBox::Ok,
                            &progress);
            box.setInformativeText(labels[i]);
            box.exec();
        }
        progress.setValue(i + 1);
        QCoreApplication::processEvents();
    }
    return succeeded;
}

// After a batch, how many succeeded: the operator knows the copies were made.
void OpenStudyDialog::reportBatch(const QString& summary, int succeeded, int total, const QString& where)
{
    const QString text = summary.arg(succeeded).arg(total);
    QMessageBox::information(this, QString(), where.isEmpty() ? text : text.arg(where));
}

// The chosen folder joins the list once and becomes the current one.
void OpenStudyDialog::on_btnShareFolder_clicked()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Select shared folder"), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    if (m_ui->cboShareFolders->findText(folder, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0)
        m_ui->cboShareFolders->addItem(folder);
    selectSharedFolder(folder);
    fillSharedList();
    updateCopyButtons();
}

void OpenStudyDialog::on_cboShareFolders_currentIndexChanged(int)
{
    updateCopyButtons();
    if (!m_ui->treeSharedStudies->isHidden())
        fillSharedList();
}

void OpenStudyDialog::on_btnReport_clicked()
{
    const QTreeWidgetItem* item = m_ui->treeStudies->currentItem();
    if (!item || item->text(ColumnReport) != tr("Yes"))
        return;
    const QString path = QStringLiteral("%1/reports").arg(fromUtf8(m_store->dataPath())) +
                         QStringLiteral("/%1.pdf").arg(item->text(ColumnBaseFilename));
    if (!QFileInfo::exists(path)) {
        QMessageBox::warning(this, tr("Error"), tr("Report file not found"));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, tr("Error"), tr("The report could not be opened: %1").arg(path));
}

void OpenStudyDialog::on_actionExportEdf_triggered()
{
    exportSelected(TStudyExport::Format::Edf);
}

void OpenStudyDialog::on_actionExportBdf_triggered()
{
    exportSelected(TStudyExport::Format::Bdf);
}

void OpenStudyDialog::on_actionExportWfdb_triggered()
{
    exportSelected(TStudyExport::Format::Wfdb);
}

void OpenStudyDialog::on_actionExportAecg_triggered()
{
    exportSelected(TStudyExport::Format::Aecg);
}

// Each selected study goes to a file named after it in the chosen folder.
void OpenStudyDialog::exportSelected(TStudyExport::Format format)
{
    const QList<QTreeWidgetItem*> items = m_ui->treeStudies->selectedItems();
    if (items.isEmpty())
        return;
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Export to folder"), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    const int succeeded = runBatch(patients(items), [this, &items, &folder, format](int i) {
        const QString name = TStudyExport::fileName(items[i]->text(ColumnBaseFilename), format);
        exportStudy(studyId(*items[i]), QDir(folder).filePath(name));
    });
    reportBatch(tr("%1 of %2 studies were exported to %3."), succeeded, items.size(), QDir::toNativeSeparators(folder));
}

// The study analysed as the review window analyses it, for `use`. A study
// open for review is used as it is and left open.
void OpenStudyDialog::withAnalysedStudy(int id, const std::function<void(TStudy&, TReviewAnalysis&)>& use)
{
    const bool wasOpen = m_store->isStudyOpen(id);
    TStudy* study = m_store->openStudy(id);
    if (!study)
        throw std::runtime_error(tr("The study cannot be opened").toStdString());
    const auto close = qScopeGuard([&] {
        if (!wasOpen)
            m_store->closeStudy(study);
    });
    TReviewAnalysis analysis(*study);
    analysis.configureAveraging(TSettings::flag(TSettings::BeatAveragingNotchFilter),
                                TSettings::flag(TSettings::BeatAveragingLowpassFilter));
    analysis.addStoredBeats();
    use(*study, analysis);
}

void OpenStudyDialog::exportStudy(int id, const QString& path)
{
    withAnalysedStudy(id, [&path](TStudy& study, TReviewAnalysis& analysis) {
        TStagedFiles files;
        TStudyExport::stage(files, study, analysis, path);
        files.commit();
    });
}

// Each selected study, with its late potentials and report, into the
// outbox; the archive is reached in the background (TPacsSender).
void OpenStudyDialog::sendSelectedToPacs()
{
    const QList<QTreeWidgetItem*> items = m_ui->treeStudies->selectedItems();
    if (items.isEmpty())
        return;
    const int succeeded = runBatch(patients(items), [this, &items](int i) { sendToPacs(studyId(*items[i])); });
    reportBatch(tr("%1 of %2 studies were queued for the PACS.") + HospitalSettingsPage::unconfiguredNote(), succeeded,
                items.size());
}

void OpenStudyDialog::sendToPacs(int id)
{
    withAnalysedStudy(id, [this, id](TStudy& study, TReviewAnalysis& analysis) {
        analysis.restoreLatePotentialSettings(TSettings::whole(TSettings::LatePotentialsCutoff));
        analysis.computeLatePotentials();
        const QByteArray report = TReportPdf::of(study, analysis.latePotentials());
        TPacsSender::of(QString::fromStdString(m_store->dataPath()))
            .send(id, TStudyExport::dicomObjects(study, analysis, report));
    });
}

void OpenStudyDialog::on_actionImportRecording_triggered()
{
    const QStringList paths = QFileDialog::getOpenFileNames(this, tr("Import recording"), QString(),
                                                            tr("Recordings (*.edf *.bdf *.hea *.dcm);;All files (*)"));
    if (paths.isEmpty())
        return;
    m_openAfterImport = -1;
    const int succeeded = runBatch(paths, [this, &paths](int i) { importRecording(paths[i]); });
    fillLocalList();
    reportBatch(tr("%1 of %2 recordings were imported."), succeeded, paths.size());
    openAfterImport();
}

// The study the operator chose to open instead of importing its recording
// again is selected, and the dialog closes to open it.
void OpenStudyDialog::openAfterImport()
{
    for (int row = 0; m_openAfterImport >= 0 && row < m_ui->treeStudies->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_ui->treeStudies->topLevelItem(row);
        if (studyId(*item) == m_openAfterImport) {
            m_ui->treeStudies->setCurrentItem(item);
            accept();
            return;
        }
    }
}

// A recording already in the store is taken in again only when the
// operator says so; otherwise its study is opened, or nothing is done, and
// the import of this recording ends with the reason.
void OpenStudyDialog::confirmImportAgain(const TStudyInfo& info, qint64 samples)
{
    const int existing = TStoredRecording::studyOf(*m_store, info, samples);
    if (existing < 0)
        return;
    QMessageBox box(QMessageBox::Question, tr("Import recording"),
                    tr("This recording is already in the store: %1, %2.")
                        .arg(QStringLiteral("%1, %2").arg(fromUtf8(info.lastName), fromUtf8(info.firstName)),
                             QLocale().toString(QDateTime::fromString(fromUtf8(info.studyDateTime), DateTimeFormat),
                                                QLocale::ShortFormat)),
                    QMessageBox::Open | QMessageBox::Ignore | QMessageBox::Cancel, QApplication::activeModalWidget());
    box.setInformativeText(tr("Open that study, import the recording again, or leave it."));
    box.button(QMessageBox::Ignore)->setText(tr("Import again"));
    box.setDefaultButton(QMessageBox::Open);
    const int answer = box.exec();
    if (answer == QMessageBox::Ignore)
        return;
    if (answer == QMessageBox::Open)
        m_openAfterImport = existing;
    throw std::runtime_error(tr("The recording is already in the store and was not imported again.").toStdString());
}

// Taken in as varor-analyze takes it in: recorded into a new study through
// the acquisition pipeline.
void OpenStudyDialog::importRecording(const QString& path)
{
    const TImportedRecording imported = TImportedRecording::read(path);
    TStudyInfo info = imported.studyInfo(QDateTime::currentDateTime().toString(DateTimeFormat).toStdString());
    const auto& leads = imported.recording().leads();
    confirmImportAgain(info, leads.empty() ? 0 : qint64(leads.front().size()));
    TStudyRecording::recordStudy(*m_store, leads, info);
}

// Shows or hides the shared list beside the local one. The dialog grows by
// half its width, or as far as the columns of both lists need, around its
// centre and on the screen, keeping its height; hiding gives its width back.
void OpenStudyDialog::on_btnShare_clicked()
{
    const bool show = m_ui->treeSharedStudies->isHidden();
    // Taken before anything widens the dialog: the filled shared list or
    // the local list's least width beside it.
    const int oldWidth = width();
    const int oldLeft = x();
    m_ui->frameShareControls->setVisible(show);
    m_ui->treeSharedStudies->setVisible(show);
    m_ui->frameSyncButtons->setVisible(show);
    if (!show)
        m_ui->treeSharedStudies->clearSelection();
    m_ui->btnShare->setText(show ? tr("Hide shared studies") : tr("Show shared studies"));
    m_ui->btnShareImport->setEnabled(m_ui->treeSharedStudies->currentItem() && hasSharedFolder());
    m_ui->btnShareExport->setEnabled(m_ui->treeStudies->currentItem() && hasSharedFolder());
    fillSharedList();

    if (show)
        m_widthWithoutShared = oldWidth;
    keepLocalColumnsVisible();
    // Room for the shared list's columns too.
    const int newWidth = show ? std::max(oldWidth * 3 / 2, widthForSharedColumns()) : m_widthWithoutShared;
    setWidthAroundCentre(newWidth, oldWidth, oldLeft);
}

// Beside the shared list the local list keeps the width of all its columns,
// the duration and PACS state included; alone it takes the whole dialog.
// The dialog's minimum size follows at once, so that a resize that comes
// next is not held back by the old one.
void OpenStudyDialog::keepLocalColumnsVisible()
{
    QTreeWidget* tree = m_ui->treeStudies;
    const bool besideShared = !m_ui->treeSharedStudies->isHidden();
    tree->setMinimumWidth(besideShared ? fullWidth(tree) : 0);
    // The width left over goes to the shared list.
    m_ui->dialogLayout->setColumnStretch(0, besideShared ? 1 : 0);
    layout()->activate();
}

// Shown with the normal cursor, also in the middle of busy work.
void OpenStudyDialog::showError(const QString& message)
{
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox::critical(this, tr("Error"), message);
    QApplication::restoreOverrideCursor();
}
