#pragma once

// Runs of samples a display draws in its highlight colour: the clipped
// samples of the live signal, the marked intervals of a recording.
class TSampleRunSource
{
public:
    virtual ~TSampleRunSource() = default;

    // The first run of highlighted samples of the channel that overlaps
    // [first, last], clipped to that range: true with its first and last
    // sample in runFirst and runLast; false when the range holds none.
    virtual bool nextRun(int channel, int first, int last, int& runFirst, int& runLast) const = 0;

    // Calls visit(runFirst, runLast) for every run in [first, last], in
    // order. A source that answers a run outside the range, or one that
    // does not move forward, ends the walk.
    template <typename Visit>
    void forEachRun(int channel, int first, int last, Visit visit) const
    {
        int runFirst = 0, runLast = 0;
        while (first <= last && nextRun(channel, first, last, runFirst, runLast)) {
            if (runFirst < first || runLast < runFirst || runLast > last)
                return;
            visit(runFirst, runLast);
            first = runLast + 1;
        }
    }
};
