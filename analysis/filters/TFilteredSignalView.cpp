#include "analysis/filters/TFilteredSignalView.h"

#include "analysis/signal/TSignalBlock.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

TFilteredSignalView::TFilteredSignalView(TSignal* source, std::unique_ptr<TBlockFilter> filter)
    : TSignal(source->channelCount(), source->samplingRate(), source->blockSize(), 16)
    , m_source(source)
    , m_filter(std::move(filter))
    , m_directory(std::size_t(source->channelCount()))
    , m_present(std::size_t(source->channelCount()))
{
    if (!m_filter)
        throw std::invalid_argument("A filtered view needs a filter");
    for (int channel = 0; channel < channelCount(); ++channel) {
        setChannelName(channel, source->channelName(channel));
        m_directory[std::size_t(channel)].resize(InitialDirectorySize);
        m_present[std::size_t(channel)].assign(InitialDirectorySize, false);
    }
    setResolutionBits(source->resolutionBits());
    setRange(source->rangeMinimum(), source->rangeMaximum());
    followCounts();
    m_source->addListener(this);
}

TFilteredSignalView::~TFilteredSignalView()
{
    m_source->removeListener(this);
}

void TFilteredSignalView::signalAppended(TSignal*)
{
    followSource();
}

void TFilteredSignalView::followSource()
{
    followCounts();
    notifyListeners();
}

void TFilteredSignalView::followCounts()
{
    // The source decides which blocks are final: a growing recording only
    // its complete ones, a closed recording its partial last block too.
    setAppendedCount(m_source->appendedCount());
    setCompleteBlockCount(m_source->completeBlockCount());
}

void TFilteredSignalView::evictOldestUnused() const
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->uses > 0)
            continue;
        m_present[std::size_t(it->channel)][std::size_t(it->blockNumber)] = false;
        m_byData.erase(it->samples.data());
        m_entries.erase(it);
        return;
    }
}

TFilteredSignalView::EntryList::iterator TFilteredSignalView::compute(int channel, int blockNumber) const
{
    const int n = blockSize();
    std::vector<qint16> samples(std::size_t(n), 0);
    {
        const TSignalBlock previous = blockNumber > 0 ? TSignalBlock(*m_source, channel, blockNumber - 1) : TSignalBlock();
        const TSignalBlock current(*m_source, channel, blockNumber);
        const TSignalBlock next(*m_source, channel, blockNumber + 1);
        const TBlockPosition position{channel, blockNumber, m_source->appendedCount()};
        m_filter->filter(position, previous.data(), current.data(), next.data(), n, samples.data());
    }
    ++m_computed;
    if (int(m_entries.size()) >= MaxCachedBlocks)
        evictOldestUnused();
    m_entries.push_back(Entry{channel, blockNumber, 0, std::move(samples)});
    const auto entry = std::prev(m_entries.end());
    std::vector<EntryList::iterator>& directory = m_directory[std::size_t(channel)];
    std::vector<bool>& present = m_present[std::size_t(channel)];
    if (blockNumber >= int(directory.size())) {
        // Grow the directory (doubling) so that any block number fits.
        std::size_t size = directory.size();
        while (size <= std::size_t(blockNumber))
            size *= 2;
        directory.resize(size);
        present.resize(size, false);
    }
    directory[std::size_t(blockNumber)] = entry;
    present[std::size_t(blockNumber)] = true;
    m_byData.emplace(entry->samples.data(), entry);
    return entry;
}

qint16* TFilteredSignalView::readBlock(int channel, int blockNumber) const
{
    if (channel < 0 || channel >= channelCount() || blockNumber < 0 || blockNumber >= completeBlockCount())
        return nullptr;
    const std::vector<bool>& present = m_present[std::size_t(channel)];
    EntryList::iterator entry = std::size_t(blockNumber) < present.size() && present[std::size_t(blockNumber)]
        ? m_directory[std::size_t(channel)][std::size_t(blockNumber)]
        : compute(channel, blockNumber);
    ++entry->uses;
    return entry->samples.data();
}

void TFilteredSignalView::releaseBlock(qint16* block) const
{
    const auto found = m_byData.find(block);
    if (found != m_byData.end() && found->second->uses > 0)
        --found->second->uses;
}

int TFilteredSignalView::sample(int channel, int index) const
{
    const int n = blockSize();
    if (index < 0 || index >= appendedCount() || channel < 0 || channel >= channelCount()
        || index / n >= completeBlockCount())
        return 0;
    qint16* block = readBlock(channel, index / n);
    const int value = block[index % n];
    releaseBlock(block);
    return value;
}

void TFilteredSignalView::readRange(int channel, int start, int count, double* dst) const
{
    if (count <= 0)
        return;
    const int n = blockSize();
    const qint64 computedEnd = std::min<qint64>(qint64(completeBlockCount()) * n, appendedCount());
    const bool hasChannel = channel >= 0 && channel < channelCount();
    qint64 index = start;
    const qint64 end = qint64(start) + count;
    while (index < end) {
        if (!hasChannel || index < 0 || index >= computedEnd) {
            // Zeros up to the next computed sample (or the end).
            const qint64 stop = !hasChannel || index >= computedEnd ? end : std::min<qint64>(end, 0);
            std::fill(dst + (index - start), dst + (stop - start), 0.0);
            index = stop;
            continue;
        }
        const int blockNumber = int(index / n);
        const int offset = int(index % n);
        const int take = int(std::min<qint64>(n - offset, end - index));
        qint16* block = readBlock(channel, blockNumber);
        double* out = dst + (index - start);
        for (int i = 0; i < take; ++i)
            out[i] = block[offset + i];
        releaseBlock(block);
        index += take;
    }
}
