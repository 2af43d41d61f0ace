#pragma once

// A real PACS for the tests: Orthanc as a separate process on free local
// ports, with its storage in a temporary folder, HTTP authentication on and
// its modality worklist plugin serving two scheduled procedures of today
// for our AE title. It is never mocked: where Orthanc cannot run, the tests
// that need it are skipped with the reason.
//
// Tests run in parallel processes, each with a server of its own: a port
// probed free may be taken by another before Orthanc binds it. Each start
// therefore probes fresh ports and, when Orthanc cannot bind them, tries
// again on others; the server is known by a name of its own, so that a
// REST answer from another test's server is never taken for its own. The
// port nothing listens on stays bound (without listening) for the server's
// life, so no other server can take it.

#include "hospital/TDicomPeer.h"
#include "hospital/TWorklistEntry.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

class OrthancServer
{
public:
    static constexpr const char* AeTitle = "PACS";
    static constexpr const char* OurAeTitle = "VARORTEST";

    // `firstHttpPort`: the HTTP port of the first start attempt (to try a
    // port another server holds); by default one probed free.
    explicit OrthancServer(int firstHttpPort = 0);
    ~OrthancServer();
    OrthancServer(const OrthancServer&) = delete;
    OrthancServer& operator=(const OrthancServer&) = delete;

    // Empty when the server runs; else why it cannot. Each start, also a
    // restart after stop(), may be on other ports: peers are asked for
    // afterwards.
    QString start();
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    TDicomPeer peer() const;
    // The same node at a port nothing listens on, also while it is stopped.
    TDicomPeer unreachablePeer() const;
    int httpPort() const { return m_httpPort; }

    // GET of the REST API with the test user's credentials; throws
    // std::runtime_error on an HTTP error.
    QByteArray get(const QString& path) const;

    // The two worklist entries it serves.
    static const QVector<TWorklistEntry>& scheduled();

private:
    // One start on the current ports: empty when it runs, else why not.
    QString launch(const QString& program);
    void writeConfiguration();
    void writeWorklist() const;
    // Whether the REST API answers as this server (by its name).
    bool answers() const;

    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_name;
    int m_starts = 0;
    int m_firstHttpPort = 0;
    int m_httpPort = 0;
    int m_dicomPort = 0;
    int m_closedSocket = -1;
    int m_closedPort = 0;
};
