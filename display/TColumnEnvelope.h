#pragma once

#include <vector>

class QPainter;
class QPen;
class TSampleRunSource;
struct TTraceLane;

// The per-pixel-column minimum and maximum of a run of one lead's samples
// (as TSignalChannel::envelope computes them), with the columns that hold
// highlighted samples.
class TColumnEnvelope
{
public:
    // `columns` zeroed, unmarked columns.
    void reset(int columns);
    int columns() const { return int(m_minima.size()); }
    int* minima() { return m_minima.data(); }
    int* maxima() { return m_maxima.data(); }

    // Marks the columns that show the samples of every run the source
    // reports for `channel` in [first, last]. A column shows the samples
    // whose position within the run of `count` samples drawn from sample
    // `origin` maps to it (position * columns / count).
    void markRuns(const TSampleRunSource& source, int channel, int first, int last,
                  int origin, int count);
    bool isMarked(int column) const { return m_marked[std::size_t(column)]; }

    // The median of the column mid-levels: a baseline that the few columns
    // of a QRS complex do not move.
    int medianLevel() const;

    // One vertical line per column from minimum to maximum, at lane.x0 +
    // column, for the columns below `limit` outside [gapBegin, gapEnd):
    // `pen` for plain columns, `markedPen` for marked ones.
    void draw(QPainter& painter, const TTraceLane& lane, const QPen& pen, const QPen& markedPen,
              int limit, int gapBegin = 0, int gapEnd = 0) const;

private:
    std::vector<int> m_minima;
    std::vector<int> m_maxima;
    std::vector<bool> m_marked;
};
