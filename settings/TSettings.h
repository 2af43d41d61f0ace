#pragma once

#include <QMetaType>
#include <QStringList>
#include <QVariant>
#include <QVector>

// One persistent setting: its key, the value type it is stored as, the value
// a reader gets while the key was never written, and the value the dialog
// that edits it proposes (the same except for two keys, see below).
struct TSettingKey {
    const char* key;
    QMetaType::Type type;
    QVariant defaultValue;
    QVariant editorDefault;
};

// The table of every persistent setting of the application. Settings are read
// and written through a short-lived QSettings object carrying the application
// identity; nothing keeps one open. Defaults are supplied at each read and
// never stored.
namespace TSettings {

// Acquisition
extern const TSettingKey AcqMode;                      // "demo", "bluetooth-com", else USB
extern const TSettingKey AcqBluetoothPort;
extern const TSettingKey SignalGain;                   // acquisition 0 (keep device range), dialog 300
extern const TSettingKey LowBatteryLevel;              // monitor 0 (keep 2.3 V), dialog 2.6
extern const TSettingKey BeatAveragingNotchFilter;
extern const TSettingKey BeatAveragingLowpassFilter;
// Late potentials: the cutoff a study is first analysed at (Hz), the
// noise (uV at 40 Hz) and beat count a verdict needs, and the noise the
// monitor window records toward (stopping there when asked).
extern const TSettingKey LatePotentialsCutoff;
extern const TSettingKey LatePotentialsNoiseLimit;
extern const TSettingKey LatePotentialsMinimumBeats;
extern const TSettingKey RecordingNoiseTarget;
extern const TSettingKey StopAtNoiseTarget;
// Main window
extern const TSettingKey RecentStudyList;
// Study dialog remembered lists
extern const TSettingKey IdTypeList;
extern const TSettingKey MedicalGroupList;
extern const TSettingKey CityList;
extern const TSettingKey StateList;
extern const TSettingKey TechnicianNameList;
extern const TSettingKey DoctorNameList;
extern const TSettingKey ReferringDoctorNameList;
// Open study dialog
extern const TSettingKey SharedFolderList;
extern const TSettingKey DefaultSharedFolder;
// Monitor and review windows
extern const TSettingKey MonitorDisplayColorScheme;
extern const TSettingKey MonitorShowAverageBeat;
extern const TSettingKey PredefinedConclusionList;
extern const TSettingKey ReviewDisplayColorScheme;
extern const TSettingKey ReviewShowAverageBeat;
// Report dialog
extern const TSettingKey HeaderLogoFilename;
extern const TSettingKey HeaderTitle;
extern const TSettingKey HeaderInfo;
extern const TSettingKey EcgGraphicLayout;             // empty means "12by1"
extern const TSettingKey EcgGraphicRhythmLead;
extern const TSettingKey EcgShowAverage;
extern const TSettingKey PrintAverageMeasures;
extern const TSettingKey PrintLeadAverage;
extern const TSettingKey PrintLatePotentials;
extern const TSettingKey PrintDestination;             // empty means "pdf"
// Hospital: our DICOM AE title, and the archive (PACS) that takes our
// studies and answers worklist queries: its host, port and AE title.
extern const TSettingKey LocalAeTitle;
extern const TSettingKey PacsHost;
extern const TSettingKey PacsPort;
extern const TSettingKey PacsAeTitle;

// Every key above, in table order.
const QVector<const TSettingKey*>& allKeys();

// The stored value converted to the key's type, or the reader's default.
QVariant value(const TSettingKey& setting);
// The stored value, or the default the editing dialog proposes.
QVariant editorValue(const TSettingKey& setting);

QString text(const TSettingKey& setting);
QStringList list(const TSettingKey& setting);
bool flag(const TSettingKey& setting);
double number(const TSettingKey& setting);
int whole(const TSettingKey& setting);

void setValue(const TSettingKey& setting, const QVariant& value);

} // namespace TSettings
