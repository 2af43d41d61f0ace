// Renderings of every display with the demo recording, saved as PNG files
// in the build folder for inspection, each checked for a drawn trace.
#include "DisplayTestSupport.h"
#include "RenderingSupport.h"

#include "display/QSignalBrowseDisplay.h"
#include "display/QSignalMonitorDisplay.h"

#include <QScrollBar>

#include <gtest/gtest.h>

using namespace display_test;

namespace {

class RenderingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        frames = demoFrames();
        ASSERT_GT(frames.size(), 20 * DemoRate * FrameBytes) << "demo recording missing";
    }

    // Every lane of a rows-of-leads display holds trace pixels.
    static void expectTraceInEveryLane(const QImage& image, int lanes, const QColor& trace, int left = 0)
    {
        const int lane = image.height() / lanes;
        for (int i = 0; i < lanes; ++i)
            EXPECT_GT(countColor(image, QRect(left, i * lane, image.width() - left, lane), trace, 40), 200)
                << "lane " << i;
    }

    QByteArray frames;
};

} // namespace

TEST_F(RenderingsTest, MonitorSweepOfTheDemoRecording)
{
    LiveDemo live;
    QSignalMonitorDisplay display;
    display.resize(1400, 900);
    display.setSignal(live.output());
    for (int lead = 12; lead < DemoLeads; ++lead)
        display.setLeadVisible(lead, false);
    live.feed(frames, 20.0);
    display.refresh();
    ASSERT_TRUE(saveRendering(display, QStringLiteral("monitor")));
    expectTraceInEveryLane(grabImage(display), 12, Qt::black);
}

TEST_F(RenderingsTest, BrowseDisplayOfARecordedStudy)
{
    RecordedDemo study(frames);
    ASSERT_GT(study.qrsTimes.size(), 20u);
    QSignalBrowseDisplay display;
    display.resize(1400, 920);
    display.setSignal(study.output());
    display.setBeatList(study.beats.get());
    for (int lead = 12; lead < DemoLeads; ++lead)
        display.setLeadVisible(lead, false);
    display.scrollBar()->setValue(500);
    ASSERT_TRUE(saveRendering(display, QStringLiteral("browse")));
    expectTraceInEveryLane(grabImage(display).copy(0, 0, 1400, display.scrollBar()->y()), 12, Qt::black);
}
