#include "analysis/signal/TSilentLead.h"

#include "analysis/signal/TSignal.h"
#include "analysis/signal/TSignalBlock.h"

#include <algorithm>

bool isSilentLead(const TSignal& signal, int channel)
{
    const int n = signal.blockSize();
    for (int block = 0; block < signal.completeBlockCount(); ++block) {
        const TSignalBlock data(signal, channel, block);
        if (!data.isNull() && std::any_of(data.data(), data.data() + n, [](qint16 v) { return v != 0; }))
            return false;
    }
    for (int index = signal.completeBlockCount() * n; index < signal.appendedCount(); ++index) {
        if (signal.sample(channel, index) != 0)
            return false;
    }
    return true;
}
