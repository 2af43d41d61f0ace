// The electrode panel's colours: only the nine electrode names change them.
#include "windows/ElectrodeStatusWidget.h"

#include "analysis/signal/TLeadSet.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

// The electrodes whose label is not green.
QStringList notGreen(const ElectrodeStatusWidget& panel)
{
    QStringList names;
    for (const QString& name : TLeadSet::electrodeNames()) {
        const auto* label = panel.findChild<QLabel*>(QStringLiteral("lbl") + name);
        if (!label || label->text() != name || label->styleSheet() != QLatin1String("color: green"))
            names.append(name);
    }
    return names;
}

TEST(ElectrodeStatusWidgetTest, ElectrodesOffTurnRedAndOtherNamesChangeNothing)
{
    ElectrodeStatusWidget panel;
    EXPECT_TRUE(panel.showAllowed());
    EXPECT_TRUE(notGreen(panel).isEmpty());

    panel.setElectrode(QStringLiteral("V3"), true);
    panel.setElectrode(QStringLiteral("LA"), true);
    panel.setElectrode(QStringLiteral("CM5"), true);
    panel.setElectrode(QStringLiteral("la"), false);
    EXPECT_EQ(notGreen(panel), (QStringList{QStringLiteral("LA"), QStringLiteral("V3")}));
    EXPECT_EQ(panel.findChild<QLabel*>(QStringLiteral("lblV3"))->styleSheet(), QStringLiteral("color: red"));

    panel.setElectrode(QStringLiteral("LA"), false);
    EXPECT_EQ(notGreen(panel), QStringList{QStringLiteral("V3")});
}

} // namespace
