#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// Runs one program in a case folder of its own, under limits: its address
// space, its processor time and a wall-clock time after which it is
// killed. Its home, data, settings and temporary folders all lie in the
// case folder, its standard output is dropped and its standard error kept
// in "stderr.txt" there.
class FuzzRunner
{
public:
    struct Limits
    {
        qint64 memoryBytes = 3LL << 30;
        int seconds = 60;
    };

    enum class Ending { Exited, Crashed, TimedOut };

    struct Outcome
    {
        Ending ending = Ending::Exited;
        int exitCode = 0;
        int signal = 0;
        qint64 maxResidentBytes = 0;
        double seconds = 0.0;
        QString errorText;  // its standard error
    };

    // Starts the program; false when it cannot be started.
    bool start(const QString& program, const QStringList& arguments, const QString& caseFolder, const Limits& limits);
    // Whether it has ended (killed when its time ran out); the outcome is
    // then final.
    bool poll();
    const Outcome& outcome() const { return m_outcome; }

private:
    pid_t m_pid = -1;
    QString m_caseFolder;
    Limits m_limits;
    qint64 m_startedMs = 0;
    Outcome m_outcome;
};
