#pragma once

#include "analysis/filters/TFirKernel.h"

#include <array>

class TBeat;
class TSignal;

// Moves the per-lead wave marks of a detected beat onto local extrema of
// the lightly smoothed raw signal. The lead's samples over the beat
// window are smoothed by the 32-tap refinement table (applied centred);
// within 6 samples after or before each set wave mark, the first strict
// local maximum (P, main QRS and T waves) or strict local maximum or
// minimum (first and last QRS waves) becomes the mark; without one the
// mark keeps its sample. Only the few smoothed samples around each mark
// are computed, in fixed buffers, so refining allocates nothing.
class TBeatMarkRefiner
{
public:
    static constexpr int SearchReach = 6;

    TBeatMarkRefiner();

    void refine(TBeat& beat, const TSignal& signal);

private:
    // Samples of the window around the search: the smoothed samples
    // position - Reach - 1 .. position + Reach + 1 and the table's reach.
    static constexpr int SmoothedCount = 2 * SearchReach + 3;
    static constexpr int TableLength = 32;
    static constexpr int RawCount = SmoothedCount + TableLength - 1;

    // The refined position (relative to the window start) of a mark at
    // `position` in the lead's window [windowStart, windowStart + length).
    int refinedPosition(const TSignal& signal, int lead, int windowStart, int length, int position,
                        bool eitherExtreme);

    TFirKernel m_kernel;
    std::array<double, RawCount> m_raw{};
    std::array<double, SmoothedCount> m_smoothed{};
};
