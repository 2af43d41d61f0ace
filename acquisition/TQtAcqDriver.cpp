#include "acquisition/TQtAcqDriver.h"

#include "acquisition/TAcqListener.h"
#include "acquisition/TAcqSource.h"
#include "acquisition/TQtAcqDriverThread.h"
#include "analysis/TSignal.h"

#include <QCoreApplication>
#include <QEvent>

#include <string>

namespace {

// Acknowledges a blocking signal when the slot ends, also by an exception.
class TSlotAcknowledge
{
public:
    explicit TSlotAcknowledge(TQtAcqDriverThread* worker) : m_worker(worker) {}
    ~TSlotAcknowledge() { m_worker->acknowledgeSignal(); }
    TSlotAcknowledge(const TSlotAcknowledge&) = delete;
    TSlotAcknowledge& operator=(const TSlotAcknowledge&) = delete;

private:
    TQtAcqDriverThread* m_worker;
};

} // namespace

TQtAcqDriver::TQtAcqDriver(TAcqSource* source, TSignal* sink)
    : TAcqDriver(source, sink)
    , m_worker(std::make_unique<TQtAcqDriverThread>(source, mask()))
{
}

TQtAcqDriver::~TQtAcqDriver()
{
    if (m_worker->isRunning())
        stop();
    disconnectWorker();
    m_worker.reset();
    releaseMask();
    clearListeners();
}

void TQtAcqDriver::disconnectWorker()
{
    QObject::disconnect(m_dataConnection);
    QObject::disconnect(m_pacemakerConnection);
    QObject::disconnect(m_errorConnection);
    m_dataConnection = {};
    m_pacemakerConnection = {};
    m_errorConnection = {};
}

void TQtAcqDriver::start()
{
    if (m_worker->isRunning())
        return;
    disconnectWorker();
    m_worker->resetHandshake();
    TQtAcqDriverThread* worker = m_worker.get();
    m_dataConnection = connect(worker, &TQtAcqDriverThread::data, this, &TQtAcqDriver::dataCallback,
                               Qt::QueuedConnection);
    // Blocking: the worker waits for the slot's acknowledgement.
    m_pacemakerConnection = connect(worker, &TQtAcqDriverThread::pacemaker, this,
                                    &TQtAcqDriver::pacemakerCallback, Qt::QueuedConnection);
    m_errorConnection = connect(worker, &TQtAcqDriverThread::error, this, &TQtAcqDriver::errorCallback,
                                Qt::QueuedConnection);
    worker->start(QThread::TimeCriticalPriority);
}

void TQtAcqDriver::stop()
{
    // After the disconnection the worker posts nothing more to this driver,
    // so the removal below leaves nothing of this run behind.
    disconnectWorker();
    m_worker->requestInterruption();
    m_worker->releaseWaits();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    m_worker->wait();
}

void TQtAcqDriver::requestPendingAction()
{
    m_worker->requestPendingAction();
}

bool TQtAcqDriver::sourceFlag() const
{
    return source()->sourceFlag();
}

bool TQtAcqDriver::isElectrodeOff(const QString& electrode) const
{
    return source()->isElectrodeOff(electrode);
}

double TQtAcqDriver::batteryLevel() const
{
    return source()->batteryLevel();
}

void TQtAcqDriver::dataCallback(QVector<char> dataBlock)
{
    sink()->appendInterleaved(dataBlock.constData(), dataBlock.size());
    // A copy, so that a listener that adds a listener does not break the loop.
    const std::vector<TAcqListener*> told = listeners();
    for (TAcqListener* listener : told)
        listener->onAcqData(this);
}

void TQtAcqDriver::pacemakerCallback(int sampleOffset)
{
    const TSlotAcknowledge acknowledge(m_worker.get());
    const std::vector<TAcqListener*> told = listeners();
    for (TAcqListener* listener : told)
        listener->onAcqPacemaker(this, sampleOffset);
}

void TQtAcqDriver::errorCallback()
{
    const TSlotAcknowledge acknowledge(m_worker.get());
    const std::string message = m_worker->errorText().toLocal8Bit().toStdString();
    const std::vector<TAcqListener*> told = listeners();
    for (TAcqListener* listener : told)
        listener->onAcqError(this, message);
}
