#pragma once

#include <QString>

class TSignal;

// One channel of a signal: its position, its name and the signal that owns
// it. Besides naming, a channel computes the per-column minimum/maximum
// envelope the sweep displays draw.
class TSignalChannel
{
public:
    TSignalChannel(TSignal* owner, int index);

    TSignal* owner() const { return m_owner; }
    int index() const { return m_index; }
    const QString& name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }

    // Splits the run of `count` samples starting at `first` into `columns`
    // columns and writes each column's minimum and maximum to minima[k] and
    // maxima[k]. Returns the last value read; a run that is empty or shorter
    // than the column count writes nothing and returns `count`.
    //
    // Column k covers the nominal samples [s_k, e_k): every column takes
    // count / columns samples, plus one more whenever the running error
    // (increased by count % columns before each column) reaches `columns`,
    // which then drops by `columns`. Reading starts at s_k, or at s_k - 1 for every
    // column after the first, and takes every
    // ((count / columns - 1) / 16 + 1)-th sample below e_k; the stride uses
    // the base column width, so it is the same for every column. With
    // `wrap` set, a column whose end e_k lies beyond the appended count
    // (e_k > appended) is read `count` samples earlier as a whole, both of
    // its ends moving back, which shows the previous sweep ahead of the
    // write position. A
    // column's minimum and maximum start from the last value read for the
    // previous column; the first column starts from its own first value.
    int envelope(int first, int count, int columns, bool wrap, int* minima, int* maxima) const;

private:
    // Widens [low, high] by every stride-th sample of [begin, end); returns
    // the last sample read.
    int scanColumn(int begin, int end, int stride, int& low, int& high) const;

    TSignal* m_owner;
    int m_index;
    QString m_name;
};
