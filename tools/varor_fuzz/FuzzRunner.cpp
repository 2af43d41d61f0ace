#include "FuzzRunner.h"

#include <QDateTime>
#include <QFile>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

void limit(int resource, rlim_t value)
{
    const rlimit bound{value, value};
    setrlimit(resource, &bound);
}

} // namespace

bool FuzzRunner::start(const QString& program, const QStringList& arguments, const QString& caseFolder,
                       const Limits& limits)
{
    m_caseFolder = caseFolder;
    m_limits = limits;
    m_outcome = Outcome();
    // Everything the child needs is prepared before the fork.
    std::vector<QByteArray> argumentBytes{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argumentBytes.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray folder = QFile::encodeName(caseFolder);
    const QByteArray errors = folder + "/stderr.txt";
    const QByteArray home = folder + "/home";
    const QByteArray config = folder + "/config";
    const QByteArray temporary = folder + "/tmp";

    m_startedMs = QDateTime::currentMSecsSinceEpoch();
    m_pid = fork();
    if (m_pid < 0)
        return false;
    if (m_pid == 0) {
        setpgid(0, 0);
        limit(RLIMIT_AS, rlim_t(limits.memoryBytes));
        limit(RLIMIT_CPU, rlim_t(limits.seconds));
        limit(RLIMIT_CORE, 0);
        if (chdir(folder.constData()) != 0)
            _exit(120);
        const int devNull = open("/dev/null", O_RDWR);
        const int errorFile = open(errors.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(errorFile, 2);
        setenv("HOME", home.constData(), 1);
        setenv("XDG_DATA_HOME", home.constData(), 1);
        setenv("XDG_CONFIG_HOME", config.constData(), 1);
        setenv("TMPDIR", temporary.constData(), 1);
        setenv("XDG_RUNTIME_DIR", temporary.constData(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execv(argv[0], argv.data());
        _exit(121);
    }
    return true;
}

bool FuzzRunner::poll()
{
    int status = 0;
    rusage usage{};
    const pid_t done = wait4(m_pid, &status, WNOHANG, &usage);
    const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - m_startedMs;
    if (done == 0) {
        if (elapsed <= qint64(m_limits.seconds) * 1000)
            return false;
        // Out of time: the whole process group goes.
        kill(-m_pid, SIGKILL);
        wait4(m_pid, &status, 0, &usage);
        m_outcome.ending = Ending::TimedOut;
    } else if (WIFSIGNALED(status)) {
        m_outcome.signal = WTERMSIG(status);
        m_outcome.ending = m_outcome.signal == SIGXCPU || m_outcome.signal == SIGKILL ? Ending::TimedOut : Ending::Crashed;
    } else {
        m_outcome.exitCode = WEXITSTATUS(status);
    }
    kill(-m_pid, SIGKILL);  // anything the program left running
    m_outcome.maxResidentBytes = qint64(usage.ru_maxrss) * 1024;
    m_outcome.seconds = elapsed / 1000.0;
    QFile errors(m_caseFolder + QStringLiteral("/stderr.txt"));
    if (errors.open(QIODevice::ReadOnly))
        m_outcome.errorText = QString::fromUtf8(errors.read(4096));
    return true;
}
