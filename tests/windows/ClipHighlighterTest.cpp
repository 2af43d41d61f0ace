// The clipped-sample highlighter of the monitor display on a pipeline fed
// with a recording whose lead II holds clipped and unclipped extremes.
#include "MonitorTestSupport.h"
#include "tests/pipeline/PipelineTestSupport.h"

#include "acquisition/TFastReplaySource.h"
#include "pipeline/TAnalysisPipeline.h"
#include "analysis/signal/TSignal.h"
#include "windows/TClipHighlighter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <map>
#include <utility>

using namespace monitortest;

namespace {

constexpr int Channels = 14;
constexpr int Rate = 500; // the display input is then the raw signal itself
constexpr int Frames = 1000;
constexpr int Lead = 1;

// Frames of zeros but for the given samples of lead II.
QByteArray recording(const std::map<int, qint16>& leadSamples)
{
    QByteArray frames(Frames * Channels * 2, '\0');
    for (const auto& [frame, value] : leadSamples)
        qToLittleEndian<qint16>(value, frames.data() + (frame * Channels + Lead) * 2);
    return frames;
}

std::pair<int, int> run(const TSampleRunSource& source, int channel, int first, int last)
{
    int runFirst = -1, runLast = -1;
    if (!source.nextRun(channel, first, last, runFirst, runLast))
        return {-1, -1};
    return {runFirst, runLast};
}

TEST(ClipHighlighterTest, FindsRunsOutsideTheLargestUnclippedValues)
{
    std::map<int, qint16> samples = {{200, -32768}, {300, 32766}, {301, -32766}, {400, -32767}};
    for (int frame = 100; frame <= 104; ++frame)
        samples[frame] = 32767;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("clipped.dat"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(recording(samples));
    file.close();

    TFastReplaySource source(path, Channels, Rate, Frames);
    pipelinetest::TemporaryStudy study(source);
    TAnalysisPipeline pipeline(&source, study.study());
    const TClipHighlighter highlighter(pipeline, 16);
    EXPECT_EQ(highlighter.limit(), 32766);
    pipeline.start();
    ASSERT_TRUE(waitUntil([&] { return pipeline.displayInput()->appendedCount() >= 700; }));

    EXPECT_EQ(run(highlighter, Lead, 0, 999), std::make_pair(100, 104));
    EXPECT_EQ(run(highlighter, Lead, 105, 999), std::make_pair(200, 200));
    EXPECT_EQ(run(highlighter, Lead, 201, 999), std::make_pair(400, 400));
    EXPECT_EQ(run(highlighter, Lead, 401, 999), std::make_pair(-1, -1));
    // A run is cut to the range asked for.
    EXPECT_EQ(run(highlighter, Lead, 102, 103), std::make_pair(102, 103));
    EXPECT_EQ(run(highlighter, Lead, 90, 101), std::make_pair(100, 101));
    // Other leads hold no clipped sample; samples not yet appended are none.
    EXPECT_EQ(run(highlighter, 0, 0, 999), std::make_pair(-1, -1));
    EXPECT_EQ(run(highlighter, Lead, 5000, 6000), std::make_pair(-1, -1));

    // Replacing the display chain starts a new display input, which the
    // highlighter follows.
    pipeline.configureDisplayChain(true, true, true);
    EXPECT_EQ(run(highlighter, Lead, 0, 999), std::make_pair(-1, -1));
    pipeline.stop();
}

} // namespace
