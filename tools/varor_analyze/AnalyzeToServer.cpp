#include "AnalyzeToServer.h"

#include "AnalyzeCommand.h"
#include "clinic/TServerArchive.h"
#include "clinic/TServerDatabase.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStudyJson.h"

#include <QDir>
#include <QFileInfo>

#include <memory>
#include <stdexcept>

namespace AnalyzeToServer {

TClinicCopyReport run(const QString& dataFolder)
{
    std::unique_ptr<TLocalStudyStore> local;
    if (dataFolder.isEmpty()) {
        local = AnalyzeCommand::openUserStore();
    } else {
        const QFileInfo folder(dataFolder);
        // The store would make a missing folder: a mistyped name copies
        // nothing and says so.
        if (!folder.isDir())
            throw std::runtime_error(QStringLiteral("No data folder at %1").arg(dataFolder).toStdString());
        local = std::make_unique<TLocalStudyStore>(TStudyJson::toUtf8(folder.fileName()), folder.absolutePath());
    }
    TServerDatabase database(TServerAddress::fromSettings());
    database.connect();
    TServerArchive archive(database, QStringLiteral("varor-analyze").toStdString());
    return copyLocalStudies(*local, archive);
}

} // namespace AnalyzeToServer
