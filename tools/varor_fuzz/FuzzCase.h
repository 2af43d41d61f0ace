#pragma once

#include "FuzzMutator.h"
#include "FuzzRunner.h"

#include <QString>
#include <QStringList>

class FuzzSeeds;

// One case: an input made from a seed by the mutator in a folder of its
// own, the command that takes it in (varor-analyze, or this tool's own
// storage commands on a copy of the seed data folder), and what the run
// must not do: crash, hang, blow up its memory, write outside its folder,
// or lose a study of the data folder.
class FuzzCase
{
public:
    enum class Kind { StudyFile, Index, Archive, Bomb, Wfdb, Edf, StudyAnalysis, SpecialFile, KindCount };

    struct Verdict
    {
        bool crashed = false;
        bool hung = false;
        bool memory = false;
        bool lost = false;
        QString detail;  // what went wrong, for the report
    };

    // The kind is drawn from the case number's generator.
    FuzzCase(int number, unsigned seed, const FuzzSeeds& seeds, const QString& folder);

    Kind kind() const { return m_kind; }
    static QString kindName(Kind kind);
    const QString& folder() const { return m_folder; }

    // Writes the case's input; answers the program and its arguments.
    void prepare(const QString& analyzer, const QString& self, QString& program, QStringList& arguments);
    // Judges the outcome; studies of the data folder are checked by opening
    // it afresh, as the next start of the application would.
    Verdict judge(const FuzzRunner::Outcome& outcome, qint64 memoryBlowUpBytes) const;

private:
    bool usesDataFolder() const;
    void copySeedDataFolder() const;
    QString prepareStudyFile();
    QString prepareIndex();
    QString prepareArchive();
    QString prepareRecording(bool edf);
    QString prepareSpecialFile(bool& storeCommand);
    QByteArray hostileArchive();
    bool studyLost(int id, int samples) const;

    int m_number;
    FuzzMutator m_mutator;
    const FuzzSeeds& m_seeds;
    QString m_folder;
    Kind m_kind;
    bool m_import = false;
};
