// The configuration dialog's "Studies" page: the local data folder by
// default, the clinic server's address stored when chosen (and prefetching
// turned off), never a password, and shown again as stored.
#include "tests/settings/TempSettings.h"

#include "clinic/TServerAddress.h"
#include "clinic/TServerStudyStore.h"
#include "settings/TSettings.h"
#include "windows/ConfigDialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace {

template <typename Widget>
Widget* child(const QWidget& parent, const char* name)
{
    auto* widget = parent.findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

TEST(StudyStorePageTest, ClinicServerChosenIsStoredWithoutAPasswordAndShownAgain)
{
    const TempSettings settings;
    {
        ConfigDialog dialog;
        EXPECT_FALSE(child<QListWidget>(dialog, "listCategory")->findItems(QStringLiteral("Studies"), Qt::MatchExactly).isEmpty());
        EXPECT_TRUE(child<QRadioButton>(dialog, "rbtStoreLocal")->isChecked());
        EXPECT_FALSE(child<QLineEdit>(dialog, "txtServerHost")->isEnabled());
        child<QRadioButton>(dialog, "rbtStoreServer")->click();
        EXPECT_TRUE(child<QLineEdit>(dialog, "txtServerHost")->isEnabled());
        child<QLineEdit>(dialog, "txtServerHost")->setText(QStringLiteral(" archive.clinic.local "));
        child<QSpinBox>(dialog, "numServerPort")->setValue(5433);
        child<QLineEdit>(dialog, "txtServerUser")->setText(QStringLiteral("lab1"));
        child<QSpinBox>(dialog, "numPrefetchDays")->setValue(0);
        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    }
    EXPECT_TRUE(TServerAddress::serverChosen());
    const TServerAddress address = TServerAddress::fromSettings();
    EXPECT_EQ(address.host, QStringLiteral("archive.clinic.local"));
    EXPECT_EQ(address.port, 5433);
    EXPECT_EQ(address.database, QStringLiteral("varor"));
    EXPECT_EQ(address.user, QStringLiteral("lab1"));
    EXPECT_EQ(TSettings::whole(TServerStudyStore::PrefetchDays), 0);
    for (const QString& key : QSettings().allKeys())
        EXPECT_FALSE(key.contains(QStringLiteral("password"), Qt::CaseInsensitive)) << key.toStdString();

    ConfigDialog again;
    EXPECT_TRUE(child<QRadioButton>(again, "rbtStoreServer")->isChecked());
    EXPECT_EQ(child<QLineEdit>(again, "txtServerHost")->text(), QStringLiteral("archive.clinic.local"));
    EXPECT_EQ(child<QSpinBox>(again, "numPrefetchDays")->text(), QStringLiteral("Off"));
}

} // namespace
