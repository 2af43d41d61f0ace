// The averaged-beat display and the late-potential display: markers,
// interval boxes, zoom and the mouse, checked on pixels and signals.
#include "DisplayTestSupport.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "display/QBeatDisplayZoom.h"
#include "display/QHRECGDisplay.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

using namespace display_test;

namespace {

constexpr int Rate = 1000;
const QColor MarkerColor(Qt::blue);
const QColor ActiveColor(Qt::red);

void sendMouse(QWidget& widget, QEvent::Type type, int x, Qt::MouseButtons buttons)
{
    display_test::sendMouse(widget, type, QPoint(x, widget.height() / 2), buttons);
}

// Columns holding a vertical line of the colour at least `length` long.
std::vector<int> lineColumns(const QImage& image, const QColor& color, int length)
{
    return runStarts(columnsWith(image, color, length, 40), 1);
}

// Pixels of a filled area of the colour: those whose 3 x 3 neighbourhood
// is all of it (thin or dotted lines do not count).
int filledPixels(const QImage& image, const QColor& color)
{
    int count = 0;
    for (int y = 1; y + 1 < image.height(); ++y) {
        for (int x = 1; x + 1 < image.width(); ++x)
            count += countColor(image, QRect(x - 1, y - 1, 3, 3), color, 3) == 9 ? 1 : 0;
    }
    return count;
}

// Drags from x to beyond both edges; answers the marker times reached.
template <typename Display>
std::pair<double, double> dragPastBothEdges(Display& display, int marker, int x, QSignalSpy& changes)
{
    sendMouse(display, QEvent::MouseMove, x, Qt::NoButton);
    EXPECT_EQ(display.activeMarker(), marker);
    sendMouse(display, QEvent::MouseButtonPress, x, Qt::LeftButton);
    sendMouse(display, QEvent::MouseMove, -50, Qt::LeftButton);
    const double left = display.markerTime(marker);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(lineColumns(grabImage(display), ActiveColor, display.height() / 2), std::vector<int>{0});
    sendMouse(display, QEvent::MouseMove, display.width() + 50, Qt::LeftButton);
    const double right = display.markerTime(marker);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(lineColumns(grabImage(display), ActiveColor, display.height() / 2),
              std::vector<int>{display.width() - 1});
    sendMouse(display, QEvent::MouseButtonRelease, display.width() + 50, Qt::NoButton);
    return {left, right};
}

// Identical beats, averaged into templates.
class AveragedBeats : public ::testing::Test
{
protected:
    AveragedBeats()
        : signal(2, Rate)
        , averager(signal)
    {
        signal.appendGenerated(16 * Rate, pulses(Rate, 0.3));
        for (const TBeat& beat : beatsAt(signal, pulseTimes(16.0)))
            averager.add(beat);
    }

    ProbeSignal signal;
    TLiveBeatAverager averager;
};

class BeatDisplayZoomTest : public AveragedBeats
{
protected:
    BeatDisplayZoomTest()
    {
        display.resize(500, 300);
        display.setAverager(&averager);
        display.showSingleLead(0);
        const double times[] = {0.20, 0.30, 0.25, 0.45, 0.55, 0.70, 0.85};
        for (int marker = 0; marker < QBeatDisplayZoom::MarkerCount; ++marker)
            display.setMarkerTime(marker, times[marker]);
    }

    QBeatDisplayZoom display;
};

} // namespace

TEST_F(BeatDisplayZoomTest, DraggedMarkerPinsToTheEdgeColumns)
{
    ASSERT_GT(averager.count(0), 0);
    const std::vector<int> markers = lineColumns(grabImage(display), MarkerColor, 100);
    ASSERT_EQ(markers.size(), 7u);
    QSignalSpy changes(&display, &QBeatDisplayZoom::cursorChanged);
    const auto reached = dragPastBothEdges(display, QBeatDisplayZoom::QrsOnset, markers[3], changes);
    EXPECT_EQ(reached.first, 0.0);
    EXPECT_DOUBLE_EQ(reached.second, 499.0 / 500.0);
}

TEST_F(BeatDisplayZoomTest, IntervalBoxVanishesWithEitherMarker)
{
    const QColor boxColor(Qt::darkBlue);
    for (int marker = 0; marker < QBeatDisplayZoom::MarkerCount; ++marker)
        display.setMarkerShown(marker, marker == QBeatDisplayZoom::QrsOnset || marker == QBeatDisplayZoom::QrsOffset);
    EXPECT_GT(countColor(grabImage(display), QRect(0, 0, 500, 300), boxColor, 40), 20);
    display.setMarkerShown(QBeatDisplayZoom::QrsOffset, false);
    EXPECT_EQ(countColor(grabImage(display), QRect(0, 0, 500, 300), boxColor, 40), 0);
}

TEST_F(BeatDisplayZoomTest, WithoutLeadsOnlyTheGridIsDrawn)
{
    display.setLeadMask(0);
    QBeatDisplayZoom empty;
    empty.resize(display.size());
    EXPECT_EQ(grabImage(display), grabImage(empty));
}

TEST_F(BeatDisplayZoomTest, ZoomCentresAndPanningStaysInside)
{
    display.setZoom(3);
    EXPECT_NEAR(display.panOrigin().x() + 500 / 3.0 / 2, 250, 1.0);  // the view's centre stays
    EXPECT_NEAR(display.panOrigin().y() + 300 / 3.0 / 2, 150, 1.0);
    display.setZoom(6);
    EXPECT_EQ(display.zoom(), 3);

    sendMouse(display, QEvent::MouseMove, 5, Qt::NoButton);  // away from any marker
    ASSERT_EQ(display.activeMarker(), -1);
    sendMouse(display, QEvent::MouseButtonPress, 5, Qt::LeftButton);
    sendMouse(display, QEvent::MouseMove, 2000, Qt::LeftButton);
    EXPECT_EQ(display.panOrigin().x(), 0);
    sendMouse(display, QEvent::MouseMove, -4000, Qt::LeftButton);
    EXPECT_EQ(display.panOrigin().x(), 500 - 500 / 3);
}

// Mouse steps of one pixel at zoom 2 are half a pixmap pixel each: they add
// up, so that a 60-pixel drag moves the view by 30.
TEST_F(BeatDisplayZoomTest, ASlowDragPansAsFarAsTheMouseMoves)
{
    display.setZoom(2);
    const QPoint origin = display.panOrigin();
    const QPoint start(5, 100);
    display_test::sendMouse(display, QEvent::MouseMove, start, Qt::NoButton);
    ASSERT_EQ(display.activeMarker(), -1);
    display_test::sendMouse(display, QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int step = 1; step <= 60; ++step)
        display_test::sendMouse(display, QEvent::MouseMove, start + QPoint(0, step), Qt::LeftButton);
    EXPECT_EQ(display.panOrigin(), origin - QPoint(0, 30));
}

namespace {

class HRECGDisplayTest : public AveragedBeats
{
protected:
    HRECGDisplayTest()
        : analysis(averager)
    {
        display.resize(400, 200);
    }

    // A 60 Hz burst (which the high-pass keeps) around the beat's centre.
    void computeBurst(int onset, int offset)
    {
        std::vector<double> x(std::size_t(averager.length()), 0.0), zero(x.size(), 0.0);
        for (int i = 470; i < 540; ++i)
            x[std::size_t(i)] = 0.06 * std::sin((i - 470) * 2 * 3.14159 * 60 / Rate);
        analysis.setOnset(onset);
        analysis.setOffset(offset);
        analysis.computeFromOrthogonal(x, zero, zero);
    }

    TLatePotentials analysis;
    QHRECGDisplay display;
};

} // namespace

TEST_F(HRECGDisplayTest, IgnoresTheMouseBeforeDataIsSet)
{
    QSignalSpy changes(&display, &QHRECGDisplay::cursorChanged);
    display.setMarkerTime(QHRECGDisplay::QrsOnset, 0.0);
    for (int x : {0, 1, 200})
        sendMouse(display, QEvent::MouseMove, x, Qt::NoButton);
    sendMouse(display, QEvent::MouseMove, 300, Qt::LeftButton);
    EXPECT_EQ(display.activeMarker(), -1);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(countColor(grabImage(display), QRect(0, 0, 400, 200), Qt::white, 0), 400 * 200);
}

TEST_F(HRECGDisplayTest, ZeroQrsDurationShowsOnlyGridAreaAndCurve)
{
    computeBurst(520, 520);
    display.setData(&analysis);
    display.setMarkerTime(QHRECGDisplay::QrsOnset, 0.52);
    display.setMarkerTime(QHRECGDisplay::QrsOffset, 0.52);
    ASSERT_EQ(analysis.QRSD(), 0);
    const QImage image = grabImage(display);
    EXPECT_GT(countColor(image, image.rect(), Qt::black, 60), 100);
    EXPECT_GT(filledPixels(image, Qt::gray), 500);  // the RMS area
    EXPECT_EQ(countColor(image, image.rect(), MarkerColor, 60), 0);
    EXPECT_EQ(countColor(image, image.rect(), Qt::darkBlue, 60), 0);
}

TEST_F(HRECGDisplayTest, DraggedMarkerPinsToTheEdgeColumns)
{
    computeBurst(460, 550);
    display.setData(&analysis);
    display.setMarkerTime(QHRECGDisplay::QrsOnset, 0.46);
    display.setMarkerTime(QHRECGDisplay::QrsOffset, 0.55);
    const std::vector<int> markers = lineColumns(grabImage(display), MarkerColor, 150);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_GT(countColor(grabImage(display), QRect(markers[1], 0, 150, 60), Qt::darkBlue, 60), 50);  // results
    QSignalSpy changes(&display, &QHRECGDisplay::cursorChanged);
    const auto reached = dragPastBothEdges(display, QHRECGDisplay::QrsOffset, markers[1], changes);
    EXPECT_DOUBLE_EQ(reached.first, display.startTime());
    EXPECT_DOUBLE_EQ(reached.second, display.startTime() + 399.0 / 400.0 * display.timeSpan());
}

TEST_F(HRECGDisplayTest, MarkersBeyondTheBeatReadNothingOutsideIt)
{
    computeBurst(460, 550);
    display.setData(&analysis);
    display.setMarkerTime(QHRECGDisplay::QrsOnset, -3.0);
    display.setMarkerTime(QHRECGDisplay::QrsOffset, 5.0);  // the RMS interval lies past the beat
    const QImage image = grabImage(display);
    EXPECT_GT(countColor(image, image.rect(), Qt::black, 60), 100);
    EXPECT_EQ(filledPixels(image, Qt::gray), 0);
    for (const QSize& size : {QSize(0, 0), QSize(1, 1), QSize(3000, 20)}) {
        display.resize(size);
        EXPECT_EQ(grabImage(display).size(), size);
    }
}
