#pragma once

#include "storage/TStudyInfo.h"

#include <string>
#include <utility>
#include <vector>

class TLocalStudyStore;
class TServerArchive;

// What copying a data folder's studies to the clinic server did.
struct TClinicCopyReport
{
    std::vector<TStudyInfo> copied;
    std::vector<TStudyInfo> skipped;  // already on the server, the same
    std::vector<std::pair<TStudyInfo, std::string>> failed;  // with the reason

    // "Copied: n, already there: n, not copied: n" and a line per failure.
    std::string text() const;
};

// Copies every study of the local data folder to the server, skipping
// those already there with the same files, each checked readable before
// and verified after; a study the server holds with other files is not
// replaced but reported. Nothing local is changed.
TClinicCopyReport copyLocalStudies(TLocalStudyStore& local, TServerArchive& archive);
