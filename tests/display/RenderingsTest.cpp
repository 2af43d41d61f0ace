// Renderings of every display with the demo recording, saved as PNG files
// in the build folder's "renderings" folder for inspection, each checked
// for the traces it must show.
#include "DisplayTestSupport.h"
#include "RenderingSupport.h"

#include "analysis/beats/TBeatAverager.h"
#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/signal/TLeadSet.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "analysis/beats/TWaveDelineator.h"
#include "display/QBeatDisplayZoom.h"
#include "display/QHRECGDisplay.h"
#include "display/QSignalBrowseDisplay.h"
#include "display/QSignalMonitorDisplay.h"

#include <QScrollBar>

#include <gtest/gtest.h>

using namespace display_test;

namespace {

constexpr int ShownLeads = 12;  // CM5 and CR5 stay hidden, as in the windows

template <typename Display>
void hideExtraLeads(Display& display)
{
    for (int lead = ShownLeads; lead < DemoLeads; ++lead)
        display.setLeadVisible(lead, false);
}

// Every lead lane holds trace pixels.
void expectTraceInEveryLane(const QImage& image, const QColor& trace, int left = 0)
{
    const int lane = image.height() / ShownLeads;
    for (int i = 0; i < ShownLeads; ++i)
        EXPECT_GT(countColor(image, QRect(left, i * lane, image.width() - left, lane), trace, 40), 50)
            << "lane " << i;
}

template <typename Averager>
void addBeats(Averager& averager, const TSignal& signal, const std::vector<double>& times)
{
    for (const TBeat& beat : beatsAt(signal, times))
        averager.add(beat);
}

class RenderingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        frames = demoFrames();
        ASSERT_GT(frames.size(), 20 * DemoRate * FrameBytes) << "demo recording missing";
    }

    QByteArray frames;
};

// The review's main averager: all beats of the recorded study, averaged
// over the averaging chain (baseline filter off).
class AveragedStudy : public RenderingsTest
{
protected:
    void SetUp() override
    {
        RenderingsTest::SetUp();
        study = std::make_unique<RecordedDemo>(frames);
        averagingChain = std::make_unique<TReviewFilterChain>(study->ecg.get());
        averagingChain->configure(false, false, false);
        averager = std::make_unique<TLiveBeatAverager>(*averagingChain->output());
        addBeats(*averager, *averagingChain->output(), study->qrsTimes);
        ASSERT_GT(averager->count(TLeadSet::LeadII), 10);
    }

    std::unique_ptr<RecordedDemo> study;
    std::unique_ptr<TReviewFilterChain> averagingChain;
    std::unique_ptr<TLiveBeatAverager> averager;
};

} // namespace

TEST_F(RenderingsTest, MonitorSweepWithAveragedBeats)
{
    LiveDemo live;
    live.feed(frames, 20.0);
    TBeatAverager averager(*live.output(), 20.0);
    addBeats(averager, *live.output(), findQrsTimes(*live.output(), QrsLead));
    ASSERT_GT(averager.count(), 5);

    QSignalMonitorDisplay display;
    display.resize(1400, 900);
    display.setSignal(live.output());
    hideExtraLeads(display);
    display.setAverager(&averager);
    display.setShowAverage(true);
    ASSERT_TRUE(saveRendering(display, QStringLiteral("monitor")));
    const QImage image = grabImage(display);
    expectTraceInEveryLane(image, Qt::black, 150);
    expectTraceInEveryLane(image.copy(0, 0, 120, image.height()), Qt::darkBlue);
}

TEST_F(RenderingsTest, BrowseDisplayOfARecordedStudyWithCaliper)
{
    RecordedDemo study(frames);
    ASSERT_GT(study.qrsTimes.size(), 20u);
    TBeatAverager averager(*study.output(), 20.0);
    addBeats(averager, *study.output(), study.qrsTimes);
    ASSERT_GT(averager.count(), 10);

    QSignalBrowseDisplay display;
    display.resize(1400, 920);
    display.setSignal(study.output());
    display.setBeatList(study.beats.get());
    display.setAverager(&averager);
    display.setShowAverage(true);
    hideExtraLeads(display);
    display.scrollBar()->setValue(500);
    // A caliper across the QRS of lead II in the averaged-beat strip.
    const int row = 920 / ShownLeads + 35;
    sendMouse(display, QEvent::MouseButtonPress, QPoint(20, row), Qt::LeftButton);
    sendMouse(display, QEvent::MouseMove, QPoint(30, row), Qt::LeftButton);
    sendMouse(display, QEvent::MouseMove, QPoint(60, row), Qt::LeftButton);
    ASSERT_TRUE(saveRendering(display, QStringLiteral("browse")));
    const QImage image = grabImage(display).copy(0, 0, 1400, display.scrollBar()->y());
    expectTraceInEveryLane(image, Qt::black, 150);
    expectTraceInEveryLane(image.copy(0, 0, 120, image.height()), Qt::darkBlue);
}

TEST_F(AveragedStudy, AveragedBeatWithWaveMarkers)
{
    const TWaveDelineation waves = TWaveDelineator().delineate(*averager, TLeadSet::LeadV5);
    const int marks[] = {waves.pOnset, waves.pOffset, waves.pPeak, waves.qrsOnset,
                         waves.qrsOffset, waves.tOnset, waves.tOffset};
    QBeatDisplayZoom display;
    display.resize(700, 500);
    display.setAverager(averager.get());
    display.showSingleLead(TLeadSet::LeadII);
    for (int marker = 0; marker < QBeatDisplayZoom::MarkerCount; ++marker)
        display.setMarkerTime(marker, double(marks[marker]) / averager->samplingRate());
    // Hover over "P on" to show its slope.
    const int pOnset = int(display.markerTime(QBeatDisplayZoom::POnset) * 700);
    sendMouse(display, QEvent::MouseMove, QPoint(pOnset, 250), Qt::NoButton);
    ASSERT_TRUE(saveRendering(display, QStringLiteral("beat-lead-II")));
    EXPECT_GT(countColor(grabImage(display), QRect(0, 0, 700, 500), Qt::black, 60), 300);

    display.setLeadMask(0xfff);
    display.setZoom(2);
    ASSERT_TRUE(saveRendering(display, QStringLiteral("beat-12-leads-zoom2")));
    EXPECT_GT(countColor(grabImage(display), QRect(0, 0, 700, 500), Qt::black, 100), 300);
}

TEST_F(AveragedStudy, LatePotentialsOfTheAveragedBeat)
{
    TLatePotentials analysis(*averager);
    analysis.compute();
    ASSERT_GT(analysis.QRSD(), 0);
    QHRECGDisplay display;
    display.resize(700, 300);
    display.setData(&analysis);
    display.setMarkerTime(QHRECGDisplay::QrsOnset, double(analysis.onset()) / averager->samplingRate());
    display.setMarkerTime(QHRECGDisplay::QrsOffset, double(analysis.offset()) / averager->samplingRate());
    ASSERT_TRUE(saveRendering(display, QStringLiteral("late-potentials")));
    const QImage image = grabImage(display);
    EXPECT_GT(countColor(image, image.rect(), Qt::black, 60), 300);
    EXPECT_GT(countColor(image, image.rect(), Qt::darkBlue, 60), 50);
}
