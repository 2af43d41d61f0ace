#include "hospital/TPacsSender.h"

#include "hospital/TDicomPeer.h"

#include <QCoreApplication>
#include <QMap>
#include <QtConcurrent>

#include <algorithm>

TPacsSender::TPacsSender(const QString& dataFolder, QObject* parent)
    : QObject(parent), m_outbox(TPacsOutbox::folderIn(dataFolder))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TPacsSender::sendDueNow);
    connect(&m_pass, &QFutureWatcher<int>::finished, this, &TPacsSender::onPassFinished);
    // Whatever a previous run left queued goes as soon as the event loop runs.
    m_timer.start(0);
}

// A pass still running holds the outbox: the application waits for it.
TPacsSender::~TPacsSender()
{
    m_pass.waitForFinished();
}

TPacsSender& TPacsSender::of(const QString& dataFolder)
{
    static QMap<QString, TPacsSender*> senders;
    TPacsSender*& sender = senders[dataFolder];
    if (!sender)
        sender = new TPacsSender(dataFolder, QCoreApplication::instance());
    return *sender;
}

QString TPacsSender::stateText(int studyId) const
{
    return TPacsOutbox::stateText(m_outbox.status(studyId));
}

void TPacsSender::send(int studyId, const std::vector<TDicomEcgExport::Object>& objects)
{
    m_outbox.enqueue(studyId, objects, QDateTime::currentDateTime());
    sendDueNow();
}

void TPacsSender::sendDueNow()
{
    if (m_pass.isRunning()) {
        m_again = true;
        return;
    }
    m_again = false;
    // Settings are read here, in the GUI thread, as the dialog writes them.
    const TDicomPeer peer = TDicomPeer::fromSettings();
    TPacsOutbox* outbox = &m_outbox;
    m_pass.setFuture(QtConcurrent::run([outbox, peer] { return outbox->sendDue(peer, QDateTime::currentDateTime()); }));
}

void TPacsSender::onPassFinished()
{
    emit passFinished(m_pass.result());
    if (m_again)
        sendDueNow();
    else
        scheduleNext();
}

void TPacsSender::scheduleNext()
{
    const QDateTime next = m_outbox.nextAttempt();
    if (!next.isValid())
        return;
    const qint64 wait = std::max<qint64>(0, QDateTime::currentDateTime().msecsTo(next));
    m_timer.start(int(std::min<qint64>(wait, 3600 * 1000)));
}
