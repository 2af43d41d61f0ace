#pragma once

#include "formats/TDicomEcgExport.h"
#include "hospital/TPacsOutbox.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

// Sends the data folder's outbox in the background, so that no window
// waits for the archive: each pass sends the due studies on the thread
// pool, one pass at a time; the next pass comes when the earliest retry
// falls due (after a restart too: the outbox is on disk). The windows hear
// of every finished pass and read the states from the outbox.
class TPacsSender : public QObject
{
    Q_OBJECT

public:
    explicit TPacsSender(const QString& dataFolder, QObject* parent = nullptr);
    ~TPacsSender() override;

    // The sender of the data folder, made on first use; it lives as long
    // as the application.
    static TPacsSender& of(const QString& dataFolder);

    const TPacsOutbox& outbox() const { return m_outbox; }
    // Where the study's sending stands, in the operator's words
    // (TPacsOutbox::stateText); it may change with every finished pass.
    QString stateText(int studyId) const;
    // Queues the study's objects (TPacsOutbox::enqueue) and starts a pass.
    // Throws what queuing throws.
    void send(int studyId, const std::vector<TDicomEcgExport::Object>& objects);
    // Starts a pass with the configured node, unless one is running (then
    // another follows it).
    void sendDueNow();

signals:
    void passFinished(int sent);

private:
    void onPassFinished();
    void scheduleNext();

    TPacsOutbox m_outbox;
    QTimer m_timer;
    QFutureWatcher<int> m_pass;
    bool m_again = false;
};
