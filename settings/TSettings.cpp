#include "settings/TSettings.h"

#include <QSettings>

namespace TSettings {

namespace {

TSettingKey textKey(const char* key, const QString& def = QString())
{
    return {key, QMetaType::QString, def, def};
}

TSettingKey listKey(const char* key)
{
    return {key, QMetaType::QStringList, QStringList(), QStringList()};
}

TSettingKey flagKey(const char* key, bool def)
{
    return {key, QMetaType::Bool, def, def};
}

QVariant converted(QVariant stored, QMetaType::Type type)
{
    // The native store keeps strings; a list of one element or an empty list
    // comes back as a plain string or an invalid value, so lists are rebuilt.
    if (type == QMetaType::QStringList)
        return stored.toStringList();
    if (stored.convert(type))
        return stored;
    return QVariant();
}

QVariant read(const TSettingKey& setting, const QVariant& fallback)
{
    const QSettings settings;
    if (!settings.contains(QLatin1String(setting.key)))
        return fallback;
    const QVariant stored = converted(settings.value(QLatin1String(setting.key)), setting.type);
    return stored.isValid() ? stored : fallback;
}

} // namespace

const TSettingKey AcqMode = textKey("Config/AcqMode");
const TSettingKey AcqBluetoothPort = textKey("Config/AcqBluetoothPort");
const TSettingKey SignalGain = {"Config/SignalGain", QMetaType::Double, 0.0, 300};
const TSettingKey LowBatteryLevel = {"Config/LowBatteryLevel", QMetaType::Double, 0.0, 2.6};
const TSettingKey BeatAveragingNotchFilter = flagKey("Config/BeatAveragingNotchFilter", false);
const TSettingKey BeatAveragingLowpassFilter = flagKey("Config/BeatAveragingLowpassFilter", false);
const TSettingKey LatePotentialsCutoff = {"Config/LatePotentialsCutoff", QMetaType::Int, 25, 25};
const TSettingKey LatePotentialsNoiseLimit = {"Config/LatePotentialsNoiseLimit", QMetaType::Double, 1.0, 1.0};
const TSettingKey LatePotentialsMinimumBeats = {"Config/LatePotentialsMinimumBeats", QMetaType::Int, 100, 100};
const TSettingKey RecordingNoiseTarget = {"Config/RecordingNoiseTarget", QMetaType::Double, 1.0, 1.0};
const TSettingKey StopAtNoiseTarget = flagKey("Config/StopAtNoiseTarget", false);
const TSettingKey RecentStudyList = listKey("MainWindow/RecentStudyList");
const TSettingKey IdTypeList = listKey("StudyDialog/IdTypeList");
const TSettingKey MedicalGroupList = listKey("StudyDialog/MedicalGroupList");
const TSettingKey CityList = listKey("StudyDialog/CityList");
const TSettingKey StateList = listKey("StudyDialog/StateList");
const TSettingKey TechnicianNameList = listKey("StudyDialog/TechnicianNameList");
const TSettingKey DoctorNameList = listKey("StudyDialog/DoctorNameList");
const TSettingKey ReferringDoctorNameList = listKey("StudyDialog/ReferringDoctorNameList");
const TSettingKey SharedFolderList = listKey("OpenStudyDialog/SharedFolderList");
const TSettingKey DefaultSharedFolder = textKey("OpenStudyDialog/DefaultSharedFolder");
const TSettingKey MonitorDisplayColorScheme = textKey("EcgMonitorWindow/DisplayColorScheme");
const TSettingKey MonitorShowAverageBeat = flagKey("EcgMonitorWindow/ShowAverageBeat", true);
const TSettingKey PredefinedConclusionList = listKey("EcgReviewWindow/PredefinedConclusionList");
const TSettingKey ReviewDisplayColorScheme = textKey("EcgReviewWindow/DisplayColorScheme");
const TSettingKey ReviewShowAverageBeat = flagKey("EcgReviewWindow/ShowAverageBeat", true);
const TSettingKey HeaderLogoFilename = textKey("ReportDialog/HeaderLogoFilename");
const TSettingKey HeaderTitle = textKey("ReportDialog/HeaderTitle");
const TSettingKey HeaderInfo = textKey("ReportDialog/HeaderInfo");
const TSettingKey EcgGraphicLayout = textKey("ReportDialog/EcgGraphicLayout");
const TSettingKey EcgGraphicRhythmLead = textKey("ReportDialog/EcgGraphicRhythmLead", QStringLiteral("II"));
const TSettingKey EcgShowAverage = flagKey("ReportDialog/EcgShowAverage", false);
const TSettingKey PrintAverageMeasures = flagKey("ReportDialog/PrintAverageMeasures", true);
const TSettingKey PrintLeadAverage = flagKey("ReportDialog/PrintLeadAverage", true);
const TSettingKey PrintLatePotentials = flagKey("ReportDialog/PrintLatePotentials", true);
const TSettingKey PrintDestination = textKey("ReportDialog/PrintDestination");
const TSettingKey LocalAeTitle = textKey("Hospital/LocalAeTitle", QStringLiteral("VAROR"));
const TSettingKey PacsHost = textKey("Hospital/PacsHost");
const TSettingKey PacsPort = {"Hospital/PacsPort", QMetaType::Int, 104, 104};
const TSettingKey PacsAeTitle = textKey("Hospital/PacsAeTitle");

const QVector<const TSettingKey*>& allKeys()
{
    static const QVector<const TSettingKey*> keys = {
        &AcqMode, &AcqBluetoothPort, &SignalGain, &LowBatteryLevel,
        &BeatAveragingNotchFilter, &BeatAveragingLowpassFilter,
        &LatePotentialsCutoff, &LatePotentialsNoiseLimit, &LatePotentialsMinimumBeats,
        &RecordingNoiseTarget, &StopAtNoiseTarget,
        &RecentStudyList,
        &IdTypeList, &MedicalGroupList, &CityList, &StateList,
        &TechnicianNameList, &DoctorNameList, &ReferringDoctorNameList,
        &SharedFolderList, &DefaultSharedFolder,
        &MonitorDisplayColorScheme, &MonitorShowAverageBeat,
        &PredefinedConclusionList, &ReviewDisplayColorScheme, &ReviewShowAverageBeat,
        &HeaderLogoFilename, &HeaderTitle, &HeaderInfo,
        &EcgGraphicLayout, &EcgGraphicRhythmLead, &EcgShowAverage,
        &PrintAverageMeasures, &PrintLeadAverage, &PrintLatePotentials, &PrintDestination,
        &LocalAeTitle, &PacsHost, &PacsPort, &PacsAeTitle,
    };
    return keys;
}

QVariant value(const TSettingKey& setting)
{
    return read(setting, setting.defaultValue);
}

QVariant editorValue(const TSettingKey& setting)
{
    return read(setting, setting.editorDefault);
}

QString text(const TSettingKey& setting)
{
    return value(setting).toString();
}

QStringList list(const TSettingKey& setting)
{
    return value(setting).toStringList();
}

bool flag(const TSettingKey& setting)
{
    return value(setting).toBool();
}

double number(const TSettingKey& setting)
{
    return value(setting).toDouble();
}

int whole(const TSettingKey& setting)
{
    return value(setting).toInt();
}

void setValue(const TSettingKey& setting, const QVariant& value)
{
    QSettings settings;
    settings.setValue(QLatin1String(setting.key), value);
}

} // namespace TSettings
