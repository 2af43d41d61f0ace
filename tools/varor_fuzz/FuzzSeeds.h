#pragma once

#include <QByteArray>
#include <QString>

#include <map>

// The real inputs the cases mutate, made once per run in its seeds folder
// from the PTB record shipped in data/ptb (its first 8 s): that WFDB
// record, a data folder with two studies recorded from it through the
// acquisition pipeline (A, which cases damage, and B, which must survive
// every case), A's study archive, its EDF+ export and an archive of A
// whose ECG member inflates to far more than its compressed size.
class FuzzSeeds
{
public:
    static constexpr int SeedSeconds = 8;
    static constexpr const char* FolderName = "PulsorixVAROR";

    // Makes the seeds in `folder`; throws std::runtime_error when the PTB
    // record cannot be read or a seed cannot be made.
    FuzzSeeds(const QString& folder, const QString& ptbHeader);

    const QString& folder() const { return m_folder; }
    // The base location whose FolderName subfolder is the seed data folder.
    QString home() const { return m_folder + QStringLiteral("/home"); }
    QString dataFolder() const { return home() + QLatin1Char('/') + QLatin1String(FolderName); }
    QString recordHeader() const { return m_folder + QStringLiteral("/rec.hea"); }
    QString archive() const { return m_folder + QStringLiteral("/a.pxz"); }
    QString bombArchive() const { return m_folder + QStringLiteral("/bomb.pxz"); }
    QString edf() const { return m_folder + QStringLiteral("/rec.edf"); }

    int idA() const { return m_idA; }
    int idB() const { return m_idB; }
    QString baseA() const { return m_baseA; }
    QString baseB() const { return m_baseB; }
    int samplesB() const { return m_samplesB; }

    // Path (relative to the seeds folder) -> content, of every seed file:
    // a run compares them at its end, so that a case that wrote into its
    // inputs' origin is found.
    std::map<QString, QByteArray> snapshot() const;

private:
    void makeRecord(const QString& ptbHeader);
    void makeStudies();
    void makeBomb() const;

    QString m_folder;
    int m_idA = 0;
    int m_idB = 0;
    QString m_baseA;
    QString m_baseB;
    int m_samplesB = 0;
};
