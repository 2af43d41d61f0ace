// The displays on a screen of device pixel ratio 2: drawn at full device
// resolution and still 25 mm per second and 10 mm per millivolt on the
// screen's real millimetres.
#include "DisplayTestSupport.h"

#include "display/QSignalBrowseDisplay.h"
#include "display/QSignalMonitorDisplay.h"

#include <QScrollBar>

#include <gtest/gtest.h>

#include <cmath>

using namespace display_test;

namespace {

constexpr int Rate = 500;

// Starts of the columns where the trace reaches `row`.
std::vector<int> spikeColumns(const QImage& image, int row)
{
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        if (near(image.pixel(x, row), Qt::black, 60))
            columns.push_back(x);
    }
    return runStarts(columns, 3);
}

// 2 x 2 device-pixel blocks whose pixels differ: none when a logical-size
// picture was merely enlarged.
int unevenBlocks(const QImage& image)
{
    int count = 0;
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            if (image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p || image.pixel(x + 1, y + 1) != p)
                ++count;
        }
    }
    return count;
}

template <typename Display>
class HighDensityTest : public ::testing::Test
{
protected:
    HighDensityTest()
        : signal(1, Rate)
    {
        signal.appendGenerated(6 * Rate, spikes(Rate));
        display.resize(400, 220);
        display.setSignal(&signal);
        display.refresh();
    }

    ProbeSignal signal;
    Display display;
};

using Displays = ::testing::Types<QSignalMonitorDisplay, QSignalBrowseDisplay>;
TYPED_TEST_SUITE(HighDensityTest, Displays);

} // namespace

TYPED_TEST(HighDensityTest, DrawsAtDeviceResolutionOnPaperMillimetres)
{
    ASSERT_EQ(this->display.devicePixelRatioF(), 2.0);
    const QImage image = grabImage(this->display);
    ASSERT_EQ(image.size(), this->display.size() * 2);
    EXPECT_GT(unevenBlocks(image), 50);

    const double mm = imagePixelsPerMm(this->display);  // device pixels per screen millimetre
    // Spikes one second apart stand 25 mm apart; each rises 2 mV = 20 mm.
    int laneCentre = 0;  // the flat trace's row
    for (int y = 0; y < image.height(); ++y) {
        if (countColor(image, QRect(0, y, image.width(), 1), Qt::black, 60)
            > countColor(image, QRect(0, laneCentre, image.width(), 1), Qt::black, 60))
            laneCentre = y;
    }
    const std::vector<int> spikesSeen = spikeColumns(image, laneCentre - int(15 * mm));
    ASSERT_GE(spikesSeen.size(), 3u);
    for (std::size_t i = 1; i < spikesSeen.size(); ++i)
        EXPECT_NEAR(spikesSeen[i] - spikesSeen[i - 1], 25.0 * mm, 2.0);
    EXPECT_TRUE(spikeColumns(image, laneCentre - int(23 * mm)).empty());

    // The 5 mm grid lines (a trace may hide one of them).
    const std::vector<int> lines = runStarts(columnsWith(image, QColor(220, 200, 180), image.height() * 3 / 4, 0), 1);
    ASSERT_GE(lines.size(), 10u);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const double squares = (lines[i] - lines[i - 1]) / (5.0 * mm);
        EXPECT_NEAR(squares, std::round(squares), 0.1);
        EXPECT_GE(squares, 0.9);
    }
}
