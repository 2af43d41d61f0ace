// The recorded-ECG display: scrolling, dragging, the ruler, beat ticks and
// marked intervals, checked on its pixels and its signal.
#include "DisplayTestSupport.h"

#include "analysis/beats/TBeatAverager.h"
#include "display/QSignalBrowseDisplay.h"
#include "storage/TBeatsFile.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace display_test;

namespace {

constexpr int Rate = 500;

int wave(int, int index)
{
    return (index % Rate < 40 ? millivolts(1.5) : 0) + (index % 2 ? 1 : -1) * millivolts(0.2);
}

void drag(QWidget& widget, int from, int to, int y = 100)
{
    sendMouse(widget, QEvent::MouseButtonPress, QPoint(from, y), Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, QPoint(to, y), Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, QPoint(to, y), Qt::NoButton);
}

void press(QWidget& widget, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

QImage drawingArea(QSignalBrowseDisplay& display)
{
    return grabImage(display).copy(0, 0, display.width(), display.scrollBar()->y());
}

bool isNeutralText(QRgb pixel)
{
    return std::abs(qRed(pixel) - qBlue(pixel)) < 12 && qRed(pixel) < 200;
}

class BrowseDisplayTest : public ::testing::Test
{
protected:
    BrowseDisplayTest()
        : signal(2, Rate)
    {
        display.resize(800, 420);
    }

    void load(double seconds)
    {
        signal.appendGenerated(int(seconds * Rate), wave);
        display.setSignal(&signal);
    }

    ProbeSignal signal;
    QSignalBrowseDisplay display;
};

} // namespace

TEST_F(BrowseDisplayTest, RecordingShorterThanTheSpanDoesNotScroll)
{
    load(2.0);
    QSignalSpy moved(&display, &QSignalBrowseDisplay::startTimeChanged);
    EXPECT_FALSE(display.scrollBar()->isEnabled());
    for (int key : {Qt::Key_End, Qt::Key_PageDown, Qt::Key_Right})
        press(display, key);
    drag(display, 600, 100);
    EXPECT_EQ(display.startTime(), 0.0);
    EXPECT_EQ(moved.count(), 0);

    // The trace stops where the recording ends, 2 s at 25 mm/s from the left.
    const std::vector<int> trace = columnsWith(drawingArea(display), Qt::black, 3);
    ASSERT_FALSE(trace.empty());
    EXPECT_NEAR(trace.back(), 50.0 * imagePixelsPerMm(display), 2.0);
    EXPECT_EQ(signal.readsPastEnd(), 0);
}

TEST_F(BrowseDisplayTest, DragsClampAtBothEnds)
{
    load(60.0);
    QSignalSpy moved(&display, &QSignalBrowseDisplay::startTimeChanged);
    const double span = display.visibleSpan();
    for (int i = 0; i < 10; ++i)
        drag(display, 790, 10);
    EXPECT_DOUBLE_EQ(display.startTime(), 60.0 - span);
    EXPECT_GE(moved.count(), 6);
    EXPECT_EQ(display.scrollBar()->value(), display.scrollBar()->maximum());
    // The last sample reaches the right edge, and nothing beyond it is read.
    EXPECT_GE(columnsWith(drawingArea(display), Qt::black, 3).back(), 797);
    EXPECT_EQ(signal.readsPastEnd(), 0);

    moved.clear();
    for (int i = 0; i < 10; ++i)
        drag(display, 10, 790);
    EXPECT_EQ(display.startTime(), 0.0);
    EXPECT_GE(moved.count(), 6);
}

TEST_F(BrowseDisplayTest, HidingEveryLeadLeavesGridAndRuler)
{
    load(10.0);
    display.setLeadVisible(0, false);
    display.setLeadVisible(1, false);
    QSignalBrowseDisplay empty;
    empty.resize(display.size());
    const QRect area(0, 0, 800, display.scrollBar()->y());
    EXPECT_EQ(grabImage(display).copy(area), grabImage(empty).copy(area));
}

TEST_F(BrowseDisplayTest, MarkedIntervalsAreHalfTransparentWhateverTheColour)
{
    load(10.0);
    const MarkedRange marked(Rate, 3 * Rate);
    display.setMarkedIntervals(&marked);
    display.setColor(6, QColor(255, 128, 0));
    EXPECT_EQ(display.color(6).alpha(), 128);
    const QImage image = drawingArea(display);
    const double mm = imagePixelsPerMm(display);
    const QRect markedColumns(int(30 * mm), 0, int(45 * mm), image.height());
    EXPECT_GT(countColor(image, markedColumns, QColor(255, 191, 127), 12), 200);
    EXPECT_EQ(countColor(image, markedColumns, QColor(255, 128, 0), 12), 0);
    EXPECT_EQ(countColor(image, QRect(int(80 * mm), 0, 200, image.height()), QColor(255, 191, 127), 12), 0);
}

// An electrode off from 2 s to 4 s shades that stretch and names it; the
// rest of the paper is as without it.
TEST_F(BrowseDisplayTest, ElectrodesOffAreShadedAndNamedWhereTheyWere)
{
    load(10.0);
    QSignalBrowseDisplay plain;
    plain.resize(display.size());
    plain.setSignal(&signal);
    display.setElectrodesOff({TElectrodeOff::Interval{QStringLiteral("V3"), 2.0, 2.0}});
    const QImage off = drawingArea(display);
    const QImage on = drawingArea(plain);
    const double mm = imagePixelsPerMm(display);
    const QRect during(int(52 * mm), 0, int(45 * mm), off.height());
    const QRect after(int(105 * mm), 0, int(100 * mm), off.height());
    EXPECT_NE(off.copy(during), on.copy(during));
    EXPECT_EQ(off.copy(after), on.copy(after));
}

// A lead the recording lacks says so on its row; the other rows are as
// without it.
TEST_F(BrowseDisplayTest, ALeadNotRecordedIsLabelledOnItsRow)
{
    load(10.0);
    QSignalBrowseDisplay plain;
    plain.resize(display.size());
    plain.setSignal(&signal);
    display.setLeadsNotRecorded({1});
    const QImage labelled = drawingArea(display);
    const QImage bare = drawingArea(plain);
    const int half = labelled.height() / 2;
    EXPECT_EQ(labelled.copy(0, 0, labelled.width(), half - 2), bare.copy(0, 0, bare.width(), half - 2));
    EXPECT_NE(labelled.copy(0, half, labelled.width(), half), bare.copy(0, half, bare.width(), half));
}

// Fourteen leads in the browse area of the review window on a 1280 x 720
// screen: rows keep their least height, so that complexes of 0.75 mV either
// way stay inside their own row, and the rows out of sight are reached with
// the vertical scroll bar.
TEST(BrowseDisplayRows, FourteenLeadsOnASmallScreenDoNotOverprint)
{
    constexpr int Leads = 14;
    ProbeSignal signal(Leads, Rate);
    signal.appendGenerated(10 * Rate, [](int, int index) {
        const int phase = index % Rate;
        return phase < 20 ? millivolts(0.75) : phase < 40 ? millivolts(-0.75) : 0;
    });
    QSignalBrowseDisplay display;
    display.resize(730, 670);
    display.setSignal(&signal);
    const QImage image = drawingArea(display);

    const QScrollBar* rows = display.rowScrollBar();
    ASSERT_FALSE(rows->isHidden());
    const int shown = Leads - rows->maximum();
    ASSERT_LT(shown, Leads);
    EXPECT_EQ(rows->pageStep(), shown);
    const double rowHeight = double(image.height()) / shown;
    for (int row = 1; row < shown; ++row) {
        const int y = int(row * rowHeight);
        EXPECT_EQ(countColor(image, QRect(0, y - 1, rows->x(), 3), Qt::black, 40), 0) << "between rows " << row;
    }
    EXPECT_GT(countColor(image, QRect(0, 0, rows->x(), image.height()), Qt::black, 40), 0);
}

// Beats every 0.8 s from 0.8 s on, the one numbered `rejected` rejected.
void appendBeats(TBeatsFile& beats, TSignal& signal, int count, int rejected = -1)
{
    for (int i = 1; i <= count; ++i) {
        TBeat beat(&signal);
        beat.setNumber(i - 1);
        beat.setWindowStart(i * 0.8 - 0.3);
        beat.setValue(TBeat::QrsTime, i * 0.8);
        beat.setValue(TBeat::RrInterval, 0.8);
        if (i - 1 == rejected)
            beat.setBeatClass(TBeat::Rejected);
        beats.append(beat);
    }
}

TEST_F(BrowseDisplayTest, RrLabelsOnlyFromTwentyFiveMillimetresPerSecond)
{
    load(30.0);
    QTemporaryDir folder;
    TBeatsFile beats(&signal, folder.filePath(QStringLiteral("beats")), TBeatsFile::DefaultHeaderSize, true);
    appendBeats(beats, signal, 35);
    display.setBeatList(&beats);
    const QColor tickColor(Qt::blue);
    // Label pixels lie between the ticks, which fill rows 1 to 8 of their columns.
    const auto labelPixels = [&](const QImage& image) {
        const std::vector<int> ticks = runStarts(columnsWith(image.copy(0, 0, image.width(), 9), tickColor, 8), 3);
        int count = 0;
        for (std::size_t i = 1; i < ticks.size(); ++i)
            count += countColor(image, QRect(ticks[i - 1] + 4, 0, ticks[i] - ticks[i - 1] - 8, 20), tickColor, 60);
        return std::make_pair(int(ticks.size()), count);
    };
    const auto atNormalSpeed = labelPixels(drawingArea(display));
    EXPECT_GE(atNormalSpeed.first, 8);
    EXPECT_GT(atNormalSpeed.second, 20 * (atNormalSpeed.first - 1));

    display.setSpeed(12.5);
    const auto atHalfSpeed = labelPixels(drawingArea(display));
    EXPECT_GE(atHalfSpeed.first, 16);
    EXPECT_EQ(atHalfSpeed.second, 0);
}

TEST_F(BrowseDisplayTest, RejectedBeatIsCrossedOutInsteadOfTicked)
{
    load(30.0);
    QTemporaryDir folder;
    TBeatsFile beats(&signal, folder.filePath(QStringLiteral("beats")), TBeatsFile::DefaultHeaderSize, true);
    appendBeats(beats, signal, 35, 3);
    display.setBeatList(&beats);
    display.setSpeed(12.5);
    const QImage top = drawingArea(display).copy(0, 0, display.width(), 9);
    const std::vector<int> ticks = runStarts(columnsWith(top, QColor(Qt::blue), 8), 3);
    ASSERT_GE(ticks.size(), 8u);
    // The gap where beat 3 would stand is twice the others, with the
    // cross's pixels in it.
    const int gap = ticks[3] - ticks[2];
    EXPECT_NEAR(gap, 2 * (ticks[2] - ticks[1]), 2);
    EXPECT_GT(countColor(top, QRect(ticks[2] + 4, 0, gap - 8, 9), QColor(Qt::blue), 60), 6);
}

TEST_F(BrowseDisplayTest, RulerFallsBackToMinuteLabels)
{
    display.setSpeed(0.25);  // one label width spans more than 30 s
    const QImage image = drawingArea(display);
    const QRect ruler(0, image.height() - 20, image.width(), 18);
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        if (countPixels(image, QRect(x, ruler.y(), 1, ruler.height()), isNeutralText) > 0)
            columns.push_back(x);
    }
    const std::vector<int> labels = runStarts(columns, 6);
    ASSERT_GE(labels.size(), 5u);
    const double minute = 60 * 0.25 * imagePixelsPerMm(display);
    for (std::size_t i = 2; i < labels.size(); ++i)  // the first label is cut by the left edge
        EXPECT_NEAR(labels[i] - labels[i - 1], minute, 3.0);
}

namespace {

// A recording of identical beats with their averaged beat in the strip.
class BrowseAverageTest : public ::testing::Test
{
protected:
    BrowseAverageTest()
        : signal(1, Rate)
        , averager(signal, 20.0)
    {
        signal.appendGenerated(20 * Rate, pulses(Rate, 1.5));
        for (const TBeat& beat : beatsAt(signal, pulseTimes(20.0)))
            averager.add(beat);
        display.resize(800, 420);
        display.setSignal(&signal);
        display.setAverager(&averager);
        display.setShowAverage(true);
    }

    void move(int x, int y, Qt::MouseButtons buttons) { sendMouse(display, QEvent::MouseMove, QPoint(x, y), buttons); }

    const QColor averageColor{Qt::darkBlue};
    ProbeSignal signal;
    TBeatAverager averager;
    QSignalBrowseDisplay display;
};

} // namespace

TEST_F(BrowseAverageTest, HidingAveragedBeatsRemovesTheStripAndWidensTheSpan)
{
    ASSERT_GT(averager.count(), 0);
    const double withStrip = display.visibleSpan();
    QImage image = drawingArea(display);
    const std::vector<int> strip = columnsWith(image, averageColor, 2, 30);
    ASSERT_FALSE(strip.empty());
    const int traceStart = columnsWith(image, Qt::black, 3).front();
    EXPECT_GT(traceStart, strip.back());

    display.setShowAverage(false);
    image = drawingArea(display);
    EXPECT_TRUE(columnsWith(image, averageColor, 1, 30).empty());
    EXPECT_LE(columnsWith(image, Qt::black, 1).front(), 1);
    EXPECT_NEAR(display.visibleSpan() - withStrip, 1.0 + 5.0 / 25.0, 1e-9);
}

TEST_F(BrowseAverageTest, CaliperMeasuresBetweenTwoPointsOfTheAveragedBeat)
{
    const QImage image = drawingArea(display);
    const std::vector<int> strip = columnsWith(image, averageColor, 1, 30);
    ASSERT_GT(strip.size(), 50u);
    // The plateau of the pulse: the columns of the highest beat pixels.
    int top = image.height();
    for (int x : strip) {
        for (int y = 0; y < top; ++y) {
            if (near(image.pixel(x, y), averageColor, 30))
                top = y;
        }
    }
    std::vector<int> plateau;
    for (int x : strip) {
        if (near(image.pixel(x, top), averageColor, 30))
            plateau.push_back(x);
    }
    ASSERT_FALSE(plateau.empty());
    const int from = strip.front() + 5;
    const int to = plateau[plateau.size() / 2];
    const int row = image.height() / 2;

    double seconds = 0, millivolts = 0;
    drag(display, from, from, row);  // pointer tracking starts with the first click
    move(from, row, Qt::NoButton);
    EXPECT_TRUE(display.caliperReading(seconds, millivolts));
    EXPECT_EQ(seconds, 0.0);
    move(from, row, Qt::LeftButton);
    move((from + to) / 2, row, Qt::LeftButton);
    move(to, row, Qt::LeftButton);
    ASSERT_TRUE(display.caliperReading(seconds, millivolts));
    const double beatWidth = strip.back() - strip.front() + 1;  // one second
    EXPECT_NEAR(seconds, (to - from) / beatWidth, 0.012);
    EXPECT_NEAR(millivolts, display_test::millivolts(1.5) * signal.lsb(), 1e-6);

    // The triangle and its labels appear on the strip.
    EXPECT_GT(countColor(drawingArea(display), QRect(0, 0, to + 100, image.height()), Qt::red, 30), 20);

    move(strip.back() + 200, row, Qt::NoButton);  // off the strip: the caliper goes away
    EXPECT_FALSE(display.caliperReading(seconds, millivolts));
}
