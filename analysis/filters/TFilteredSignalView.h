#pragma once

#include "analysis/filters/TBlockFilter.h"
#include "analysis/signal/TSignal.h"

#include <QtGlobal>

#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

// A signal computed block by block from another: block b of a channel is
// filter(previous, current, next block of the source), computed on first
// use and cached. The view copies the source's channel count, names, rate,
// resolution, range, block size and appended count, registers as the
// source's listener and follows its appended count (telling its own
// listeners in turn). Only complete source blocks are computed; samples
// beyond the last complete block read as 0.
//
// Cache: entries are found through a per-channel directory indexed by block
// number, and carry a use count (readBlock adds one, releaseBlock takes it
// back). At most MaxCachedBlocks blocks are kept: before a new block is
// added to a full cache, the oldest unused block is dropped (when every
// block is in use the cache grows past the limit until some are released).
// The directory starts with InitialDirectorySize entries per channel and
// grows as far as the source reaches, so sources longer than that are
// served in full.
class TFilteredSignalView final : public TSignal, private TSignalListener
{
public:
    static constexpr int MaxCachedBlocks = 1024;
    static constexpr int InitialDirectorySize = 4096;

    TFilteredSignalView(TSignal* source, std::unique_ptr<TBlockFilter> filter);
    ~TFilteredSignalView() override;

    int sample(int channel, int index) const override;
    void readRange(int channel, int start, int count, double* dst) const override;
    // The cached block (computed if needed); its use count goes up by one
    // until releaseBlock. nullptr for a block that is not complete.
    qint16* readBlock(int channel, int blockNumber) const override;
    void releaseBlock(qint16* block) const override;

    TSignal* source() const { return m_source; }
    const TBlockFilter& filter() const { return *m_filter; }
    int cachedBlockCount() const { return int(m_entries.size()); }
    int directorySize(int channel) const { return int(m_directory[std::size_t(channel)].size()); }
    // How many blocks have been computed since creation (evicted blocks
    // that are read again count again).
    qint64 computedBlockCount() const { return m_computed; }

private:
    struct Entry {
        int channel;
        int blockNumber;
        int uses;
        std::vector<qint16> samples;
    };
    using EntryList = std::list<Entry>; // oldest first

    void signalAppended(TSignal* signal) override;
    void followSource();
    void followCounts();
    EntryList::iterator compute(int channel, int blockNumber) const;
    void evictOldestUnused() const;

    TSignal* m_source;
    std::unique_ptr<TBlockFilter> m_filter;
    mutable EntryList m_entries;
    mutable std::vector<std::vector<EntryList::iterator>> m_directory; // per channel, by block number
    mutable std::vector<std::vector<bool>> m_present;
    mutable std::unordered_map<const qint16*, EntryList::iterator> m_byData;
    mutable qint64 m_computed = 0;
};
