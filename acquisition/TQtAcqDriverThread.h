#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QVector>
#include <QWaitCondition>

#include <atomic>
#include <vector>

class TAcqSource;
class TChannelMask;

// The driver's worker thread: starts the source, takes whole
// frames from its queue in blocks of more than sample rate / 10 and at most
// 5 x sample rate frames, zeroes masked channels and emits each block. When
// interrupted it emits the whole frames still queued, however few, so the
// last samples before a stop are not lost; at the end it reports an
// unhealthy source or a short read once through `error`, and stops the
// source. When the source fails while acquiring, the frames it had queued
// are emitted first, and before the first block after its restart `gap`
// tells that the stream was interrupted there and about how many frames
// were lost, so that a recording is never silently joined across the hole.
//
// `pacemaker` and `error` are blocking: after emitting one the worker waits
// until the GUI thread has run the slot (the slot calls acknowledgeSignal).
// The wait is a handshake of its own rather than a Qt blocking-queued
// connection so that the driver can always end it (releaseWaits): stopping
// the driver then never deadlocks, neither while such a signal is still
// queued nor when a listener stops the driver from inside the slot.
class TQtAcqDriverThread : public QThread
{
    Q_OBJECT

public:
    // Registers QVector<char> with the meta-type system under that name.
    TQtAcqDriverThread(TAcqSource* source, TChannelMask* mask);
    ~TQtAcqDriverThread() override;

    // The source's error text stored when the worker reported an error.
    QString errorText() const;
    int lastPacemakerOffset() const { return m_lastPacemakerOffset.load(); }

    // Raises the request flag; the worker calls the source's
    // performPendingAction with the next block.
    void requestPendingAction() { m_requestFlag.store(true); }

    // Called in the GUI thread once the slot of a blocking signal has run.
    void acknowledgeSignal();
    // Ends any wait for a slot, now and until the next resetHandshake: the
    // worker no longer waits for the GUI thread.
    void releaseWaits();
    // Prepares the handshake for a new run (call while the worker is idle).
    void resetHandshake();

    static void registerMetaTypes();

signals:
    void data(QVector<char> dataBlock);
    void pacemaker(int sampleOffset);
    void error();
    void gap(int lostFrames);

protected:
    void run() override;

private:
    // Reads `frames` whole frames from the source into `buffer` and emits
    // them with the pacemaker pulses the source reports; false on a short
    // read.
    bool deliverBlock(int frames, std::vector<char>& buffer);
    // Emits every whole frame queued, however few; false on a short read.
    bool deliverQueued(std::vector<char>& buffer);
    // Frames queued in the source.
    int queuedFrames() const;
    // Marks a blocking signal as pending before it is emitted.
    void beginBlockingSignal();
    // Waits until the slot acknowledged it or the waits were released.
    void waitForSlot();

    TAcqSource* m_source;
    TChannelMask* m_mask;
    QString m_errorText;
    std::atomic<int> m_lastPacemakerOffset{0};
    std::atomic<bool> m_requestFlag{false};

    mutable QMutex m_handshakeMutex;
    QWaitCondition m_handshakeDone;
    bool m_slotPending = false;
    bool m_released = false;
};
