#include "analysis/beats/TBeatMarkRefiner.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TDelineationTables.h"
#include "analysis/signal/TRounding.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cmath>

namespace {

int toPosition(double seconds, int rate)
{
    return boundedPosition(std::round(seconds * rate));
}

} // namespace

TBeatMarkRefiner::TBeatMarkRefiner()
    : m_kernel(TDelineationTables::markRefinement().taps())
{
}

void TBeatMarkRefiner::refine(TBeat& beat, const TSignal& signal)
{
    const int rate = signal.samplingRate();
    if (rate <= 0)
        return;
    const int start = toPosition(beat.windowStart(), rate);
    const int length = toPosition(beat.windowLength(), rate);
    const int leads = std::min(signal.channelCount(), int(TBeat::MaxLeads));
    for (int lead = 0; lead < leads; ++lead) {
        for (int kind = TBeat::PWave; kind <= TBeat::TWave; ++kind) {
            const TBeat::MarkKind mark = TBeat::MarkKind(kind);
            if (!beat.isMarkSet(lead, mark) || !std::isfinite(beat.mark(lead, mark)))
                continue;
            const int position = toPosition(beat.mark(lead, mark), rate) - start;
            const bool eitherExtreme = mark == TBeat::FirstQrsWave || mark == TBeat::LastQrsWave;
            const int refined = refinedPosition(signal, lead, start, length, position, eitherExtreme);
            beat.setMark(lead, mark, double(refined + start) / rate);
        }
    }
}

int TBeatMarkRefiner::refinedPosition(const TSignal& signal, int lead, int windowStart, int length, int position,
                                      bool eitherExtreme)
{
    // Smoothed sample i (window coordinates) is sum_k h[k] w[i + 15 - k]:
    // m_smoothed[j] holds i = first + j and needs w[first - 16 .. first + j + 15].
    const int first = position - SearchReach - 1;
    const int rawFirst = first - TableLength / 2;
    signal.readRange(lead, windowStart + rawFirst, RawCount, m_raw.data());
    for (int m = 0; m < RawCount; ++m) {
        const int at = rawFirst + m;
        if (at < 0 || at >= length)
            m_raw[std::size_t(m)] = 0.0;
    }
    m_kernel.run(m_raw.data(), SmoothedCount, m_smoothed.data());
    for (int f = position - SearchReach; f <= position + SearchReach; ++f) {
        if (f <= 0 || f >= length - 1)
            continue;
        const double before = m_smoothed[std::size_t(f - 1 - first)];
        const double at = m_smoothed[std::size_t(f - first)];
        const double after = m_smoothed[std::size_t(f + 1 - first)];
        if ((at > before && at > after) || (eitherExtreme && at < before && at < after))
            return f;
    }
    return position;
}
