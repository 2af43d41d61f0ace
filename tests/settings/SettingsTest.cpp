#include "TempSettings.h"
#include "settings/TSettings.h"

#include <QFile>
#include <QSet>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

struct Expected {
    const char* key;
    QVariant value;
};

// The defaults a reader must see while nothing was ever written.
const Expected expectedDefaults[] = {
    {"Config/AcqMode", QString()},
    {"Config/AcqBluetoothPort", QString()},
    {"Config/SignalGain", 0.0},
    {"Config/LowBatteryLevel", 0.0},
    {"Config/BeatAveragingNotchFilter", false},
    {"Config/BeatAveragingLowpassFilter", false},
    {"Config/LatePotentialsCutoff", 25},
    {"Config/LatePotentialsNoiseLimit", 1.0},
    {"Config/LatePotentialsMinimumBeats", 100},
    {"Config/RecordingNoiseTarget", 1.0},
    {"Config/StopAtNoiseTarget", false},
    {"MainWindow/RecentStudyList", QStringList()},
    {"StudyDialog/IdTypeList", QStringList()},
    {"StudyDialog/MedicalGroupList", QStringList()},
    {"StudyDialog/CityList", QStringList()},
    {"StudyDialog/StateList", QStringList()},
    {"StudyDialog/TechnicianNameList", QStringList()},
    {"StudyDialog/DoctorNameList", QStringList()},
    {"StudyDialog/ReferringDoctorNameList", QStringList()},
    {"OpenStudyDialog/SharedFolderList", QStringList()},
    {"OpenStudyDialog/DefaultSharedFolder", QString()},
    {"EcgMonitorWindow/DisplayColorScheme", QString()},
    {"EcgMonitorWindow/ShowAverageBeat", true},
    {"EcgReviewWindow/PredefinedConclusionList", QStringList()},
    {"EcgReviewWindow/DisplayColorScheme", QString()},
    {"EcgReviewWindow/ShowAverageBeat", true},
    {"ReportDialog/HeaderLogoFilename", QString()},
    {"ReportDialog/HeaderTitle", QString()},
    {"ReportDialog/HeaderInfo", QString()},
    {"ReportDialog/EcgGraphicLayout", QString()},
    {"ReportDialog/EcgGraphicRhythmLead", QStringLiteral("II")},
    {"ReportDialog/EcgShowAverage", false},
    {"ReportDialog/PrintAverageMeasures", true},
    {"ReportDialog/PrintLeadAverage", true},
    {"ReportDialog/PrintLatePotentials", true},
    {"ReportDialog/PrintDestination", QString()},
    {"Hospital/LocalAeTitle", QStringLiteral("VAROR")},
    {"Hospital/PacsHost", QString()},
    {"Hospital/PacsPort", 104},
    {"Hospital/PacsAeTitle", QString()},
};

const TSettingKey* findKey(const char* key)
{
    for (const TSettingKey* setting : TSettings::allKeys())
        if (qstrcmp(setting->key, key) == 0)
            return setting;
    return nullptr;
}

} // namespace

TEST(Settings, TableHoldsEveryKeyOnce)
{
    QSet<QString> names;
    for (const TSettingKey* setting : TSettings::allKeys())
        names.insert(QLatin1String(setting->key));
    EXPECT_EQ(names.size(), TSettings::allKeys().size());
    EXPECT_EQ(TSettings::allKeys().size(), int(std::size(expectedDefaults)));
    for (const Expected& expected : expectedDefaults)
        EXPECT_NE(findKey(expected.key), nullptr) << expected.key;
}

TEST(Settings, EmptyStoreYieldsEveryDefault)
{
    TempSettings store;
    for (const Expected& expected : expectedDefaults) {
        const TSettingKey* setting = findKey(expected.key);
        ASSERT_NE(setting, nullptr) << expected.key;
        const QVariant read = TSettings::value(*setting);
        EXPECT_EQ(int(read.userType()), int(setting->type)) << expected.key;
        EXPECT_EQ(read, expected.value) << expected.key;
    }
    EXPECT_TRUE(QSettings().allKeys().isEmpty()) << "reading must not store defaults";
}

TEST(Settings, DialogProposesItsOwnDefaultsForGainAndBattery)
{
    TempSettings store;
    EXPECT_EQ(TSettings::number(TSettings::SignalGain), 0.0);
    EXPECT_EQ(TSettings::editorValue(TSettings::SignalGain).toDouble(), 300.0);
    EXPECT_EQ(TSettings::number(TSettings::LowBatteryLevel), 0.0);
    EXPECT_EQ(TSettings::editorValue(TSettings::LowBatteryLevel).toDouble(), 2.6);

    // Once written, both readers see the stored value.
    TSettings::setValue(TSettings::SignalGain, 150);
    EXPECT_EQ(TSettings::number(TSettings::SignalGain), 150.0);
    EXPECT_EQ(TSettings::editorValue(TSettings::SignalGain).toDouble(), 150.0);
}

TEST(Settings, ValuesKeepTheirTypesThroughTheStore)
{
    TempSettings store;
    TSettings::setValue(TSettings::MonitorShowAverageBeat, false);
    TSettings::setValue(TSettings::LowBatteryLevel, 2.45);
    TSettings::setValue(TSettings::CityList, QStringList{QStringLiteral("Málaga")});
    TSettings::setValue(TSettings::DoctorNameList, QStringList());
    TSettings::setValue(TSettings::RecentStudyList,
                        QStringList{QStringLiteral("12||20261207101500||Pérez, Ñ||Ana"),
                                    QStringLiteral("1||20261206090000||Li||Bo")});
    TSettings::setValue(TSettings::HeaderInfo, QStringLiteral("Line one\nLine two"));

    EXPECT_FALSE(TSettings::flag(TSettings::MonitorShowAverageBeat));
    EXPECT_DOUBLE_EQ(TSettings::number(TSettings::LowBatteryLevel), 2.45);
    EXPECT_EQ(TSettings::list(TSettings::CityList), QStringList{QStringLiteral("Málaga")});
    EXPECT_EQ(TSettings::list(TSettings::DoctorNameList), QStringList());
    EXPECT_EQ(TSettings::list(TSettings::RecentStudyList).size(), 2);
    EXPECT_EQ(TSettings::list(TSettings::RecentStudyList).first(),
              QStringLiteral("12||20261207101500||Pérez, Ñ||Ana"));
    EXPECT_EQ(TSettings::text(TSettings::HeaderInfo), QStringLiteral("Line one\nLine two"));
}

TEST(Settings, UnreadableStoredValueFallsBackToDefault)
{
    TempSettings store;
    QSettings().setValue(QStringLiteral("Config/SignalGain"), QStringLiteral("loud"));
    EXPECT_EQ(TSettings::number(TSettings::SignalGain), 0.0);
    EXPECT_EQ(TSettings::editorValue(TSettings::SignalGain).toDouble(), 300.0);
}
