#include "app/MainWindow.h"

#include "ui_MainWindow.h"

#include "acquisition/TAcqSource.h"
#include "acquisition/TAcqSourceFactory.h"
#include "clinic/TServerStudyStore.h"
#include "hospital/TPacsSender.h"
#include "pipeline/TStudyRecording.h"
#include "settings/TSettings.h"
#include "storage/TEcgFile.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "windows/ConfigDialog.h"
#include "windows/EcgMonitorWindow.h"
#include "windows/EcgReviewWindow.h"
#include "windows/OpenStudyDialog.h"
#include "windows/StudyDialog.h"
#include "windows/TWaitCursor.h"
#include "windows/WorklistDialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEasingCurve>
#include <QHeaderView>
#include <QBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

const QString RecentSeparator = QStringLiteral("||");
const QString DateTimeFormat = QStringLiteral("yyyyMMddHHmmss");
constexpr int RecentEntryParts = 4;
constexpr int StartUpDelayMs = 10;

QString patientValue(const TStudy& study, const char* field)
{
    return QString::fromStdString(study.propertyValue(TStudy::patientKey(field)));
}

void listAsRecent(const TStudy& study)
{
    MainWindow::addRecentStudy(study.id(), QString::fromStdString(study.studyDateTime()),
                               patientValue(study, "lastName"), patientValue(study, "firstName"));
}

} // namespace

MainWindow::MainWindow(QWidget* parent, StoreFactory storeFactory)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , m_storeFactory(std::move(storeFactory))
{
    ui->setupUi(this);
    setWindowTitle(windowTitleText());
    ui->lblVersion->setText(tr("v %1").arg(QCoreApplication::applicationVersion()));
    for (QFrame* panel : {ui->frameEcg, ui->frameOpenStudy}) {
        panel->setMaximumHeight(0);
        panel->hide();
    }
    ui->treeStudies->setColumnHidden(0, true);
    ui->btnStartEcg->setEnabled(false);
    ui->btnOpenOK->setEnabled(false);
    addWorklistButton();
    setUpKeyboard();
    QTimer::singleShot(StartUpDelayMs, this, &MainWindow::startUp);
}

// Enter presses the focused button, as in a dialog; in the quick entry it
// starts the study once both names are typed.
void MainWindow::setUpKeyboard()
{
    for (QPushButton* button : findChildren<QPushButton*>()) {
        for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
            auto* shortcut = new QShortcut(QKeySequence(key), button, nullptr, nullptr, Qt::WidgetShortcut);
            connect(shortcut, &QShortcut::activated, button, [button] { button->animateClick(); });
        }
    }
    for (QLineEdit* field : {ui->txtLastNameEcg, ui->txtFirstNameEcg, ui->txtAgeEcg}) {
        connect(field, &QLineEdit::returnPressed, this, [this] {
            if (ui->btnStartEcg->isEnabled())
                ui->btnStartEcg->click();
        });
    }
}

// "Worklist..." beside "More..." in the new-study panel.
void MainWindow::addWorklistButton()
{
    auto* worklist = new QPushButton(tr("Worklist..."), ui->frameEcg);
    worklist->setObjectName(QStringLiteral("btnWorklistEcg"));
    for (QBoxLayout* layout : ui->frameEcg->findChildren<QBoxLayout*>()) {
        const int more = layout->indexOf(ui->btnMoreEcg);
        if (more >= 0) {
            layout->insertWidget(more + 1, worklist);
            break;
        }
    }
    connect(worklist, &QPushButton::clicked, this, &MainWindow::startFromWorklist);
}

// A patient of the hospital's worklist into the study dialog, then the
// study as "More..." starts it.
void MainWindow::startFromWorklist()
{
    WorklistDialog worklist(this);
    if (worklist.exec() != QDialog::Accepted)
        return;
    StudyDialog dialog(this, worklist.fill(quickEntryInfo()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    clearQuickEntry();
    startAcquisition(dialog.studyInfo());
}

MainWindow::~MainWindow() = default;

QString MainWindow::windowTitleText()
{
    QString application = QCoreApplication::applicationName();
    application.replace(QStringLiteral("VA ROR"), QStringLiteral("ZID OR"));
    return QStringLiteral("%1 %2").arg(QCoreApplication::organizationName(), application);
}

MainWindow::StoreFactory MainWindow::localStoreFactory()
{
    return [] { return std::make_unique<TLocalStudyStore>("PulsorixVAROR"); };
}

MainWindow::StoreFactory MainWindow::configuredStoreFactory()
{
    if (!TServerAddress::serverChosen())
        return localStoreFactory();
    return [] {
        return std::make_unique<TServerStudyStore>(TServerAddress::fromSettings(),
                                                   std::make_unique<TLocalStudyStore>("PulsorixVAROR"));
    };
}

void MainWindow::startUp()
{
    setEnabled(false);
    QProgressDialog progress(tr("Please wait..."), QString(), 0, 0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.show();
    QCoreApplication::processEvents();
    try {
        TWaitCursor wait;
        m_store = m_storeFactory();
    } catch (const std::exception& error) {
        progress.hide();
        showError(error);
        // Without its study store nothing here can work: every start or
        // open would reach a store that does not exist.
        close();
        return;
    }
    progress.hide();
    setEnabled(true);
    resumeHospitalSends();
    showClinicServerOutbox();
    showInterruptedRecordings();
}

// Studies queued for the hospital's archive before the last exit go on
// from the start (the sender takes up its outbox as it is made), not only
// once a study window opens.
void MainWindow::resumeHospitalSends()
{
    const QString dataFolder = QString::fromStdString(m_store->dataPath());
    if (!dataFolder.isEmpty())
        TPacsSender::of(dataFolder);
}

void MainWindow::showClinicServerOutbox()
{
    auto* server = dynamic_cast<TServerStudyStore*>(m_store.get());
    if (server == nullptr)
        return;
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("lblOutbox"));
    ui->titleLayout->addWidget(label);
    const auto show = [label, server](int waiting) {
        QString text = tr("Studies waiting to go up to the clinic server: %1").arg(waiting);
        if (server->conflictCount() > 0)
            text += tr(" (%n kept here, changed there since)", nullptr, server->conflictCount());
        label->setText(text);
        label->setVisible(waiting > 0);
    };
    connect(server, &TServerStudyStore::outboxChanged, label, show);
    show(server->waitingCount());
    // Queued: the outbox announces changes from inside its uploads.
    connect(server, &TServerStudyStore::outboxChanged, this, &MainWindow::askAboutConflicts, Qt::QueuedConnection);
    QTimer::singleShot(0, this, &MainWindow::askAboutConflicts);
}

void MainWindow::askAboutConflicts()
{
    auto* server = dynamic_cast<TServerStudyStore*>(m_store.get());
    if (server == nullptr || m_askingConflicts)
        return;
    m_askingConflicts = true;
    for (const TServerStudyStore::Conflict& conflict : server->conflicts()) {
        // A review still open may save again: asked once it is closed.
        if (server->isStudyOpen(conflict.info.id) || !m_conflictsAsked.insert(conflict.info.id).second)
            continue;
        const QDateTime studyTime = QDateTime::fromString(QString::fromStdString(conflict.info.studyDateTime),
                                                          QStringLiteral("yyyyMMddHHmmss"));
        QMessageBox box(QMessageBox::Warning, tr("Clinic server"),
                        tr("%1, %2 (%3)")
                            .arg(QString::fromStdString(conflict.info.lastName),
                                 QString::fromStdString(conflict.info.firstName),
                                 QLocale().toString(studyTime, QLocale::ShortFormat)),
                        QMessageBox::NoButton, this);
        box.setInformativeText(QString::fromStdString(conflict.message) + QStringLiteral("\n\n")
                               + tr("Which version should the clinic server keep?"));
        QPushButton* ours = box.addButton(tr("This workstation's copy"), QMessageBox::AcceptRole);
        QPushButton* theirs = box.addButton(tr("The server's version"), QMessageBox::DestructiveRole);
        box.setDefaultButton(box.addButton(tr("Decide later"), QMessageBox::RejectRole));
        box.exec();
        try {
            if (box.clickedButton() == ours || box.clickedButton() == theirs)
                server->resolveConflict(conflict.info.id, box.clickedButton() == ours);
        } catch (const std::exception& error) {
            showError(error);
        }
    }
    m_askingConflicts = false;
}

void MainWindow::showInterruptedRecordings()
{
    QStringList patients;
    for (const TStudyInfo& info : m_store->interruptedRecordings()) {
        const QString last = QString::fromStdString(info.lastName);
        const QString first = QString::fromStdString(info.firstName);
        addRecentStudy(info.id, QString::fromStdString(info.studyDateTime), last, first);
        patients.append(QStringLiteral("%1, %2").arg(last, first));
    }
    if (patients.isEmpty())
        return;
    QMessageBox::information(this, QString(),
                             tr("These recordings were cut off when the program ended unexpectedly. What was "
                                "recorded until then was kept, and each study is marked as interrupted:\n%1")
                                 .arg(patients.join(QLatin1Char('\n'))));
}

void MainWindow::showPanel(QFrame* panel)
{
    if (panel->isVisible())
        return;
    for (QFrame* other : {ui->frameEcg, ui->frameOpenStudy}) {
        if (other != panel && other->isVisible())
            foldPanel(other);
    }
    panel->setMaximumHeight(0);
    panel->show();
    auto* animation = new QPropertyAnimation(panel, "maximumHeight", panel);
    animation->setDuration(PanelAnimationMs);
    animation->setStartValue(0);
    animation->setEndValue(panelHeight(panel));
    animation->setEasingCurve(QEasingCurve::InCubic);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

// The open-study panel shows every recent study the tree lists, a row
// each, without scrolling down; room is kept for the scroll bar that a long
// name brings along the bottom.
int MainWindow::panelHeight(const QFrame* panel) const
{
    if (panel != ui->frameOpenStudy)
        return PanelHeight;
    QTreeWidget* tree = ui->treeStudies;
    tree->ensurePolished();
    tree->header()->ensurePolished();
    const int row = tree->topLevelItemCount() > 0 ? tree->sizeHintForRow(0) : tree->fontMetrics().height();
    const int chrome = tree->header()->sizeHint().height() + tree->horizontalScrollBar()->sizeHint().height()
                       + 2 * tree->frameWidth();
    const QMargins margins = panel->layout()->contentsMargins();
    return std::max(PanelHeight, chrome + RecentStudiesShown * row + margins.top() + margins.bottom()
                                     + 2 * panel->frameWidth());
}

void MainWindow::foldPanel(QFrame* panel)
{
    auto* animation = new QPropertyAnimation(panel, "maximumHeight", panel);
    animation->setDuration(PanelAnimationMs);
    animation->setStartValue(panel->maximumHeight());
    animation->setEndValue(0);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QAbstractAnimation::finished, panel, &QWidget::hide);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MainWindow::addRecentStudy(int id, const QString& dateTime, const QString& lastName,
                                const QString& firstName)
{
    removeRecentStudy(id);
    QStringList entries = TSettings::list(TSettings::RecentStudyList);
    entries.prepend(QStringList{QString::number(id), dateTime, lastName, firstName}.join(RecentSeparator));
    while (entries.size() > RecentStudiesKept)
        entries.removeLast();
    TSettings::setValue(TSettings::RecentStudyList, entries);
}

void MainWindow::removeRecentStudy(int id)
{
    QStringList entries = TSettings::list(TSettings::RecentStudyList);
    const QString idText = QString::number(id);
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).split(RecentSeparator).first() == idText) {
            entries.removeAt(i);
            break;
        }
    }
    TSettings::setValue(TSettings::RecentStudyList, entries);
}

void MainWindow::loadRecentStudies()
{
    ui->treeStudies->clear();
    for (const QString& entry : TSettings::list(TSettings::RecentStudyList)) {
        if (ui->treeStudies->topLevelItemCount() == RecentStudiesShown)
            break;
        const QStringList parts = entry.split(RecentSeparator);
        if (parts.size() != RecentEntryParts)
            continue;
        auto* item = new QTreeWidgetItem(ui->treeStudies);
        item->setData(0, Qt::DisplayRole, parts.at(0).toInt());
        item->setText(1, QStringLiteral("%1, %2").arg(parts.at(2), parts.at(3)));
        item->setData(2, Qt::DisplayRole, QDateTime::fromString(parts.at(1), DateTimeFormat));
    }
    // Whole names and dates.
    ui->treeStudies->resizeColumnToContents(1);
    ui->treeStudies->resizeColumnToContents(2);
}

void MainWindow::on_btnNewStudyEcg_clicked()
{
    if (ui->frameEcg->isVisible()) {
        on_btnMoreEcg_clicked();
        return;
    }
    showPanel(ui->frameEcg);
    ui->txtLastNameEcg->setFocus();
}

void MainWindow::on_btnOpenStudy_clicked()
{
    if (ui->frameOpenStudy->isVisible()) {
        on_btnOpenMore_clicked();
        return;
    }
    loadRecentStudies();
    showPanel(ui->frameOpenStudy);
    ui->btnOpenOK->setDefault(true);
}

void MainWindow::on_btnClose_clicked()
{
    close();
}

void MainWindow::on_btnConfig_clicked()
{
    ConfigDialog dialog(this);
    dialog.exec();
}

void MainWindow::on_btnMoreEcg_clicked()
{
    StudyDialog dialog(this, quickEntryInfo());
    if (dialog.exec() != QDialog::Accepted)
        return;
    clearQuickEntry();
    startAcquisition(dialog.studyInfo());
}

void MainWindow::on_btnStartEcg_clicked()
{
    startAcquisition(quickEntryInfo());
}

void MainWindow::on_btnOpenMore_clicked()
{
    OpenStudyDialog dialog(this, m_store.get());
    connect(&dialog, &OpenStudyDialog::deletedStudy, this, [this](int id) {
        removeRecentStudy(id);
        loadRecentStudies();
    });
    if (dialog.exec() == QDialog::Accepted)
        openStudyForReview(dialog.selectedStudyId());
}

void MainWindow::on_btnOpenOK_clicked()
{
    if (QTreeWidgetItem* item = ui->treeStudies->currentItem())
        openStudyForReview(item->data(0, Qt::DisplayRole).toInt());
}

void MainWindow::on_treeStudies_itemDoubleClicked(QTreeWidgetItem* item, int /*column*/)
{
    openStudyForReview(item->data(0, Qt::DisplayRole).toInt());
}

void MainWindow::on_txtLastNameEcg_textChanged(const QString& /*text*/)
{
    updateStartButton();
}

void MainWindow::on_txtFirstNameEcg_textChanged(const QString& /*text*/)
{
    updateStartButton();
}

void MainWindow::on_treeStudies_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* /*previous*/)
{
    ui->btnOpenOK->setEnabled(current != nullptr);
}

void MainWindow::updateStartButton()
{
    ui->btnStartEcg->setEnabled(!ui->txtLastNameEcg->text().trimmed().isEmpty()
                                && !ui->txtFirstNameEcg->text().trimmed().isEmpty());
}

void MainWindow::clearQuickEntry()
{
    ui->txtLastNameEcg->clear();
    ui->txtFirstNameEcg->clear();
    ui->txtAgeEcg->clear();
    ui->txtLastNameEcg->setFocus();
    ui->btnStartEcg->setEnabled(false);
}

TStudyInfo MainWindow::quickEntryInfo() const
{
    TStudyInfo info;
    info.studyType = "VA ROR";
    info.studyDateTime = QDateTime::currentDateTime().toString(DateTimeFormat).toStdString();
    info.lastName = ui->txtLastNameEcg->text().toStdString();
    info.firstName = ui->txtFirstNameEcg->text().toStdString();
    info.age = ui->txtAgeEcg->text().toStdString();
    return info;
}

void MainWindow::startAcquisition(TStudyInfo info)
{
    if (!m_store->hasFreeSpace()) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("There is not enough free space on disk.\n"
                                "Please free at least 50 MB to start a new study."));
        return;
    }
    try {
        m_source = createAcqSource();
        TStudyRecording::describeSignal(info, *m_source);
        m_recordingStudy = m_store->createStudy(info);
        // Marked from the start, so that a crash before anything was
        // recorded leaves no empty study behind (the next start removes it).
        m_recordingStudy->setProperty(TStudy::RecordingStateKey, TStudy::RecordingInProgress);
        m_store->saveStudy(m_recordingStudy);
        showMonitorWindow(m_recordingStudy);
    } catch (const std::exception& error) {
        if (m_recordingStudy)
            m_store->closeStudy(std::exchange(m_recordingStudy, nullptr));
        m_source.reset();
        showError(error);
    }
}

void MainWindow::showMonitorWindow(TStudy* study)
{
    auto* monitor = new EcgMonitorWindow(nullptr, m_source.get(), study);
    monitor->setAttribute(Qt::WA_DeleteOnClose);
    connect(monitor, &EcgMonitorWindow::recordingStarted, this, &MainWindow::onRecordingStarted);
    connect(monitor, &QObject::destroyed, this, &MainWindow::onMonitorClosed);
    monitor->showFullScreen();
    setEnabled(false);
}

void MainWindow::onRecordingStarted()
{
    TStudy* study = m_recordingStudy;
    listAsRecent(*study);
    try {
        m_store->saveStudy(study);
    } catch (const std::exception& error) {
        showError(error);
    }
}

void MainWindow::onMonitorClosed()
{
    m_source.reset();
    TStudy* study = std::exchange(m_recordingStudy, nullptr);
    const int id = study->id();
    setEnabled(true);
    if (study->ecgFile()->sampleCount() == 0) {
        // Nothing was recorded: no empty study is left to be reviewed.
        m_store->closeStudy(study);
        removeRecentStudy(id);
        try {
            m_store->deleteStudy(id);
        } catch (const std::exception& error) {
            showError(error);
        }
        return;
    }
    listAsRecent(*study);
    // Saved first, so that the recording date-time set by the monitor
    // window is kept.
    saveAndCloseStudy(study);
    clearQuickEntry();
    openStudyForReview(id);
}

void MainWindow::openStudyForReview(int id)
{
    if (m_store->isStudyOpen(id)) {
        QMessageBox::information(this, QString(), tr("Study is already open for review"));
        return;
    }
    try {
        TStudy* study = nullptr;
        {
            TWaitCursor wait;
            study = m_store->openStudy(id);
        }
        if (!study) {
            QMessageBox::warning(this, QString(), tr("Study file not found"));
            return;
        }
        const std::string holder = m_store->editLockHolder(*study);
        if (!holder.empty())
            QMessageBox::information(this, QString(),
                                     tr("This study is open for editing by %1. It opens here read-only: "
                                        "changes made here are not saved.")
                                         .arg(QString::fromStdString(holder)));
        showReviewWindow(study);
    } catch (const std::exception& error) {
        showError(error);
    }
}

void MainWindow::showReviewWindow(TStudy* study)
{
    auto* review = new EcgReviewWindow(nullptr, study, m_store.get());
    review->setAttribute(Qt::WA_DeleteOnClose);
    connect(review, &QObject::destroyed, this, [this, study] { saveAndCloseStudy(study); });
    review->showMaximized();
}

void MainWindow::saveAndCloseStudy(TStudy* study)
{
    try {
        // A study open read-only was told so when it opened.
        if (m_store->editLockHolder(*study).empty())
            m_store->saveStudy(study);
    } catch (const std::exception& error) {
        showError(error);
    }
    m_store->closeStudy(study);
    // A save kept here in conflict is asked about once its review is closed.
    QTimer::singleShot(0, this, &MainWindow::askAboutConflicts);
}

void MainWindow::showError(const std::exception& error)
{
    QMessageBox::critical(this, tr("Error"), QString::fromLocal8Bit(error.what()));
}
