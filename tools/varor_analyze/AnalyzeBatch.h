#pragma once

#include "AnalyzeCommand.h"

#include <QString>
#include <QStringList>

#include <cstdio>

// varor-analyze's batch mode: many records analysed at once, each by a run
// of the program of its own (one input, the batch's settings), so that a
// record's results are exactly those of a single run and a record that
// fails or crashes takes no other with it. As many runs go at once as
// asked (every core by default). Each record's JSON document goes into the
// output folder as "<record>.json" as soon as it is done, with a line on
// the progress stream; "summary.csv" lists every record in input order,
// with its figures or the reason it failed.
namespace AnalyzeBatch {

// The records of the inputs: a file as it is, a folder's recordings in
// name order (TImportedRecording::recordingsIn: WFDB headers, EDF/BDF files
// and DICOM ECGs). Throws AnalyzeCommand::UsageError for an
// input that does not exist or a folder without records.
QStringList records(const QStringList& inputs);

// Analyses every record with `program` (varor-analyze itself) and writes
// the output folder; answers how many records failed. Throws
// std::runtime_error when the output folder cannot be made or written.
int run(const AnalyzeCommand::Options& options, const QString& program, std::FILE* progress);

} // namespace AnalyzeBatch
