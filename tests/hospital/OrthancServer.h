#pragma once

// A real PACS for the tests: Orthanc as a separate process on free local
// ports, with its storage in a temporary folder, HTTP authentication on and
// its modality worklist plugin serving two scheduled procedures of today
// for our AE title. It is never mocked: where Orthanc cannot run, the tests
// that need it are skipped with the reason.

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

    OrthancServer();
    ~OrthancServer();

    // Empty when the server runs; else why it cannot.
    QString start();
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    TDicomPeer peer() const;
    // The same node at a port nothing listens on.
    TDicomPeer unreachablePeer() const;

    // GET of the REST API with the test user's credentials; throws
    // std::runtime_error on an HTTP error.
    QByteArray get(const QString& path) const;

    // The two worklist entries it serves.
    static const QVector<TWorklistEntry>& scheduled();

private:
    void writeConfiguration();
    void writeWorklist() const;
    bool answers() const;

    QTemporaryDir m_folder;
    QProcess m_process;
    int m_httpPort = 0;
    int m_dicomPort = 0;
    int m_closedPort = 0;
};
