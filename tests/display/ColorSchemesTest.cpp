// Named colour schemes applied to the live and the recorded display.
#include "DisplayTestSupport.h"

#include "display/DisplayColorSchemes.h"
#include "display/QSignalBrowseDisplay.h"
#include "display/QSignalMonitorDisplay.h"

#include <QScrollBar>

#include <gtest/gtest.h>

#include <algorithm>

using namespace display_test;

namespace {

int band(int, int index)
{
    return (index % 2 ? 1 : -1) * millivolts(0.5);
}

template <typename Display>
class ColorSchemesTest : public ::testing::Test
{
protected:
    ColorSchemesTest()
        : signal(1, 500)
    {
        signal.appendGenerated(5000, band);
        display.resize(600, 300);
        display.setSignal(&signal);
    }

    QImage image() { return grabImage(display).copy(0, 0, 600, 250); }

    ProbeSignal signal;
    Display display;
};

using Displays = ::testing::Types<QSignalMonitorDisplay, QSignalBrowseDisplay>;
TYPED_TEST_SUITE(ColorSchemesTest, Displays);

} // namespace

TEST(ColorSchemes, MenuOrderIsBlackBlueLight)
{
    EXPECT_EQ(colorSchemeNames(), QStringList({"Black", "Blue", "Light"}));
}

TYPED_TEST(ColorSchemesTest, BlackGivesBlackPaperGreenTracesAndANewGrid)
{
    const QImage light = this->image();
    const QRect all = light.rect();
    ASSERT_GT(countColor(light, all, QColor(220, 200, 180), 0), 1000);

    applyColorScheme(&this->display, QStringLiteral("Black"));
    const QImage black = this->image();
    EXPECT_GT(countColor(black, all, Qt::black, 0), all.width() * all.height() / 2);
    EXPECT_GT(countColor(black, all, QColor(0, 255, 0), 0), 1000);
    EXPECT_GT(countColor(black, all, QColor(96, 96, 96), 0), 1000);
    EXPECT_EQ(countColor(black, all, QColor(220, 200, 180), 0), 0);
    EXPECT_EQ(countColor(black, all, Qt::white, 0), 0);
}

TYPED_TEST(ColorSchemesTest, HighlightColourIsAlwaysHalfTransparent)
{
    this->display.setColor(6, QColor(10, 20, 30, 255));
    EXPECT_EQ(this->display.color(6), QColor(10, 20, 30, 128));
}

// "Light" keeps its light grey as the colour of names, but they are drawn
// dark enough to read on its white paper.
TYPED_TEST(ColorSchemesTest, LeadNamesReadOnTheLightPaper)
{
    this->signal.setChannelName(0, QStringLiteral("aVR"));
    applyColorScheme(&this->display, QStringLiteral("Light"));
    EXPECT_EQ(this->display.color(3), QColor(192, 192, 192));
    const QImage name = grabImage(this->display).copy(0, 0, 60, 30);
    int darkest = 255;
    for (int y = 0; y < name.height(); ++y) {
        for (int x = 0; x < name.width(); ++x)
            darkest = std::min(darkest, qGray(name.pixel(x, y)));
    }
    EXPECT_LT(darkest, 130);
}

TYPED_TEST(ColorSchemesTest, UnknownOrEmptyNamesChangeNothing)
{
    const QImage before = this->image();
    for (const QString& name : {QStringLiteral("Green"), QString(), QStringLiteral("black")}) {
        applyColorScheme(&this->display, name);
        EXPECT_EQ(this->image(), before) << qPrintable(name);
        EXPECT_EQ(this->display.color(1), QColor(Qt::white));
    }
}
