// The live sweep display, checked on the pixels it draws.
#include "DisplayTestSupport.h"

#include "analysis/beats/TBeatAverager.h"
#include "display/QSignalMonitorDisplay.h"

#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace display_test;

namespace {

constexpr int Rate = 500;
const QColor TraceColor(Qt::black);
const QColor CursorColor(Qt::gray);

// A band +-0.5 mV around `level` mV: every column shows a solid bar.
ProbeSignal::Generator band(double level)
{
    return [level](int, int index) { return millivolts(level) + (index % 2 ? 1 : -1) * millivolts(0.5); };
}

bool isHighlight(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) > 120 && qGreen(pixel) < 215 && qBlue(pixel) < 150;
}

class MonitorDisplayTest : public ::testing::Test
{
protected:
    MonitorDisplayTest()
        : signal(1, Rate)
    {
        display.resize(800, 400);
        display.setSignal(&signal);
    }

    void append(double seconds, const ProbeSignal::Generator& value)
    {
        signal.appendGenerated(int(seconds * Rate), value);
        display.refresh();
    }

    // The column of the dotted cursor line.
    int cursorColumn(const QImage& image) const
    {
        const std::vector<int> columns = columnsWith(image, CursorColor, image.height() / 4, 2);
        return columns.size() == 1 ? columns.front() : -1;
    }

    std::vector<int> traceColumns(const QImage& image) const
    {
        return columnsWith(image, TraceColor, 20);
    }

    // Middle row of the trace pixels in a column.
    double traceRow(const QImage& image, int x) const
    {
        std::vector<int> rows;
        for (int y = 0; y < image.height(); ++y) {
            if (near(image.pixel(x, y), TraceColor))
                rows.push_back(y);
        }
        return rows.empty() ? -1 : (rows.front() + rows.back()) / 2.0;
    }

    ProbeSignal signal;
    QSignalMonitorDisplay display;
};

} // namespace

TEST_F(MonitorDisplayTest, FirstSweepShowsGridRightOfTheCursorThenThePreviousSweep)
{
    append(2.0, band(0));
    QImage image = grabImage(display);
    int cursor = cursorColumn(image);
    ASSERT_GT(cursor, 100);
    std::vector<int> trace = traceColumns(image);
    ASSERT_FALSE(trace.empty());
    EXPECT_LT(trace.back(), cursor);
    EXPECT_GE(int(trace.size()), cursor - 2);

    append(8.0, band(0));  // past the end of the first sweep
    image = grabImage(display);
    cursor = cursorColumn(image);
    ASSERT_GT(cursor, 10);
    trace = traceColumns(image);
    EXPECT_EQ(trace.back(), image.width() - 1);
    for (int x = cursor; x < cursor + 5; ++x)
        EXPECT_EQ(std::count(trace.begin(), trace.end(), x), 0) << "gap column " << x - cursor;
    EXPECT_EQ(std::count(trace.begin(), trace.end(), cursor + 5), 1);
    EXPECT_EQ(signal.readsPastEnd(), 0);
}

TEST_F(MonitorDisplayTest, NewSweepRecentresTheLeads)
{
    const double centre = 200.0;
    append(0.05, band(0));  // the offsets follow the signal while it is shorter than a block
    append(7.9, band(3.0));
    QImage image = grabImage(display);
    const double millivolt = 10.0 * imagePixelsPerMm(display);
    EXPECT_NEAR(traceRow(image, 400), centre - 3.0 * millivolt, 4.0);

    append(0.4, band(3.0));  // the sweep turns
    image = grabImage(display);
    EXPECT_LT(cursorColumn(image), 400);
    EXPECT_NEAR(traceRow(image, 400), centre, 4.0);
}

TEST_F(MonitorDisplayTest, DoublingTheSpeedDoublesTheSpacingAtOnce)
{
    append(7.0, spikes(Rate));
    const double mm = imagePixelsPerMm(display);
    const auto spikeColumns = [&](const QImage& image) {
        std::vector<int> tall;
        for (int x = 0; x < image.width(); ++x) {
            if (near(image.pixel(x, 200 - int(15 * mm)), TraceColor))
                tall.push_back(x);
        }
        return runStarts(tall, 2);
    };
    QImage image = grabImage(display);
    const int slowCursor = cursorColumn(image);
    std::vector<int> columns = spikeColumns(image);
    ASSERT_EQ(columns.size(), 7u);
    EXPECT_NEAR(columns[1] - columns[0], 25.0 * mm, 1.5);

    display.setSpeed(50.0);
    image = grabImage(display);
    const int fastCursor = cursorColumn(image);
    EXPECT_NE(fastCursor, slowCursor);
    columns = spikeColumns(image);  // this sweep's spikes, left of the cursor
    columns.erase(std::remove_if(columns.begin(), columns.end(), [&](int x) { return x > fastCursor; }),
                  columns.end());
    ASSERT_GE(columns.size(), 2u);
    for (std::size_t i = 1; i < columns.size(); ++i)
        EXPECT_NEAR(columns[i] - columns[i - 1], 50.0 * mm, 1.5);
    EXPECT_EQ(signal.readsPastEnd(), 0);
}

TEST_F(MonitorDisplayTest, HidingEveryLeadLeavesOnlyTheGrid)
{
    append(3.0, band(0));
    display.setLeadVisible(0, false);
    QSignalMonitorDisplay empty;
    empty.resize(display.size());
    EXPECT_EQ(grabImage(display), grabImage(empty));
}

TEST_F(MonitorDisplayTest, HighlightedRunsStayOutOfTheCursorGap)
{
    MarkedRange everything;
    display.setHighlighter(&everything);
    append(10.0, band(0));
    const QImage image = grabImage(display);
    const int cursor = cursorColumn(image);
    ASSERT_GT(cursor, 10);
    EXPECT_GT(countPixels(image, QRect(0, 0, cursor, 400), isHighlight), 1000);
    EXPECT_GT(countPixels(image, QRect(cursor + 6, 0, 800, 400), isHighlight), 1000);
    EXPECT_EQ(countPixels(image, QRect(cursor + 1, 0, 3, 400), isHighlight), 0);
    EXPECT_TRUE(traceColumns(image).empty());
}

TEST_F(MonitorDisplayTest, SpinnerTurnsOnlyWhileTheSignalIsEmpty)
{
    QTimer* timer = display.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    const QRect ring(370, 170, 60, 60);
    const auto turn = [&] {
        const QImage before = grabImage(display).copy(ring);
        QMetaObject::invokeMethod(timer, "timeout");
        return before != grabImage(display).copy(ring);
    };
    EXPECT_GT(countColor(grabImage(display), ring, QColor(160, 160, 160), 40), 100);
    EXPECT_TRUE(turn());
    EXPECT_TRUE(turn());

    append(1.0, band(0));
    EXPECT_FALSE(turn());
}

// The display filters deliver their first samples seconds after the ECG
// arrives: meanwhile the unfiltered lead-in is drawn, and nothing waits.
TEST_F(MonitorDisplayTest, TheLeadInShowsTheEcgBeforeTheFilteredSignalHasSamples)
{
    ProbeSignal leadIn(1, Rate);
    leadIn.appendGenerated(2 * Rate, band(0));
    display.setLeadIn(&leadIn);
    display.setSignal(&signal);
    const QImage image = grabImage(display);
    const std::vector<int> trace = traceColumns(image);
    ASSERT_FALSE(trace.empty());
    EXPECT_GE(int(trace.size()), cursorColumn(image) - 2) << "up to the newest lead-in sample";
    EXPECT_EQ(countColor(image, QRect(370, 170, 60, 60), QColor(160, 160, 160), 40), 0) << "no waiting spinner";
    EXPECT_EQ(leadIn.readsPastEnd(), 0);
}

TEST_F(MonitorDisplayTest, AveragedBeatPanelStandsLeftOfTheTrace)
{
    TBeatAverager averager(signal, 20.0);
    display.setAverager(&averager);
    display.setShowAverage(true);
    append(10.0, pulses(Rate, 1.0));
    const QColor averageColor(Qt::darkBlue);
    const double mm = imagePixelsPerMm(display);
    // Without averaged beats: a dotted placeholder along the lane centre.
    QImage image = grabImage(display);
    std::vector<int> panel = columnsWith(image, averageColor, 1, 30);
    ASSERT_FALSE(panel.empty());
    EXPECT_EQ(countColor(image, QRect(0, 0, panel.back() + 1, 195), averageColor, 30), 0);
    const int traceStart = traceColumns(image).empty() ? 0 : columnsWith(image, TraceColor, 1).front();
    EXPECT_GT(traceStart, panel.back());

    for (const TBeat& beat : beatsAt(signal, pulseTimes(10.0)))
        averager.add(beat);
    display.refresh();
    image = grabImage(display);
    panel = columnsWith(image, averageColor, 1, 30);
    ASSERT_FALSE(panel.empty());
    // The pulse of the averaged beat rises 1 mV (10 mm) above the rest of it.
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (countColor(image, QRect(0, y, panel.back() + 1, 1), averageColor, 30) > 0)
            rows.push_back(y);
    }
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(rows.back() - rows.front(), 10 * mm, 2.0);
    // One second of averaged beat spans 25 mm.
    EXPECT_NEAR(panel.back() - panel.front(), 25 * mm, 2.0);
}

TEST(MonitorDisplayBounds, NeverReadsPastTheNewestSample)
{
    for (int rate : {100, 500, 1000}) {
        ProbeSignal signal(2, rate);
        MarkedRange everything;
        for (const QSize& size : {QSize(0, 0), QSize(1, 1), QSize(3000, 60), QSize(640, 300)}) {
            QSignalMonitorDisplay display;
            display.resize(size);
            display.setSignal(&signal);
            display.setHighlighter(&everything);
            for (double speed : {100.0, 12.5, 50.0, 25.0}) {
                display.setSpeed(speed);  // mid-sweep
                signal.appendGenerated(rate / 3, spikes(rate));
                display.refresh();
                grabImage(display);
            }
        }
        EXPECT_EQ(signal.readsPastEnd(), 0) << rate << " Hz";
    }
}

// The twelve leads on the paper of the monitor window on a 1280 x 720
// screen: rows keep their least height, so that complexes of 0.75 mV
// either way stay inside their own row, and the rows out of sight are
// reached with the vertical scroll bar, whose move draws them (the last
// lead is flat).
TEST(MonitorDisplayRows, TwelveLeadsOnASmallScreenDoNotOverprint)
{
    constexpr int Leads = 12;
    ProbeSignal signal(Leads, Rate);
    QSignalMonitorDisplay display;
    display.resize(830, 655);
    display.show();
    display.setSignal(&signal);
    signal.appendGenerated(10 * Rate, [](int lead, int index) {
        const int phase = index % Rate;
        if (lead == Leads - 1)
            return 0;
        return phase < 20 ? millivolts(0.75) : phase < 40 ? millivolts(-0.75) : 0;
    });
    display.refresh();

    QScrollBar* rows = display.rowScrollBar();
    ASSERT_FALSE(rows->isHidden());
    const int shown = Leads - rows->maximum();
    ASSERT_LT(shown, Leads);
    const auto paper = [&] { return grabImage(display).copy(0, 0, rows->x(), display.height()); };
    const QImage top = paper();
    const double rowHeight = double(top.height()) / shown;
    for (int row = 1; row < shown; ++row) {
        const int y = int(row * rowHeight);
        EXPECT_EQ(countColor(top, QRect(0, y - 1, top.width(), 3), TraceColor, 40), 0) << "between rows " << row;
    }
    const auto bottomRowTrace = [&](const QImage& image) {
        const QRect row(0, int((shown - 1) * rowHeight), image.width(), int(rowHeight));
        return countColor(image, row, TraceColor, 40);
    };
    EXPECT_GT(bottomRowTrace(top), top.width());
    rows->setValue(rows->maximum());
    EXPECT_LE(bottomRowTrace(paper()), top.width()) << "the flat last lead comes into sight";
}
