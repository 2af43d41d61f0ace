// Both dialogs rendered under the application's dark and light style
// sheets into the build folder (renderings/*.png) to be looked at, and
// checked for texts and fields cut by a size below what they need.
#include "StudyDialogsTestSupport.h"

#include "settings/TSettings.h"
#include "windows/OpenStudyDialog.h"
#include "windows/StudyDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// The visible widgets of a window smaller than their content needs: texts
// of labels and buttons in full, fields at least as tall as a line of text
// within a one-pixel frame.
QStringList clippedWidgets(const QWidget& window)
{
    QStringList clipped;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        // Unnamed widgets are parts of composite ones (the edit of a combo box).
        if (!widget->isVisible() || widget->objectName().isEmpty() ||
            widget->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QSize hint = widget->sizeHint();
        const bool isText = qobject_cast<const QLabel*>(widget) || qobject_cast<const QAbstractButton*>(widget);
        const bool isField = qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget);
        if ((isText && (widget->width() < hint.width() || widget->height() < hint.height())) ||
            (isField && widget->height() < widget->fontMetrics().height() + 2))
            clipped.append(QStringLiteral("%1 %2x%3 < %4x%5")
                               .arg(widget->objectName())
                               .arg(widget->width())
                               .arg(widget->height())
                               .arg(hint.width())
                               .arg(hint.height()));
    }
    return clipped;
}

class StudyDialogsRenderingTest : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        QFile sheet(QStringLiteral(":/styles/%1.css").arg(QLatin1String(GetParam())));
        ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        ASSERT_TRUE(QDir().mkpath(QStringLiteral(VAROR_RENDER_DIR)));
    }

    void TearDown() override { qApp->setStyleSheet(QString()); }

    // Saves the window as renderings/<name>_<style>.png.
    static void save(QWidget& window, const QString& name)
    {
        dialogtest::settle();
        const QString path =
            QStringLiteral(VAROR_RENDER_DIR "/%1_%2.png").arg(name, QLatin1String(GetParam()));
        EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
        EXPECT_EQ(clippedWidgets(window), QStringList()) << path.toStdString();
    }

    dialogtest::StoreFixture fixture;
};

TEST_P(StudyDialogsRenderingTest, StudyDialogPages)
{
    TStudyInfo info = newStudyInfo("María José", "Fernández de la Torre");
    info.id = 7;
    info.birthDate = "19560423";
    info.sex = "F";
    info.weight = "64";
    info.height = "162";
    info.personIdType = "DNI";
    info.personIdNumber = "12345678Z";
    info.medicalGroupName = "Mutua General";
    info.city = "Valladolid";
    info.state = "Castilla y León";
    info.technicianName = "Luis Pérez";
    info.doctorName = "Dra. Marta Ruiz";
    info.indication = "Palpitaciones tras el esfuerzo";
    info.riskFactors = {{"Infarto agudo de miocardio", true, "2009, anterior"}, {"Hipertensión", true, ""}};
    StudyDialog dialog(nullptr, info);
    dialog.show();
    QListWidget* categories = dialog.findChild<QListWidget*>(QStringLiteral("listCategory"));
    ASSERT_NE(categories, nullptr);
    const char* pages[] = {"study_dialog_patient", "study_dialog_risk_factors", "study_dialog_study_info"};
    for (int page = 0; page < 3; ++page) {
        categories->setCurrentRow(page);
        save(dialog, QLatin1String(pages[page]));
    }
    // The required-field mark.
    categories->setCurrentRow(0);
    dialog.findChild<QLineEdit*>(QStringLiteral("txtFirstName"))->clear();
    save(dialog, QStringLiteral("study_dialog_required"));
}

TEST_P(StudyDialogsRenderingTest, OpenStudyDialogWithSharedStudies)
{
    QTemporaryDir shared;
    TSettings::setValue(TSettings::DefaultSharedFolder, shared.path());
    const int exported = fixture.addStudy("María José", "Fernández de la Torre", "20140312103000", true);
    fixture.addStudy("Ana", "García", "20150101090000");
    fixture.addStudy("Luis", "Pérez Gómez", "20160704121500");
    fixture.store->exportStudy(exported, shared.path().toLocal8Bit().toStdString());

    OpenStudyDialog dialog(nullptr, fixture.store.get());
    dialog.show();
    dialogtest::settle();
    QTreeWidget* local = dialog.findChild<QTreeWidget*>(QStringLiteral("treeStudies"));
    ASSERT_NE(local, nullptr);
    local->setCurrentItem(local->topLevelItem(2));
    save(dialog, QStringLiteral("open_study_dialog"));
    dialog.findChild<QPushButton*>(QStringLiteral("btnShare"))->click();
    save(dialog, QStringLiteral("open_study_dialog_shared"));
}

INSTANTIATE_TEST_SUITE_P(Styles, StudyDialogsRenderingTest, ::testing::Values("dark", "light"));

} // namespace
