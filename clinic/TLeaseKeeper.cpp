#include "clinic/TLeaseKeeper.h"

#include "clinic/TServerDatabase.h"
#include "clinic/TServerLeases.h"

#include <chrono>

TLeaseKeeper::TLeaseKeeper(TServerAddress address, QString session, int intervalMs)
    : m_address(std::move(address)), m_session(std::move(session)), m_intervalMs(intervalMs),
      m_thread(&TLeaseKeeper::run, this)
{
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
    // Made here: a connection serves only the thread that made it.
    TServerDatabase database(m_address);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(m_intervalMs), [this] { return m_stopping; })) {
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
