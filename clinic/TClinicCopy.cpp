#include "clinic/TClinicCopy.h"

#include "clinic/TServerArchive.h"
#include "clinic/TServerDatabase.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudy.h"
#include "storage/TStudyFiles.h"
#include "storage/TStudyJson.h"

#include <QString>

namespace {

constexpr const char* DifferentMessage = "The clinic server holds another version of this study";

// Empty when the study opens as a review would open it; else the reason.
std::string refusalOf(const TStudyInfo& info, const QString& folder)
{
    QString refusal;
    const std::unique_ptr<TStudy> study = TStudyFiles::loadStudyFile(
        QStringLiteral("%1/%2.%3").arg(folder, TStudyJson::toQString(info.baseFilename),
                                       QLatin1String(TStudyFiles::StudyExtension)),
        &refusal);
    if (study)
        return {};
    return refusal.isEmpty() ? std::string("Cannot open file") : refusal.toStdString();
}

} // namespace

std::string TClinicCopyReport::text() const
{
    std::string text = QStringLiteral("Copied: %1, already there: %2, not copied: %3")
                           .arg(copied.size())
                           .arg(skipped.size())
                           .arg(failed.size())
                           .toStdString();
    for (const auto& [info, reason] : failed)
        text += "\n" + info.lastName + ", " + info.firstName + " (" + info.studyDateTime + "): " + reason;
    return text;
}

TClinicCopyReport copyLocalStudies(TLocalStudyStore& local, TServerArchive& archive)
{
    TClinicCopyReport report;
    const QString folder = local.studyDataFolder();
    for (const TStudyInfo& info : local.listStudies()) {
        const std::string refusal = refusalOf(info, folder);
        if (!refusal.empty()) {
            report.failed.emplace_back(info, refusal);
            continue;
        }
        try {
            TStudyInfo onServer;
            int revision = 0;
            if (archive.row(info.id, onServer, revision)) {
                if (archive.storedChecksums(info.id) == TServerArchive::localChecksums(info.baseFilename, folder))
                    report.skipped.push_back(info);
                else
                    report.failed.emplace_back(info, DifferentMessage);
                continue;
            }
            archive.uploadVerified(info, folder, 0);
            report.copied.push_back(info);
        } catch (const TServerUnreachable&) {
            throw;  // nothing further can go
        } catch (const std::exception& error) {
            report.failed.emplace_back(info, error.what());
        }
    }
    return report;
}
