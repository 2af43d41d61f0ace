#pragma once

#include <QSharedMemory>
#include <QString>

// Keeps a second copy of the application from starting. The running copy
// holds a small shared-memory segment under a fixed key; a second copy fails
// to create it. On Linux a segment survives a copy that crashed, so before
// creating it the guard attaches to any leftover segment and detaches again:
// the last detach removes a segment that no live process is attached to,
// while a segment held by a running copy stays.
class TSingleInstanceGuard {
public:
    static constexpr int SegmentSize = 256;

    explicit TSingleInstanceGuard(const QString& key);
    ~TSingleInstanceGuard();

    TSingleInstanceGuard(const TSingleInstanceGuard&) = delete;
    TSingleInstanceGuard& operator=(const TSingleInstanceGuard&) = delete;

    // True when this process now holds the key.
    bool acquire();
    // Frees the key for the next start (also done on destruction).
    void release();

    bool isHeld() const;
    QString key() const;

private:
    void removeStaleSegment();

    QSharedMemory m_segment;
};
