#include "clinic/TLeaseKeeper.h"

#include "clinic/TServerDatabase.h"
#include "clinic/TServerLeases.h"

#include <chrono>
#include <limits>
#include <memory>

TLeaseKeeper::TLeaseKeeper(TServerAddress address, QString session, int intervalMs)
    : m_address(std::move(address)), m_session(std::move(session)), m_intervalMs(intervalMs),
      m_lastBeatMs(std::numeric_limits<qint64>::min() / 2), m_thread(&TLeaseKeeper::run, this)
{
}

qint64 TLeaseKeeper::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TLeaseKeeper::beat()
{
    m_lastBeatMs = nowMs();
}

TLeaseKeeper::~TLeaseKeeper()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TLeaseKeeper::run()
{
    // Without the driver (which the store has refused already) nothing is
    // renewed.
    const std::unique_ptr<TServerDatabase> made = TServerDatabase::forThisThread(m_address);
    if (!made)
        return;
    TServerDatabase& database = *made;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(m_intervalMs), [this] { return m_stopping; })) {
        if (nowMs() - m_lastBeatMs > qint64(MissedBeats) * m_intervalMs)
            continue;
        lock.unlock();
        try {
            if (!database.isConnected())
                database.connect();
            TServerLeases::renew(database, m_session);
        } catch (const std::exception&) {
            // Away: the next round connects again; meanwhile the leases
            // may lapse, and a save takes its lease anew or is refused.
        }
        lock.lock();
    }
}
