#include "acquisition/TSampleQueue.h"

#include <QMutexLocker>

#include <algorithm>

void TSampleQueue::push(const char* bytes, int length)
{
    if (length <= 0)
        return;
    const QMutexLocker locker(&m_mutex);
    m_bytes.insert(m_bytes.end(), bytes, bytes + length);
    m_size.store(static_cast<int>(m_bytes.size()), std::memory_order_release);
}

int TSampleQueue::read(char* destination, int length)
{
    if (length <= 0)
        return 0;
    const QMutexLocker locker(&m_mutex);
    const int count = std::min(length, static_cast<int>(m_bytes.size()));
    const auto end = m_bytes.begin() + count;
    std::copy(m_bytes.begin(), end, destination);
    m_bytes.erase(m_bytes.begin(), end);
    m_size.store(static_cast<int>(m_bytes.size()), std::memory_order_release);
    return count;
}

void TSampleQueue::clear()
{
    const QMutexLocker locker(&m_mutex);
    m_bytes.clear();
    m_size.store(0, std::memory_order_release);
}
