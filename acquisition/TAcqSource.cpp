#include "acquisition/TAcqSource.h"

#include "acquisition/TSampleQueue.h"

#include <QThread>

TAcqSource::TAcqSource()
    : m_queue(std::make_unique<TSampleQueue>())
{
}

TAcqSource::~TAcqSource()
{
    if (m_readerThread && m_readerThread->isRunning()) {
        m_readerThread->requestInterruption();
        m_readerThread->wait();
    }
}

void TAcqSource::setReaderThread(std::unique_ptr<QThread> thread)
{
    m_readerThread = std::move(thread);
}

void TAcqSource::start()
{
    if (m_readerThread)
        m_readerThread->start(QThread::TimeCriticalPriority);
}

bool TAcqSource::readerFlag() const
{
    return false;
}

int TAcqSource::bytesAvailable() const
{
    return m_queue->size();
}

int TAcqSource::read(char* destination, int length)
{
    return m_queue->read(destination, length);
}

int TAcqSource::nextPacemakerOffset()
{
    return 0;
}

void TAcqSource::performPendingAction()
{
}

bool TAcqSource::sourceFlag() const
{
    return false;
}

void TAcqSource::stop()
{
    if (!m_readerThread)
        return;
    m_readerThread->requestInterruption();
    m_readerThread->wait();
}
