#pragma once

#include "clinic/TClinicCopy.h"

#include <QString>

// varor-analyze --to-server [DATA_FOLDER]: copies the studies of a data
// folder (the user's when none is named) to the clinic server the settings
// name, as the open study dialog's "Copy local studies to the clinic
// server" does.
namespace AnalyzeToServer {

constexpr const char* Option = "--to-server";

// Throws std::exception when the folder or the server cannot be reached.
TClinicCopyReport run(const QString& dataFolder);

} // namespace AnalyzeToServer
