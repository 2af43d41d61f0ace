// The open study dialog on a temporary store: the list, the name filter,
// the report button, deleting, copying studies through a shared folder, and
// exporting studies and taking recordings in from its "More..." menu.
#include "StudyDialogsTestSupport.h"

#include "settings/TSettings.h"
#include "windows/OpenStudyDialog.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using dialogtest::MessageBoxAnswerer;

// Chooses the path in the next file dialog that becomes the active modal
// widget.
class FileDialogAnswerer : public QObject
{
public:
    explicit FileDialogAnswerer(const QString& path)
    {
        connect(&m_timer, &QTimer::timeout, this, [this, path] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                m_timer.stop();
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept();
            }
        });
        m_timer.start(5);
    }

private:
    QTimer m_timer;
};

class OpenStudyDialogTest : public ::testing::Test
{
protected:
    std::unique_ptr<OpenStudyDialog> makeDialog()
    {
        auto dialog = std::make_unique<OpenStudyDialog>(nullptr, fixture.store.get());
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        dialogtest::settle();
        return dialog;
    }

    template <typename Widget>
    static Widget* child(const OpenStudyDialog& dialog, const char* name)
    {
        Widget* widget = dialog.findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static QTreeWidget* localTree(const OpenStudyDialog& dialog) { return child<QTreeWidget>(dialog, "treeStudies"); }
    static QTreeWidget* sharedTree(const OpenStudyDialog& dialog)
    {
        return child<QTreeWidget>(dialog, "treeSharedStudies");
    }

    static QTreeWidgetItem* itemOf(QTreeWidget* tree, const QString& patient)
    {
        const QList<QTreeWidgetItem*> found = tree->findItems(patient, Qt::MatchExactly, 1);
        return found.isEmpty() ? nullptr : found.first();
    }

    static QStringList visiblePatients(QTreeWidget* tree)
    {
        QStringList patients;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            if (!tree->topLevelItem(i)->isHidden())
                patients.append(tree->topLevelItem(i)->text(1));
        }
        return patients;
    }

    static void click(const OpenStudyDialog& dialog, const char* button)
    {
        QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton);
    }

    static QPushButton* okButton(const OpenStudyDialog& dialog)
    {
        return child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    }

    static void select(QTreeWidget* tree, const QList<QTreeWidgetItem*>& items)
    {
        tree->clearSelection();
        tree->setCurrentItem(items.first());
        for (QTreeWidgetItem* item : items)
            item->setSelected(true);
    }

    dialogtest::StoreFixture fixture;
};

TEST_F(OpenStudyDialogTest, ListsTheLocalStudiesNewestFirst)
{
    fixture.addStudy("Ana", "Garcia", "20140312103000");
    const int reported = fixture.addStudy("Luis", "Perez", "20150101090000", true);
    const auto dialog = makeDialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Select study"));
    EXPECT_EQ(dialog->selectedStudyId(), -1);
    EXPECT_TRUE(sharedTree(*dialog)->isHidden());
    EXPECT_FALSE(okButton(*dialog)->isEnabled());
    EXPECT_FALSE(child<QPushButton>(*dialog, "btnDelete")->isEnabled());

    QTreeWidget* tree = localTree(*dialog);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_TRUE(tree->isColumnHidden(0));
    EXPECT_TRUE(tree->isColumnHidden(5));
    EXPECT_EQ(tree->headerItem()->text(3), QStringLiteral("Date"));
    const QTreeWidgetItem* first = tree->topLevelItem(0);
    EXPECT_EQ(first->text(1), QStringLiteral("Perez, Luis"));
    EXPECT_EQ(first->data(0, Qt::DisplayRole).toInt(), reported);
    EXPECT_EQ(first->text(2), QStringLiteral("VA ROR"));
    EXPECT_EQ(first->data(3, Qt::DisplayRole).toDateTime(), QDateTime(QDate(2015, 1, 1), QTime(9, 0)));
    EXPECT_EQ(first->text(4), QStringLiteral("Yes"));
    EXPECT_EQ(first->text(5), QStringLiteral("Perez-Luis-20150101090000"));
    EXPECT_EQ(tree->topLevelItem(1)->text(4), QString());
    EXPECT_EQ(tree->headerItem()->text(6), QStringLiteral("Duration"));
    EXPECT_EQ(first->text(6), QStringLiteral("0:02")) << "2000 samples at 1000 Hz";
}

// A study closed before anything was recorded is listed with its length,
// and goes like any other.
TEST_F(OpenStudyDialogTest, AnEmptyStudyLastsNoTimeAndIsDeleted)
{
    TStudyInfo info = newStudyInfo("Eva", "Alonso");
    fixture.store->closeStudy(fixture.store->createStudy(info));
    const auto dialog = makeDialog();
    QTreeWidget* tree = localTree(*dialog);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(6), QStringLiteral("0:00"));
    select(tree, {tree->topLevelItem(0)});
    MessageBoxAnswerer yes(QMessageBox::Yes);
    click(*dialog, "btnDelete");
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    EXPECT_TRUE(fixture.store->listStudies().empty());
}

// Durations sort by their length, not as text ("10:00" after "2:00").
TEST_F(OpenStudyDialogTest, DurationsSortByLength)
{
    for (const auto& [name, seconds] : {std::pair<const char*, int>{"Long", 600}, {"Short", 120}, {"Tiny", 2}}) {
        TStudyInfo info = newStudyInfo(name, "Ruiz");
        TStudy* study = fixture.store->createStudy(info);
        record(*study, seconds * 1000, 0);
        fixture.store->closeStudy(study);
    }
    const auto dialog = makeDialog();
    QTreeWidget* tree = localTree(*dialog);
    tree->sortByColumn(6, Qt::AscendingOrder);
    QStringList durations;
    for (int row = 0; row < tree->topLevelItemCount(); ++row)
        durations << tree->topLevelItem(row)->text(6);
    EXPECT_EQ(durations, (QStringList{QStringLiteral("0:02"), QStringLiteral("2:00"), QStringLiteral("10:00")}));
}

TEST_F(OpenStudyDialogTest, FilterFindsEveryWordInAnyOrderAndCase)
{
    const int ana = fixture.addStudy("Ana María", "García López", "20140312103000");
    fixture.addStudy("Ana", "Pérez", "20140313103000");
    fixture.addStudy("Juan", "López", "20140314103000");
    const auto dialog = makeDialog();
    QTreeWidget* tree = localTree(*dialog);
    QLineEdit* filter = child<QLineEdit>(*dialog, "txtFilter");

    dialogtest::typeText(filter, QStringLiteral("  LÓPEZ   ana "));
    EXPECT_EQ(visiblePatients(tree), QStringList{QStringLiteral("García López, Ana María")});
    ASSERT_NE(tree->currentItem(), nullptr) << "the only match becomes current";
    EXPECT_EQ(tree->currentItem()->text(1), QStringLiteral("García López, Ana María"));
    EXPECT_TRUE(okButton(*dialog)->isEnabled());

    filter->clear();
    QTest::keyClicks(filter, QStringLiteral("ana"));
    EXPECT_EQ(visiblePatients(tree).size(), 2);
    EXPECT_EQ(tree->currentItem()->text(1), QStringLiteral("García López, Ana María")) << "unchanged";
    QTest::keyClicks(filter, QStringLiteral(" zz"));
    EXPECT_TRUE(visiblePatients(tree).isEmpty());
    EXPECT_EQ(tree->currentItem(), nullptr);
    EXPECT_FALSE(okButton(*dialog)->isEnabled());
    filter->clear();
    EXPECT_EQ(visiblePatients(tree).size(), 3);
    QTest::keyClicks(filter, QStringLiteral("perez"));
    EXPECT_EQ(visiblePatients(tree), QStringList{QStringLiteral("Pérez, Ana")}) << "accents need not be typed";
    filter->clear();

    // Enter opens the single match.
    dialogtest::typeText(filter, QStringLiteral("maría"));
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->selectedStudyId(), ana);
}

TEST_F(OpenStudyDialogTest, ShowReportOnlyForReportedStudies)
{
    fixture.addStudy("Ana", "Garcia", "20140312103000");
    fixture.addStudy("Luis", "Perez", "20150101090000", true);
    const auto dialog = makeDialog();
    QTreeWidget* tree = localTree(*dialog);
    QPushButton* report = child<QPushButton>(*dialog, "btnReport");

    tree->setCurrentItem(itemOf(tree, QStringLiteral("Garcia, Ana")));
    EXPECT_FALSE(report->isEnabled());
    EXPECT_TRUE(okButton(*dialog)->isEnabled());

    // Reported, but its PDF is gone.
    tree->setCurrentItem(itemOf(tree, QStringLiteral("Perez, Luis")));
    ASSERT_TRUE(report->isEnabled());
    MessageBoxAnswerer answerer;
    click(*dialog, "btnReport");
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("Error|Report file not found")});
}

TEST_F(OpenStudyDialogTest, DeletingThreeStudiesAnnouncesEachAndRefreshesOnce)
{
    std::vector<int> ids;
    for (const char* last : {"Alonso", "Blanco", "Castro", "Diaz"})
        ids.push_back(fixture.addStudy("Eva", last, "20140312103000"));
    const auto dialog = makeDialog();
    QTreeWidget* tree = localTree(*dialog);
    const QList<QTreeWidgetItem*> doomed = {itemOf(tree, QStringLiteral("Alonso, Eva")),
                                            itemOf(tree, QStringLiteral("Castro, Eva")),
                                            itemOf(tree, QStringLiteral("Diaz, Eva"))};
    select(tree, doomed);
    ASSERT_TRUE(child<QPushButton>(*dialog, "btnDelete")->isEnabled());
    {
        MessageBoxAnswerer no(QMessageBox::No);
        click(*dialog, "btnDelete");
        EXPECT_EQ(no.messages, QStringList{QStringLiteral("Confirm|Delete selected studies from local folder?")});
        ASSERT_EQ(no.informative.size(), 1);
        for (const QTreeWidgetItem* item : doomed)
            EXPECT_TRUE(no.informative.front().contains(item->text(1))) << "names the studies it deletes";
        EXPECT_FALSE(no.informative.front().contains(QStringLiteral("Blanco")));
    }
    EXPECT_EQ(fixture.store->listStudies().size(), 4u) << "No keeps them";

    QSignalSpy deleted(dialog.get(), &OpenStudyDialog::deletedStudy);
    QSignalSpy refreshed(tree->model(), &QAbstractItemModel::modelReset);
    MessageBoxAnswerer yes(QMessageBox::Yes);
    click(*dialog, "btnDelete");
    EXPECT_EQ(yes.messages.size(), 1) << yes.messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(deleted.size(), 3);
    std::vector<int> announced;
    for (const QList<QVariant>& arguments : deleted)
        announced.push_back(arguments.at(0).toInt());
    std::sort(announced.begin(), announced.end());
    std::vector<int> expected = {ids[0], ids[2], ids[3]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(announced, expected);
    EXPECT_EQ(refreshed.size(), 1);
    EXPECT_EQ(visiblePatients(tree), QStringList{QStringLiteral("Blanco, Eva")});
    EXPECT_EQ(fixture.store->listStudies().size(), 1u);
}

// Studies the operator cannot see, and studies open for review, stay.
TEST_F(OpenStudyDialogTest, DeleteSparesHiddenAndOpenStudies)
{
    const int open = fixture.addStudy("Eva", "Alonso", "20140312103000");
    fixture.addStudy("Eva", "Blanco", "20140312103000");
    const int visible = fixture.addStudy("Eva", "Castro", "20140312103000");
    const auto dialog = makeDialog();
    QTreeWidget* tree = localTree(*dialog);
    select(tree, {itemOf(tree, QStringLiteral("Alonso, Eva")), itemOf(tree, QStringLiteral("Blanco, Eva")),
                  itemOf(tree, QStringLiteral("Castro, Eva"))});
    QTest::keyClicks(child<QLineEdit>(*dialog, "txtFilter"), QStringLiteral("s"));
    EXPECT_EQ(visiblePatients(tree).size(), 2);
    ASSERT_NE(fixture.store->openStudy(open), nullptr);

    QSignalSpy deleted(dialog.get(), &OpenStudyDialog::deletedStudy);
    MessageBoxAnswerer yes(QMessageBox::Yes);
    QTest::keyClick(tree, Qt::Key_Delete);
    ASSERT_EQ(yes.messages.size(), 2);
    EXPECT_EQ(yes.messages[1],
              QStringLiteral("Error|Alonso, Eva: the study is open for review and was not deleted"));
    ASSERT_EQ(deleted.size(), 1);
    EXPECT_EQ(deleted[0].at(0).toInt(), visible);
    EXPECT_EQ(fixture.store->listStudies().size(), 2u);
}

TEST_F(OpenStudyDialogTest, ExportThenImportThroughASharedFolder)
{
    QTemporaryDir shared;
    TSettings::setValue(TSettings::SharedFolderList, QStringList{QStringLiteral("/elsewhere"), shared.path()});
    TSettings::setValue(TSettings::DefaultSharedFolder, shared.path());
    const int id = fixture.addStudy("Ana", "Garcia", "20140312103000");
    {
        const auto dialog = makeDialog();
        QTreeWidget* local = localTree(*dialog);
        QTreeWidget* remote = sharedTree(*dialog);
        EXPECT_EQ(child<QComboBox>(*dialog, "cboShareFolders")->currentText(), shared.path());

        const int width = dialog->width();
        click(*dialog, "btnShare");
        EXPECT_FALSE(remote->isHidden());
        EXPECT_EQ(child<QPushButton>(*dialog, "btnShare")->text(), QStringLiteral("Hide shared studies"));
        // Wider, but on the screen unless the local list needs more.
        EXPECT_GT(dialog->width(), width);
        EXPECT_LE(dialog->width(),
                  std::max(dialog->minimumSizeHint().width(), dialog->screen()->availableGeometry().width()));
        EXPECT_EQ(remote->topLevelItemCount(), 0);

        select(local, {itemOf(local, QStringLiteral("Garcia, Ana"))});
        ASSERT_TRUE(child<QPushButton>(*dialog, "btnShareExport")->isEnabled());
        MessageBoxAnswerer answerer(QMessageBox::Yes);
        click(*dialog, "btnShareExport");
        ASSERT_EQ(remote->topLevelItemCount(), 1);
        EXPECT_EQ(remote->topLevelItem(0)->text(0), QStringLiteral("Garcia-Ana-20140312103000.pxz"));
        EXPECT_EQ(remote->topLevelItem(0)->text(1), QStringLiteral("Garcia, Ana"));
        EXPECT_TRUE(QFileInfo::exists(shared.filePath(QStringLiteral("Garcia-Ana-20140312103000.pxz"))));

        click(*dialog, "btnDelete");
        EXPECT_EQ(local->topLevelItemCount(), 0);
        select(remote, {remote->topLevelItem(0)});
        EXPECT_TRUE(local->selectedItems().isEmpty());
        ASSERT_TRUE(child<QPushButton>(*dialog, "btnShareImport")->isEnabled());
        click(*dialog, "btnShareImport");
        ASSERT_EQ(local->topLevelItemCount(), 1);
        EXPECT_EQ(local->topLevelItem(0)->text(1), QStringLiteral("Garcia, Ana"));
        EXPECT_EQ(local->topLevelItem(0)->data(0, Qt::DisplayRole).toInt(), id);
        EXPECT_EQ(answerer.messages, (QStringList{QStringLiteral("|1 of 1 studies were copied to the shared folder."),
                                                  QStringLiteral("Confirm|Delete selected studies from local folder?"),
                                                  QStringLiteral("|1 of 1 studies were copied to the local folder.")}));

        click(*dialog, "btnShare");
        EXPECT_TRUE(remote->isHidden());
        EXPECT_EQ(dialog->width(), width);
    }
    TStudy* study = fixture.store->openStudy(id);
    ASSERT_NE(study, nullptr) << "the imported study opens";
    EXPECT_EQ(study->propertyValue("patient/age"), "57");
    fixture.store->closeStudy(study);
    EXPECT_EQ(TSettings::list(TSettings::SharedFolderList), (QStringList{QStringLiteral("/elsewhere"), shared.path()}));
    EXPECT_EQ(TSettings::text(TSettings::DefaultSharedFolder), shared.path());
}

// Beside the shared list, every column of the local list (the duration and
// the PACS state last) reads in full without a horizontal scroll bar.
TEST_F(OpenStudyDialogTest, BesideTheSharedListEveryLocalColumnReadsInFull)
{
    QTemporaryDir shared;
    TSettings::setValue(TSettings::DefaultSharedFolder, shared.path());
    fixture.addStudy("María Concepción", "Fernández-Villaverde Castellanos", "20140312103000");
    fixture.addStudy("Luis", "Perez", "20150101090000", true);
    const auto dialog = makeDialog();
    click(*dialog, "btnShare");
    dialogtest::settle();

    QTreeWidget* local = localTree(*dialog);
    const QAbstractItemView* view = local;
    EXPECT_EQ(local->horizontalScrollBar()->maximum(), 0);
    for (int column = 0; column < local->columnCount(); ++column) {
        if (!local->isColumnHidden(column))
            EXPECT_GE(local->columnWidth(column), view->sizeHintForColumn(column)) << column;
    }
    EXPECT_GT(sharedTree(*dialog)->width(), 0);
}

// A copy needs a selection and a shared folder, in either order; the
// shared list is newest first however it was filled.
TEST_F(OpenStudyDialogTest, ChoosingASharedFolderAfterTheStudyAllowsTheCopy)
{
    QTemporaryDir shared;
    fixture.addStudy("Ana", "Garcia", "20140312103000");
    fixture.addStudy("Luis", "Perez", "20150101090000");
    const auto dialog = makeDialog();
    QTreeWidget* local = localTree(*dialog);
    click(*dialog, "btnShare");
    select(local, {local->topLevelItem(0), local->topLevelItem(1)});
    EXPECT_FALSE(child<QPushButton>(*dialog, "btnShareExport")->isEnabled()) << "no shared folder yet";
    {
        FileDialogAnswerer folder(shared.path());
        click(*dialog, "btnShareFolder");
    }
    ASSERT_TRUE(child<QPushButton>(*dialog, "btnShareExport")->isEnabled());
    {
        MessageBoxAnswerer answerer;
        click(*dialog, "btnShareExport");
        EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("|2 of 2 studies were copied to the shared folder.")});
    }
    click(*dialog, "btnShare");
    click(*dialog, "btnShare");
    EXPECT_EQ(visiblePatients(sharedTree(*dialog)),
              (QStringList{QStringLiteral("Perez, Luis"), QStringLiteral("Garcia, Ana")}));
}

TEST_F(OpenStudyDialogTest, FailedCopiesAreReportedPerStudyAndCounted)
{
    QTemporaryDir base;
    const QString missing = base.filePath(QStringLiteral("gone"));
    TSettings::setValue(TSettings::DefaultSharedFolder, missing);
    fixture.addStudy("Ana", "Garcia", "20140312103000");
    fixture.addStudy("Luis", "Perez", "20150101090000");
    const auto dialog = makeDialog();
    click(*dialog, "btnShare");
    QTreeWidget* local = localTree(*dialog);
    select(local, {local->topLevelItem(0), local->topLevelItem(1)});

    MessageBoxAnswerer answerer;
    click(*dialog, "btnShareExport");
    ASSERT_EQ(answerer.messages.size(), 3) << answerer.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(answerer.messages[0].startsWith(QLatin1Char('|'))) << "untitled, with the store's message";
    EXPECT_GT(answerer.messages[0].size(), 1);
    EXPECT_EQ(answerer.informative.mid(0, 2), (QStringList{QStringLiteral("Perez, Luis"), QStringLiteral("Garcia, Ana")}));
    EXPECT_EQ(answerer.messages[2], QStringLiteral("|0 of 2 studies were copied to the shared folder."));
    EXPECT_EQ(sharedTree(*dialog)->topLevelItemCount(), 0);
}

// The selected studies go to the chosen folder as one file each, and a
// file taken in becomes a study of the patient its header names.
TEST_F(OpenStudyDialogTest, MoreExportsTheSelectedStudiesAndTakesARecordingIn)
{
    fixture.addStudy("Ana", "Garcia", "20140312103000");
    fixture.addStudy("Luis", "Perez", "20150101090000");
    QTemporaryDir folder;
    const auto dialog = makeDialog();
    QTreeWidget* local = localTree(*dialog);
    QAction* exportEdf = child<QAction>(*dialog, "actionExportEdf");
    EXPECT_FALSE(exportEdf->isEnabled()) << "nothing selected";
    select(local, {local->topLevelItem(0), local->topLevelItem(1)});
    ASSERT_TRUE(exportEdf->isEnabled());
    // Ok where there is one; the recording already in the store is
    // imported again.
    MessageBoxAnswerer answerer(QMessageBox::Ignore);
    {
        FileDialogAnswerer chooser(folder.path());
        exportEdf->trigger();
    }
    const QString exported = folder.filePath(QStringLiteral("Garcia-Ana-20140312103000.edf"));
    EXPECT_TRUE(QFileInfo::exists(exported));
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QStringLiteral("Perez-Luis-20150101090000.edf"))));

    {
        FileDialogAnswerer chooser(exported);
        child<QAction>(*dialog, "actionImportRecording")->trigger();
    }
    EXPECT_EQ(local->topLevelItemCount(), 3);
    EXPECT_EQ(local->findItems(QStringLiteral("Garcia, Ana"), Qt::MatchExactly, 1).size(), 2);
    ASSERT_EQ(answerer.messages.size(), 3) << answerer.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(answerer.messages[0],
              QStringLiteral("|2 of 2 studies were exported to %1.").arg(QDir::toNativeSeparators(folder.path())));
    EXPECT_TRUE(answerer.messages[1].startsWith(QStringLiteral("Import recording|This recording is already in the store")))
        << "the same patient, start and samples: " << answerer.messages[1].toStdString();
    EXPECT_EQ(answerer.messages[2], QStringLiteral("|1 of 1 recordings were imported."));
    EXPECT_EQ(local->findItems(QStringLiteral("Garcia, Ana"), Qt::MatchExactly, 1).first()->data(3, Qt::DisplayRole),
              QVariant(QDateTime(QDate(2014, 3, 12), QTime(10, 30))))
        << "dated at the recording's start";
}

} // namespace
