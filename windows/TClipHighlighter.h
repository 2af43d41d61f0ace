#pragma once

#include "display/TSampleRunSource.h"

class TAnalysisPipeline;

// The highlighter of the live monitor display: the runs of samples that
// the amplifier clipped. It looks at the pipeline's 500 Hz display input
// (decimated from the raw signal, before the display filters, with the same
// sample indices as the displayed signal), so that a filter cannot hide a
// clipped sample or invent one. A sample is clipped when it lies outside
// +/-(2^(resolution bits - 1) - 2), i.e. outside +/-32766 for 16 bits.
class TClipHighlighter final : public TSampleRunSource
{
public:
    // The pipeline is not owned; its display input is looked up at every
    // call, because reconfiguring the display filters replaces it.
    TClipHighlighter(const TAnalysisPipeline& pipeline, int resolutionBits);

    bool nextRun(int channel, int first, int last, int& runFirst, int& runLast) const override;

    int limit() const { return m_limit; }

private:
    const TAnalysisPipeline& m_pipeline;
    int m_limit;
};
