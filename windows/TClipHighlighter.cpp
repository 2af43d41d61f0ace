#include "windows/TClipHighlighter.h"

#include "pipeline/TAnalysisPipeline.h"
#include "analysis/signal/TSignal.h"

#include <algorithm>
#include <cstdlib>

TClipHighlighter::TClipHighlighter(const TAnalysisPipeline& pipeline, int resolutionBits)
    : m_pipeline(pipeline)
    , m_limit((1 << (resolutionBits - 1)) - 2)
{
}

bool TClipHighlighter::nextRun(int channel, int first, int last, int& runFirst, int& runLast) const
{
    const TSignal* input = m_pipeline.displayInput();
    if (!input)
        return false;
    // Samples not appended yet cannot be clipped.
    last = std::min(last, input->appendedCount() - 1);
    const auto clipped = [&](int index) { return std::abs(input->sample(channel, index)) > m_limit; };
    int index = std::max(first, 0);
    while (index <= last && !clipped(index))
        ++index;
    if (index > last)
        return false;
    runFirst = index;
    while (index < last && clipped(index + 1))
        ++index;
    runLast = index;
    return true;
}
