#include "app/TSingleInstanceGuard.h"

TSingleInstanceGuard::TSingleInstanceGuard(const QString& key)
    : m_segment(key)
{
}

TSingleInstanceGuard::~TSingleInstanceGuard()
{
    release();
}

bool TSingleInstanceGuard::acquire()
{
    if (isHeld())
        return true;
    removeStaleSegment();
    return m_segment.create(SegmentSize, QSharedMemory::ReadWrite);
}

void TSingleInstanceGuard::release()
{
    if (m_segment.isAttached())
        m_segment.detach();
}

bool TSingleInstanceGuard::isHeld() const
{
    return m_segment.isAttached();
}

QString TSingleInstanceGuard::key() const
{
    return m_segment.key();
}

void TSingleInstanceGuard::removeStaleSegment()
{
    // A separate handle, so that a failed attach leaves m_segment untouched.
    QSharedMemory leftover(m_segment.key());
    if (leftover.attach(QSharedMemory::ReadOnly))
        leftover.detach();
}
