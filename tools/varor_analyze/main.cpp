// varor-analyze: analyses a recording or a stored study without the
// windows and prints the results as JSON (see AnalyzeCommand.h).
#include "AnalyzeBatch.h"
#include "AnalyzeCommand.h"
#include "AnalyzeToServer.h"

#include "app/TStartup.h"
#include "storage/TFileNameCodec.h"

#include <QApplication>
#include <QJsonDocument>

#include <cstdio>

namespace {

constexpr int FailureExit = 1;
constexpr int UsageExit = 2;

void printError(const char* message)
{
    std::fprintf(stderr, "varor-analyze: %s\n", message);
}

} // namespace

int main(int argc, char* argv[])
{
    TFileNameCodec::install();
    // The report is drawn without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TStartup::setIdentity();
    try {
        const QStringList arguments = QApplication::arguments();
        if (arguments.size() >= 2 && arguments.at(1) == QLatin1String(AnalyzeToServer::Option)) {
            const TClinicCopyReport report = AnalyzeToServer::run(arguments.value(2));
            std::fprintf(stdout, "%s\n", report.text().c_str());
            return report.failed.empty() ? 0 : FailureExit;
        }
        const AnalyzeCommand::Options options = AnalyzeCommand::parse(QApplication::arguments());
        if (!options.batchFolder.isEmpty())
            return AnalyzeBatch::run(options, QApplication::applicationFilePath(), stderr) == 0 ? 0 : FailureExit;
        const QJsonObject results = AnalyzeCommand::run(options);
        std::fputs(QJsonDocument(results).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    } catch (const AnalyzeCommand::UsageError& error) {
        printError(error.what());
        std::fputs("Usage: varor-analyze [options] <record.hea | file.edf | file.bdf | ecg.dcm | study.pxstudy | study id>\n"
                   "       varor-analyze --to-server [DATA_FOLDER]\n"
                   "       varor-analyze --batch FOLDER [--jobs N] [settings] <records or folders of records...>\n"
                   "Options: --cutoff 25|40, --las-threshold uV, --rms-duration ms, --beats FILE.csv,\n"
                   "         --annotations FILE, --report FILE.pdf, --export FILE.edf|.bdf|.hea|.xml|.dcm, --import, --send\n",
                   stderr);
        return UsageExit;
    } catch (const std::exception& error) {
        printError(error.what());
        return FailureExit;
    }
}
