#pragma once

// A throw-away PostgreSQL cluster for the clinic server tests: initdb and
// pg_ctl of PostgreSQL 15 make it in a temporary folder, which holds the
// data and the socket (no TCP); as root the programs run as the postgres
// user, since initdb refuses root. The superuser "varor" connects without
// a password over the socket. The cluster is stopped and its folder
// removed with the object.

#include "clinic/TServerAddress.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <pwd.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

class PostgresCluster
{
public:
    static constexpr const char* BinFolder = "/usr/lib/postgresql/15/bin";

    PostgresCluster() : m_folder(QStringLiteral("/tmp/varor-pg-XXXXXX")), m_port(freePort())
    {
        if (!m_folder.isValid())
            throw std::runtime_error("no temporary folder for the cluster");
        if (geteuid() == 0)
            handFolderToPostgres();
        run(QStringLiteral("initdb"), {QStringLiteral("-D"), dataFolder(), QStringLiteral("-U"), QStringLiteral("varor"),
                                       QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                                       QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")});
        start();
    }

    ~PostgresCluster()
    {
        if (m_running)
            pgCtl({QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("immediate")});
    }

    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    void start()
    {
        pgCtl({QStringLiteral("start"), QStringLiteral("-l"), m_folder.path() + QStringLiteral("/log"),
               QStringLiteral("-o"),
               QStringLiteral("-k %1 -p %2 -c listen_addresses='' -c fsync=off").arg(m_folder.path()).arg(m_port)});
        m_running = true;
    }

    // As a crash or a pulled cable would: no transaction is finished.
    void stop()
    {
        pgCtl({QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("immediate")});
        m_running = false;
    }

    TServerAddress address() const
    {
        TServerAddress address;
        address.host = m_folder.path();
        address.port = m_port;
        address.database = QStringLiteral("postgres");
        address.user = QStringLiteral("varor");
        return address;
    }

private:
    QString dataFolder() const { return m_folder.path() + QStringLiteral("/data"); }

    void pgCtl(QStringList arguments)
    {
        arguments << QStringLiteral("-D") << dataFolder() << QStringLiteral("-w") << QStringLiteral("-s");
        run(QStringLiteral("pg_ctl"), arguments);
    }

    void run(const QString& program, const QStringList& arguments)
    {
        const QString path = QStringLiteral("%1/%2").arg(QLatin1String(BinFolder), program);
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (geteuid() == 0)
            process.start(QStringLiteral("runuser"),
                          QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), path}
                              + arguments);
        else
            process.start(path, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0)
            throw std::runtime_error(QString(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll()))
                                         .toStdString());
    }

    void handFolderToPostgres()
    {
        const passwd* postgres = getpwnam("postgres");
        if (postgres == nullptr || chown(m_folder.path().toLocal8Bit().constData(), postgres->pw_uid, postgres->pw_gid) != 0)
            throw std::runtime_error("cannot hand the cluster folder to the postgres user");
    }

    // A port no one listens on now; it names the socket file.
    static int freePort()
    {
        const int probe = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        if (probe >= 0)
            close(probe);
        if (port == 0)
            throw std::runtime_error("no free local port");
        return port;
    }

    QTemporaryDir m_folder;
    int m_port;
    bool m_running = false;
};
