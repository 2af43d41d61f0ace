#pragma once

#include "analysis/filters/TBlockFilter.h"
#include "analysis/filters/TFirKernel.h"
#include "analysis/filters/TFirTables.h"

// FIR block filter (table h, length L, delay D = L / 2):
//     out[j] = sum_{i=0..L-1} h[i] x[D + j - i],
// with x taken from the neighbour blocks (0 beyond them), truncated toward
// zero and saturated to 16 bits. A table with no taps passes the block
// through unchanged.
class TFirBlockFilter final : public TBlockFilter
{
public:
    explicit TFirBlockFilter(const TFirTable& table);

    void filter(const TBlockPosition& position, const qint16* previous, const qint16* current, const qint16* next,
                int n, qint16* out) const override;

    int length() const { return m_kernel.length(); }
    int delay() const { return m_delay; }

private:
    TFirKernel m_kernel;
    int m_delay;
};
