#pragma once

#include "acquisition/TAcqDriver.h"

#include <QMetaObject>
#include <QVector>

#include <memory>

class TQtAcqDriverThread;

// The concrete acquisition driver. Owns the worker thread; in the
// GUI thread it appends every delivered block to the sink and tells the
// listeners, one block at a time, in emission order.
class TQtAcqDriver : public TAcqDriver
{
    Q_OBJECT

public:
    // Creates the mask (sink channel count bytes, all clear) and the worker.
    TQtAcqDriver(TAcqSource* source, TSignal* sink);
    // Deletes the worker (stopping it first should the caller have failed
    // to), releases the mask and empties the listener list. The source and
    // the sink survive.
    ~TQtAcqDriver() override;

    // Connects the worker's signals (data and gap queued, so a gap reaches
    // the listeners between the blocks it lies between; pacemaker and error
    // blocking, see TQtAcqDriverThread) and starts it at time-critical
    // priority. Has no effect while running.
    void start() override;
    // Disconnects the blocking notifications first, then interrupts the
    // worker, ends any wait of the worker for a GUI slot and waits for it
    // without a time limit. The worker's last blocks (it takes what the
    // source had queued at the stop) and every block posted before are
    // then delivered to the sink and the listeners, so nothing acquired is
    // lost; pending pacemaker and error notifications are not. Called
    // from inside a notification, where delivering would nest, the blocks
    // are dropped. After it returns no listener is told anything until
    // the next start. Safe to call when not running.
    void stop() override;
    void requestPendingAction() override;
    bool sourceFlag() const override;
    bool isElectrodeOff(const QString& electrode) const override;
    double batteryLevel() const override;

    TQtAcqDriverThread* worker() const { return m_worker.get(); }

public slots:
    void dataCallback(QVector<char> dataBlock);
    void pacemakerCallback(int sampleOffset);
    void errorCallback();
    void gapCallback(int lostFrames);

private:
    class NotificationScope;

    void disconnectWorker();
    // Ends the worker; the blocks it posted reach the listeners or are
    // dropped.
    void halt(bool deliverPosted);

    std::unique_ptr<TQtAcqDriverThread> m_worker;
    QMetaObject::Connection m_dataConnection;
    QMetaObject::Connection m_pacemakerConnection;
    QMetaObject::Connection m_errorConnection;
    QMetaObject::Connection m_gapConnection;
    // Depth of the notifications under way.
    int m_notifying = 0;
    // Set while a stop delivers the last blocks.
    bool m_halting = false;
};
