#pragma once

#include <QString>

class QFileDevice;

// Patient data readable by its owner only. On a workstation shared by
// several accounts the data folder and its reports folder are 0700 and
// every file in them 0600, temporary files included; a folder left more
// open by an earlier version is tightened at start. Files written outside
// the data folder (exports to a shared folder) are not touched: sharing is
// their purpose.
namespace TPrivateFiles {

// Creates the folder (and missing parents) and makes it the owner's only;
// false when it does not exist afterwards.
bool makeFolder(const QString& path);
// The open file (or the temporary file behind a save file) for its owner only.
void restrict(QFileDevice& file);
// The file at the path for its owner only.
void restrict(const QString& path);
// The folder for its owner only, and every file directly in it, hidden
// ones included.
void tightenFolder(const QString& path);

} // namespace TPrivateFiles
