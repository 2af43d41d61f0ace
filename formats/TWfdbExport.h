#pragma once

#include "formats/TWfdbAnnotations.h"

#include <QByteArray>
#include <QString>

#include <vector>

struct TExportBeat;
struct TExportRecord;

// A study as a WFDB record, for PhysioNet's tools and wfdb-python: the
// header "<name>.hea", the leads interleaved in format 16 in "<name>.dat"
// (the device counts unchanged, baseline 0, the gain the device's counts
// per millivolt written to the last digit a double holds, so that readers
// get the very same gain) and the stored beats in "<name>.atr" (N for a
// normal beat, Q for a rejected one).
namespace TWfdbExport {

struct Files
{
    QByteArray header;
    QByteArray samples;
    QByteArray annotations;
};

// A valid record name (letters, digits and underscores, as every WFDB tool
// accepts) made of a name: other characters become underscores.
QString recordNameOf(const QString& name);

// The three files of the record; throws std::runtime_error for a record
// name that is not valid.
Files encode(const TExportRecord& record, const QString& recordName);

// The beats as annotations at a sampling rate, in time order.
std::vector<TWfdbAnnotation> beatAnnotations(const std::vector<TExportBeat>& beats, double rate);

} // namespace TWfdbExport
