#include "acquisition/TQtAcqDriver.h"

#include "acquisition/TAcqListener.h"
#include "acquisition/TAcqSource.h"
#include "acquisition/TQtAcqDriverThread.h"
#include "analysis/signal/TSignal.h"

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
    // Listeners may be gone already: nothing is delivered any more.
    if (m_worker->isRunning())
        halt(false);
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
    QObject::disconnect(m_gapConnection);
    m_dataConnection = {};
    m_pacemakerConnection = {};
    m_errorConnection = {};
    m_gapConnection = {};
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
    m_gapConnection = connect(worker, &TQtAcqDriverThread::gap, this, &TQtAcqDriver::gapCallback,
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
    halt(m_notifying == 0);
}

void TQtAcqDriver::halt(bool deliverPosted)
{
    // The worker must never wait for a GUI slot while the GUI thread waits
    // for it: the blocking notifications go first.
    QObject::disconnect(m_pacemakerConnection);
    QObject::disconnect(m_errorConnection);
    m_worker->requestInterruption();
    m_worker->releaseWaits();
    m_worker->wait();
    // The worker has ended, so what it posted is all there is; the
    // removal leaves nothing of this run behind.
    if (deliverPosted) {
        m_halting = true;
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        m_halting = false;
    }
    disconnectWorker();
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
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

// Counts the notifications under way while it lives.
class TQtAcqDriver::NotificationScope
{
public:
    explicit NotificationScope(int& depth) : m_depth(depth) { ++m_depth; }
    ~NotificationScope() { --m_depth; }
    NotificationScope(const NotificationScope&) = delete;
    NotificationScope& operator=(const NotificationScope&) = delete;

private:
    int& m_depth;
};

void TQtAcqDriver::dataCallback(QVector<char> dataBlock)
{
    const NotificationScope scope(m_notifying);
    sink()->appendInterleaved(dataBlock.constData(), dataBlock.size());
    // A copy, so that a listener that adds a listener does not break the loop.
    const std::vector<TAcqListener*> told = listeners();
    for (TAcqListener* listener : told)
        listener->onAcqData(this);
}

void TQtAcqDriver::gapCallback(int lostFrames)
{
    const NotificationScope scope(m_notifying);
    const std::vector<TAcqListener*> told = listeners();
    for (TAcqListener* listener : told)
        listener->onAcqGap(this, lostFrames);
}

void TQtAcqDriver::pacemakerCallback(int sampleOffset)
{
    const TSlotAcknowledge acknowledge(m_worker.get());
    if (m_halting)
        return;
    const NotificationScope scope(m_notifying);
    const std::vector<TAcqListener*> told = listeners();
    for (TAcqListener* listener : told)
        listener->onAcqPacemaker(this, sampleOffset);
}

void TQtAcqDriver::errorCallback()
{
    const TSlotAcknowledge acknowledge(m_worker.get());
    if (m_halting)
        return;
    const NotificationScope scope(m_notifying);
    const std::string message = m_worker->errorText().toLocal8Bit().toStdString();
    const std::vector<TAcqListener*> told = listeners();
    for (TAcqListener* listener : told)
        listener->onAcqError(this, message);
}
