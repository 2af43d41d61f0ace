#pragma once

#include <QMutex>

#include <atomic>
#include <deque>

// The byte queue between a source's reader thread (pushes at the back) and
// the driver's worker (pops from the front). Unbounded; every push and every
// read holds the one mutex, while the count of queued bytes is read without
// it (an atomic kept in step under the mutex).
class TSampleQueue
{
public:
    TSampleQueue() = default;
    TSampleQueue(const TSampleQueue&) = delete;
    TSampleQueue& operator=(const TSampleQueue&) = delete;

    // Appends `length` bytes in order, as one step under the mutex.
    void push(const char* bytes, int length);
    // Pops min(queued, length) bytes into `destination`; returns that count.
    int read(char* destination, int length);
    // Queued byte count, read without the mutex.
    int size() const { return m_size.load(std::memory_order_acquire); }
    // Drops every queued byte.
    void clear();

private:
    QMutex m_mutex;
    std::deque<char> m_bytes;
    std::atomic<int> m_size{0};
};
