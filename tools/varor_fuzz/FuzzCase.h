#pragma once

#include "FuzzMutator.h"
#include "FuzzRunner.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

class FuzzSeeds;

// One case: an input made from a seed by the mutator in a folder of its
// own, the command that takes it in (varor-analyze, or this tool's own
// storage commands on a copy of the seed data folder), and what the run
// must not do: crash, hang, blow up its memory, write outside its folder,
// or lose a study of the data folder.
class FuzzCase
{
public:
    enum class Kind {
        StudyFile, Index, Archive, Bomb, Wfdb, Edf, StudyAnalysis, SpecialFile,
        ExtremeHeader, PlainEdf, AppendedGarbage, PlantedLink, ReusedId, KindCount
    };

    struct Verdict
    {
        bool crashed = false;
        bool hung = false;
        bool memory = false;
        bool lost = false;      // a study gone, unreadable or replaced unasked
        bool accepted = false;  // an input that must be refused taken in, or garbage written out
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
    void copyRecord() const;
    QString prepareRecording(bool edf);
    QString prepareSpecialFile(bool& storeCommand);
    QString prepareExtremeHeader();
    QString prepareGarbage();
    QString preparePlantedLinks(bool& storeCommand);
    QString prepareReusedId();
    void copyStudyA(const QString& folder) const;
    QByteArray hostileArchive();
    QByteArray studyOfA(const std::function<void(QJsonObject&)>& change) const;
    QString outsidePath(const char* name) const;
    bool localStudiesChanged() const;
    bool studyLost(int id, int samples) const;

    int m_number;
    FuzzMutator m_mutator;
    const FuzzSeeds& m_seeds;
    QString m_folder;
    Kind m_kind;
    bool m_import = false;
    bool m_exports = false;  // a store command exporting study A
};
