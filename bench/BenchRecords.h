#pragma once

#include <QDir>
#include <QStringList>

// The record folder of a benchmark: the first argument, or the shared data
// folder `sharedName` beside the project.
inline QDir benchFolder(const QStringList& arguments, const char* sharedName)
{
    return QDir(arguments.size() > 1 ? arguments.at(1)
                                     : QStringLiteral(VAROR_SOURCE_DIR "/../shared/data/") + QLatin1String(sharedName));
}

// The WFDB records of a folder that have reference beats ("NNN.atr" beside
// "NNN.hea"), by name.
inline QStringList annotatedRecords(const QDir& folder)
{
    QStringList records;
    for (const QString& header : folder.entryList({QStringLiteral("*.hea")}, QDir::Files, QDir::Name)) {
        const QString name = header.chopped(4);
        if (folder.exists(name + QStringLiteral(".atr")))
            records << name;
    }
    return records;
}
