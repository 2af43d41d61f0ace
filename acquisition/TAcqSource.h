#pragma once

#include <QString>

#include <memory>

class QThread;
class TSampleQueue;

// An acquisition source: a plain polymorphic object that owns a reader
// thread and the byte queue that thread fills with 16-bit little-endian
// frames, and answers questions about the signal format, the electrodes and
// the battery. The virtual operations are declared in one fixed order that
// every source shares. The driver's worker calls start, isHealthy,
// bytesAvailable, read, nextPacemakerOffset, performPendingAction, errorText
// and stop from its own thread; sourceFlag, isElectrodeOff and batteryLevel
// are answered to the GUI thread.
class TAcqSource
{
public:
    TAcqSource(const TAcqSource&) = delete;
    TAcqSource& operator=(const TAcqSource&) = delete;

    // Stops the reader thread if it still runs, deletes it, then the queue.
    virtual ~TAcqSource();
    // Starts the reader thread at time-critical priority.
    virtual void start();
    virtual bool isHealthy() const = 0;
    // A hook without effect in this system: false.
    virtual bool readerFlag() const;
    // Queued byte count (read without the queue's mutex).
    virtual int bytesAvailable() const;
    // Pops min(queued, length) bytes under the queue's mutex; returns the count.
    virtual int read(char* destination, int length);
    // The next pacemaker pulse offset, 0 when there is none.
    virtual int nextPacemakerOffset();
    // A hook without effect in this system.
    virtual void performPendingAction();
    // A hook without effect in this system: false.
    virtual bool sourceFlag() const;
    virtual bool isElectrodeOff(const QString& electrode) const = 0;
    // Asks the reader thread to stop and waits for it without a time limit.
    virtual void stop();
    virtual QString errorText() const = 0;
    virtual double batteryLevel() const = 0;
    virtual int channelCount() const = 0;
    virtual int sampleRate() const = 0;
    virtual int bytesPerSample() const = 0;
    virtual int resolutionBits() const = 0;
    virtual double minimumValue() const = 0;
    virtual double maximumValue() const = 0;

    // Bytes of one frame: bytes per sample times channel count.
    int frameSize() const { return bytesPerSample() * channelCount(); }

protected:
    // Creates the queue; the concrete kind adds its reader thread.
    TAcqSource();
    // Takes ownership of the reader thread (which shares the queue).
    void setReaderThread(std::unique_ptr<QThread> thread);
    TSampleQueue* queue() const { return m_queue.get(); }
    QThread* readerThread() const { return m_readerThread.get(); }

private:
    // Declared so that the thread is destroyed before the queue.
    std::unique_ptr<TSampleQueue> m_queue;
    std::unique_ptr<QThread> m_readerThread;
};
