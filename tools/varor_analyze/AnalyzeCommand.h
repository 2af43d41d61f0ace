#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>

class TLocalStudyStore;

// varor-analyze: a recording analysed without the windows, by the
// application's own classes. A WFDB record or an EDF/BDF file is converted
// to the device's fourteen leads at 1000 Hz and recorded into a study
// through the acquisition pipeline from its first sample; a stored study
// is taken as it is. The study then gets the review analysis of the
// review window (every stored beat averaged, stored or automatic wave
// marks, late potentials), and the results are printed as one JSON
// document.
namespace AnalyzeCommand {

// A command line that cannot be run; the message says why.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    QString input;           // WFDB header (.hea), EDF/BDF file, study file (.pxstudy) or study id
    // Late-potential settings; 0 keeps the study's own (a recording's:
    // 40 Hz, 40 uV, 40 ms).
    int cutoff = 0;          // high-pass, 25 or 40 Hz
    int lasThreshold = 0;    // microvolts
    int rmsDuration = 0;     // milliseconds
    QString beatsFile;       // CSV of the stored beats; empty for none
    QString annotationsFile; // MIT-format annotations of the beats; empty for none
    QString reportFile;      // PDF report; empty for none
    QString exportFile;      // the study in an exchange format (TStudyExport); empty for none
    bool import = false;     // keep the recording as a study in the user's store
    bool send = false;       // send the study to the configured PACS through the data folder's outbox
    // Batch mode: every input (files, or folders of records) analysed on its
    // own, the results written into this folder (AnalyzeBatch); empty for
    // one input.
    QString batchFolder;
    QStringList inputs;
    int jobs = 0;            // records analysed at once; 0 for every core
};

// Options from the arguments (the program name first); throws UsageError.
Options parse(const QStringList& arguments);

// The arguments that run one input of a batch with the batch's settings.
QStringList recordArguments(const Options& options, const QString& input);

// The user's local study store, waited for while another program holds its
// data folder; the wait is told on the terminal.
std::unique_ptr<TLocalStudyStore> openUserStore();

// Runs the analysis and writes the files asked for, all of them or none;
// answers the JSON document. Throws std::exception with a message on bad
// input or a failure.
QJsonObject run(const Options& options);

} // namespace AnalyzeCommand
