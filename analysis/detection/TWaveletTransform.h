#pragma once

#include "analysis/signal/TSignalPrefixView.h"
#include "analysis/detection/TWaveletScale.h"

#include <array>
#include <memory>

// The four wavelet scales of every lead of a signal, computed step by step:
// advanceTo(n) lets the scales see the first n samples of the signal and no
// more, so a long recording analysed in one go never computes further ahead
// than the scales' rings keep.
class TWaveletTransform
{
public:
    // Scales of `signal` from sample `origin` on, each keeping `capacity`
    // samples per lead.
    TWaveletTransform(const TSignal& signal, int origin, int capacity);

    // Computes the scales as far as the first `length` samples allow.
    void advanceTo(int length);
    // Computes the scales to `length`, past the end of a signal that has
    // ended: the signal's last sample is taken to continue, so the values
    // near its end are complete.
    void advancePastEnd(int length);
    // Indices below this are computed at every scale.
    int computedEnd() const;
    // The first index whose values at every scale come from samples of the
    // signal only: the origin, or past the longest table's reach before the
    // signal's first sample. Values before it are start-up transients.
    int firstValid() const { return m_firstValid; }
    // Values [start, start + count) of a scale (level 1..4) of a lead;
    // 0 before firstValid() and wherever nothing is computed or kept.
    void read(int level, int channel, int start, int count, double* dst) const;

private:
    TSignalPrefixView m_view;
    std::array<std::unique_ptr<TWaveletScale>, TWaveletScale::Levels> m_scales;
    int m_firstValid;
};
