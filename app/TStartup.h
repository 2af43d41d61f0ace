#pragma once

#include <QString>
#include <QTranslator>

#include <memory>
#include <vector>

// The pieces of application start-up, kept apart from main() so that each
// can be exercised on its own.
namespace TStartup {

inline const char* const OrganisationName = "Pulsorix";
inline const char* const ApplicationName = "VA ROR";
inline const char* const ApplicationVersion = "1.05b";
inline const char* const DarkStyleSheet = ":/styles/dark.css";
inline const char* const LightStyleSheet = ":/styles/light.css";

// Organisation, application name and version, read by the settings store and
// the single-instance key.
void setIdentity();

// The settings file (which lists recent studies by their patients' names)
// readable by its owner only: made so when it does not exist yet, tightened
// when an earlier version left it open. Settings saved later keep it so.
void restrictSettingsFile();

// "<organisation> <application>", the single-instance key and the name the
// second-copy message shows.
QString instanceKey();
QString alreadyRunningText(const QString& key);

// Loads "qt_es", "PulsorixVAROR_es" and "varorReport_es" from the folder and
// installs those found. The translators must outlive the application's use
// of them; a catalogue that is missing is skipped.
std::vector<std::unique_ptr<QTranslator>> installTranslations(const QString& folder);

// The style sheet resource decoded as UTF-8, empty when it is missing.
QString styleSheet(const QString& resource);

} // namespace TStartup
