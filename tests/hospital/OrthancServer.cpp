#include "OrthancServer.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

const char* const User = "varor";
const char* const Password = "not-a-secret";
const char* const WorklistPlugin = "/usr/share/orthanc/plugins/libModalityWorklists.so";

// Tries at starting on fresh ports before giving up.
constexpr int StartAttempts = 5;

// Ports free at the moment, all different (the system's choice for
// listeners on port 0, held until all are chosen).
QVector<int> freePorts(int count)
{
    std::vector<std::unique_ptr<QTcpServer>> probes;
    QVector<int> ports;
    for (int i = 0; i < count; ++i) {
        probes.push_back(std::make_unique<QTcpServer>());
        probes.back()->listen(QHostAddress::LocalHost, 0);
        ports.append(probes.back()->serverPort());
    }
    return ports;
}

// A socket bound to a free local port without listening, so that the port
// refuses connections and no other socket can bind it while it is open;
// -1 when none can be made.
int boundSocket(int& port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (socket >= 0)
            ::close(socket);
        return -1;
    }
    port = ntohs(address.sin_port);
    return socket;
}

QString orthancProgram()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("Orthanc"));
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(QStringLiteral("Orthanc"), {QStringLiteral("/usr/sbin")});
}

} // namespace

const QVector<TWorklistEntry>& OrthancServer::scheduled()
{
    static const QVector<TWorklistEntry> entries = [] {
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        TWorklistEntry first;
        first.lastName = QStringLiteral("Lopez");
        first.firstName = QStringLiteral("Maria");
        first.patientId = QStringLiteral("HC-1001");
        first.birthDate = QStringLiteral("19600214");
        first.sex = QStringLiteral("F");
        first.accessionNumber = QStringLiteral("ACC-2001");
        first.studyInstanceUid = QStringLiteral("1.2.826.0.1.3680043.10.1.1");
        first.procedure = QStringLiteral("Signal-averaged ECG");
        first.scheduledStart = today + QStringLiteral("090000");
        TWorklistEntry second = first;
        second.lastName = QStringLiteral("Perez");
        second.firstName = QStringLiteral("Juan");
        second.patientId = QStringLiteral("HC-1002");
        second.birthDate = QStringLiteral("19550730");
        second.sex = QStringLiteral("M");
        second.accessionNumber = QStringLiteral("ACC-2002");
        second.studyInstanceUid = QStringLiteral("1.2.826.0.1.3680043.10.1.2");
        second.scheduledStart = today + QStringLiteral("103000");
        return QVector<TWorklistEntry>{first, second};
    }();
    return entries;
}

OrthancServer::OrthancServer(int firstHttpPort) : m_firstHttpPort(firstHttpPort)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_closedSocket = boundSocket(m_closedPort);
}

OrthancServer::~OrthancServer()
{
    stop();
    if (m_closedSocket >= 0)
        ::close(m_closedSocket);
}

void OrthancServer::writeConfiguration()
{
    const QDir folder(m_folder.path());
    const QJsonObject configuration{
        {QStringLiteral("Name"), m_name},
        {QStringLiteral("StorageDirectory"), folder.filePath(QStringLiteral("storage"))},
        {QStringLiteral("IndexDirectory"), folder.filePath(QStringLiteral("storage"))},
        {QStringLiteral("HttpPort"), m_httpPort},
        {QStringLiteral("DicomPort"), m_dicomPort},
        {QStringLiteral("DicomAet"), QLatin1String(AeTitle)},
        {QStringLiteral("RemoteAccessAllowed"), false},
        {QStringLiteral("AuthenticationEnabled"), true},
        {QStringLiteral("RegisteredUsers"), QJsonObject{{QLatin1String(User), QLatin1String(Password)}}},
        {QStringLiteral("DicomCheckCalledAet"), true},
        {QStringLiteral("DicomCheckModalityHost"), false},
        {QStringLiteral("DicomModalities"),
         QJsonObject{{QStringLiteral("varor"),
                      QJsonArray{QLatin1String(OurAeTitle), QStringLiteral("127.0.0.1"), m_closedPort}}}},
        {QStringLiteral("DicomAlwaysAllowStore"), false},
        {QStringLiteral("Plugins"), QJsonArray{QLatin1String(WorklistPlugin)}},
        {QStringLiteral("Worklists"),
         QJsonObject{{QStringLiteral("Enable"), true},
                     {QStringLiteral("Database"), folder.filePath(QStringLiteral("worklists"))},
                     {QStringLiteral("FilterIssuerAet"), false}}},
    };
    QFile file(folder.filePath(QStringLiteral("orthanc.json")));
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the Orthanc configuration");
    file.write(QJsonDocument(configuration).toJson());
}

// Worklist entries are DICOM files of the worklist folder.
void OrthancServer::writeWorklist() const
{
    const QDir folder(QDir(m_folder.path()).filePath(QStringLiteral("worklists")));
    QDir().mkpath(folder.path());
    int index = 0;
    for (const TWorklistEntry& entry : scheduled()) {
        DcmFileFormat file;
        DcmDataset& data = *file.getDataset();
        const auto put = [](DcmItem& item, const DcmTagKey& tag, const QString& value) {
            item.putAndInsertString(tag, value.toUtf8().constData());
        };
        put(data, DCM_SpecificCharacterSet, QStringLiteral("ISO_IR 192"));
        put(data, DCM_PatientName, entry.lastName + QLatin1Char('^') + entry.firstName);
        put(data, DCM_PatientID, entry.patientId);
        put(data, DCM_PatientBirthDate, entry.birthDate);
        put(data, DCM_PatientSex, entry.sex);
        put(data, DCM_AccessionNumber, entry.accessionNumber);
        put(data, DCM_StudyInstanceUID, entry.studyInstanceUid);
        put(data, DCM_RequestedProcedureDescription, entry.procedure);
        put(data, DCM_RequestedProcedureID, entry.accessionNumber);
        DcmItem* step = nullptr;
        data.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step);
        put(*step, DCM_ScheduledStationAETitle, QLatin1String(OurAeTitle));
        put(*step, DCM_ScheduledProcedureStepStartDate, entry.scheduledStart.left(8));
        put(*step, DCM_ScheduledProcedureStepStartTime, entry.scheduledStart.mid(8));
        put(*step, DCM_Modality, QStringLiteral("ECG"));
        put(*step, DCM_ScheduledProcedureStepID, entry.accessionNumber);
        const QString path = folder.filePath(QStringLiteral("entry%1.wl").arg(++index));
        if (file.saveFile(path.toLocal8Bit().constData(), EXS_LittleEndianExplicit).bad())
            throw std::runtime_error("cannot write a worklist entry");
    }
}

QString OrthancServer::start()
{
    const QString program = orthancProgram();
    if (program.isEmpty())
        return QStringLiteral("Orthanc (Debian package orthanc) is not installed");
    if (!QFile::exists(QLatin1String(WorklistPlugin)))
        return QStringLiteral("Orthanc's worklist plugin %1 is missing").arg(QLatin1String(WorklistPlugin));
    if (!m_folder.isValid() || m_closedSocket < 0)
        return QStringLiteral("no temporary folder or local port for Orthanc");
    QString reason;
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        const QVector<int> ports = freePorts(2);
        m_httpPort = m_starts == 0 && m_firstHttpPort != 0 ? m_firstHttpPort : ports[0];
        m_dicomPort = ports[1];
        ++m_starts;
        m_name = QStringLiteral("VARORTEST-%1-%2").arg(QFileInfo(m_folder.path()).fileName()).arg(m_starts);
        reason = launch(program);
        if (reason.isEmpty())
            break;
    }
    return reason;
}

QString OrthancServer::launch(const QString& program)
{
    if (m_httpPort == 0 || m_dicomPort == 0)
        return QStringLiteral("no free port for Orthanc");
    writeConfiguration();
    writeWorklist();
    m_process.start(program, {QDir(m_folder.path()).filePath(QStringLiteral("orthanc.json"))});
    if (!m_process.waitForStarted(30000))
        return QStringLiteral("Orthanc does not start: %1").arg(m_process.errorString());
    // Ready once its REST API answers; a server that ends meanwhile (as
    // when a port was taken) says why.
    QDeadlineTimer deadline(60000);
    while (!answers()) {
        if (m_process.state() != QProcess::Running || deadline.hasExpired()) {
            const QString log = QString::fromLocal8Bit(m_process.readAll().right(2000));
            stop();
            return QStringLiteral("Orthanc does not run here: %1").arg(log);
        }
        m_process.waitForReadyRead(100);
    }
    return QString();
}

void OrthancServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(30000)) {
        m_process.kill();
        m_process.waitForFinished(30000);
    }
}

TDicomPeer OrthancServer::peer() const
{
    TDicomPeer peer;
    peer.localAeTitle = QLatin1String(OurAeTitle);
    peer.host = QStringLiteral("127.0.0.1");
    peer.port = m_dicomPort;
    peer.aeTitle = QLatin1String(AeTitle);
    return peer;
}

TDicomPeer OrthancServer::unreachablePeer() const
{
    TDicomPeer peer = this->peer();
    peer.port = m_closedPort;
    return peer;
}

QByteArray OrthancServer::get(const QString& path) const
{
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_httpPort).arg(path)));
    request.setRawHeader("Authorization",
                         "Basic " + QByteArray(User).append(':').append(Password).toBase64());
    QNetworkReply* reply = network.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        throw std::runtime_error(QStringLiteral("GET %1: %2").arg(path, reply->errorString()).toStdString());
    return reply->readAll();
}

bool OrthancServer::answers() const
{
    try {
        return QJsonDocument::fromJson(get(QStringLiteral("/system"))).object().value(QStringLiteral("Name")).toString()
               == m_name;
    } catch (const std::runtime_error&) {
        return false;
    }
}
