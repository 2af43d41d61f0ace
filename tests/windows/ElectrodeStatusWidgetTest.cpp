// The electrode panel: its nine labels, their colours and the hide button.
#include "windows/ElectrodeStatusWidget.h"

#include "analysis/TLeadSet.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QLabel* electrodeLabel(const ElectrodeStatusWidget& panel, const QString& name)
{
    return panel.findChild<QLabel*>(QStringLiteral("lbl") + name);
}

// The electrodes whose label is not green.
QStringList notGreen(const ElectrodeStatusWidget& panel)
{
    QStringList names;
    for (const QString& name : TLeadSet::electrodeNames()) {
        if (electrodeLabel(panel, name)->styleSheet() != QLatin1String("color: green"))
            names.append(name);
    }
    return names;
}

TEST(ElectrodeStatusWidgetTest, ShowsNineElectrodesGreenUntilOneIsOff)
{
    ElectrodeStatusWidget panel;
    EXPECT_EQ(panel.size(), QSize(151, 131));
    EXPECT_EQ(panel.windowTitle(), QStringLiteral("Form"));
    EXPECT_TRUE(panel.showAllowed());
    for (const QString& name : TLeadSet::electrodeNames()) {
        QLabel* label = electrodeLabel(panel, name);
        ASSERT_NE(label, nullptr) << name.toStdString();
        EXPECT_EQ(label->text(), name);
        EXPECT_EQ(label->alignment(), Qt::AlignCenter);
        EXPECT_EQ(label->font().pointSize(), 16);
    }
    EXPECT_TRUE(notGreen(panel).isEmpty());

    panel.setElectrode(QStringLiteral("V3"), true);
    panel.setElectrode(QStringLiteral("LA"), true);
    EXPECT_EQ(notGreen(panel), (QStringList{QStringLiteral("LA"), QStringLiteral("V3")}));
    EXPECT_EQ(electrodeLabel(panel, QStringLiteral("V3"))->styleSheet(), QStringLiteral("color: red"));

    // Names that are not electrodes change nothing.
    panel.setElectrode(QStringLiteral("CM5"), true);
    panel.setElectrode(QStringLiteral("la"), false);
    EXPECT_EQ(notGreen(panel), (QStringList{QStringLiteral("LA"), QStringLiteral("V3")}));

    panel.setElectrode(QStringLiteral("LA"), false);
    EXPECT_EQ(notGreen(panel), QStringList{QStringLiteral("V3")});
}

TEST(ElectrodeStatusWidgetTest, HideButtonDismissesThePanel)
{
    ElectrodeStatusWidget panel;
    panel.show();
    auto* hide = panel.findChild<QPushButton*>(QStringLiteral("btnHide"));
    ASSERT_NE(hide, nullptr);
    EXPECT_EQ(hide->text(), QStringLiteral("x"));
    EXPECT_EQ(hide->toolTip(), QStringLiteral("Do not show again"));

    QTest::mouseClick(hide, Qt::LeftButton);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(panel.showAllowed());
}

} // namespace
