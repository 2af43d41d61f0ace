#pragma once

#include "storage/TLocalStudyStore.h"

#include <QTemporaryDir>

#include <memory>

// A study of the demo recording (14 leads at 1000 Hz, looped) recorded for
// the given seconds through the acquisition pipeline into a store in a
// temporary folder, saved and closed: what the review window and the
// report open.
class BenchStudy
{
public:
    explicit BenchStudy(double seconds);

    TLocalStudyStore& store() const { return *m_store; }
    int id() const { return m_id; }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<TLocalStudyStore> m_store;
    int m_id = -1;
};
