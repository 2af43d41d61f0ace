// The report graphics drawn into images and onto a recording device of
// printer resolution.
#include "RecordingPaintDevice.h"

#include "analysis/beats/TBeat.h"
#include "analysis/beats/TBeatAverager.h"
#include "analysis/beats/TLiveBeatAverager.h"
#include "report/BeatGraphic.h"
#include "report/SignalGraphic.h"
#include "storage/TBeatsFile.h"
#include "tests/common/ecgsynth/SyntheticEcg.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>

namespace {

constexpr int Dpi = 300;
constexpr double PixelsPerMm = Dpi / 25.4;

QImage blankImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.setDotsPerMeterX(int(Dpi / 0.0254 + 0.5));
    image.setDotsPerMeterY(int(Dpi / 0.0254 + 0.5));
    image.fill(Qt::red);
    return image;
}

template <typename Graphic>
QImage render(Graphic& graphic, const QRect& rect)
{
    QImage image = blankImage(rect.right() + 20, rect.bottom() + 20);
    QPainter painter(&image);
    graphic.draw(painter, rect);
    return image;
}

int countPixels(const QImage& image, const QRect& area, const QColor& color)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y) == color ? 1 : 0;
    }
    return count;
}

// Twelve leads at 1000 Hz with a beat every 0.8 s, and its beats.
class SignalGraphicTest : public ::testing::Test
{
protected:
    SignalGraphicTest()
    {
        ecgsynth::Config config;
        config.rate = 1000;
        config.duration = 12.0;
        config.heartRate = 75.0;
        record = ecgsynth::synthesize(config);
        signal = ecgsynth::toSignal(record);
        beats = std::make_unique<TBeatsFile>(signal.get(), dir.filePath(QStringLiteral("beats")),
                                             TBeatsFile::DefaultHeaderSize, true);
    }

    void addBeat(double time, double rr)
    {
        TBeat beat(signal.get());
        beat.setValue(TBeat::QrsTime, time);
        beat.setValue(TBeat::RrInterval, rr);
        beat.setValue(TBeat::MeanRrInterval, 0.8);
        for (int lead = 0; lead < signal->channelCount(); ++lead) {
            beat.setMark(lead, TBeat::MainQrsWave, time);
            beat.setMark(lead, TBeat::QrsPolarity, 1);
        }
        beats->append(beat);
    }

    QTemporaryDir dir;
    ecgsynth::Record record;
    std::unique_ptr<TSignalBuffer16> signal;
    std::unique_ptr<TBeatsFile> beats;
    const QRect rect{10, 10, int(150 * PixelsPerMm), int(60 * PixelsPerMm)};
};

TEST_F(SignalGraphicTest, LeadMaskNamingNoChannelDrawsOnlyTheGrid)
{
    for (const double time : record.beats)
        addBeat(time, 0.8);
    TBeatAverager averager(*signal, 20.0);
    SignalGraphic gridOnly;
    const QImage grid = render(gridOnly, rect);
    EXPECT_EQ(countPixels(grid, rect, Qt::red), 0);
    EXPECT_EQ(countPixels(grid, rect, Qt::black), 0);

    SignalGraphic graphic;
    graphic.setSignal(signal.get());
    graphic.setBeats(beats.get());
    graphic.setAverager(&averager);
    graphic.setShowCalibration(true);
    graphic.setHrFormat(QStringLiteral("HR %1 bpm"));
    graphic.setLeadMask(1 << 14); // the signal has twelve channels
    EXPECT_EQ(render(graphic, rect), grid);

    graphic.setLeadMask(1 << 11);
    EXPECT_GT(countPixels(render(graphic, rect), rect, Qt::black), 0);
}

TEST_F(SignalGraphicTest, AverageColumnWithoutAveragedBeatShowsDottedRows)
{
    TBeatAverager averager(*signal, 20.0); // no beats: nothing averaged
    SignalGraphic graphic;
    graphic.setSignal(signal.get());
    graphic.setAverager(&averager);
    graphic.setLeadMask(0b111);
    const QImage image = render(graphic, rect);
    // The column is 5 mm + 1 s at 25 mm/s wide; the lines leave 2.5 mm.
    const int left = rect.left() + int(3 * PixelsPerMm);
    const int right = rect.left() + int(27 * PixelsPerMm);
    const double rowHeight = rect.height() / 3.0;
    for (int row = 0; row < 3; ++row) {
        const int centre = int(rect.top() + (row + 0.5) * rowHeight);
        const QRect line(left, centre - 1, right - left + 1, 3);
        const int dots = countPixels(image, QRect(left, centre, right - left + 1, 1), Qt::darkBlue);
        EXPECT_GT(dots, (right - left) / 6) << row;
        EXPECT_LT(dots, (right - left) * 2 / 3) << row << ": a dotted line has gaps";
        EXPECT_EQ(countPixels(image, line.translated(0, int(rowHeight / 4)), Qt::darkBlue), 0) << row;
    }
    // Nothing dark blue right of the column.
    EXPECT_EQ(countPixels(image, QRect(rect.left() + int(31 * PixelsPerMm), rect.top(), 50, rect.height()),
                          Qt::darkBlue), 0);
}

TEST_F(SignalGraphicTest, HeartRateCountsOnlyRrIntervalsBelowTwoSeconds)
{
    addBeat(0.5, 0.0);
    addBeat(1.5, 1.0);
    addBeat(2.5, 1.0);
    addBeat(5.0, 2.5);
    SignalGraphic graphic;
    graphic.setSignal(signal.get());
    graphic.setBeats(beats.get());
    graphic.setShowAverage(false);
    graphic.setHrFormat(QStringLiteral("HR %1 bpm"));
    const QRect page(10, 10, int(150 * 1200 / 25.4), int(60 * 1200 / 25.4));
    RecordingPaintDevice device(page.right() + 20, page.bottom() + 20, 1200);
    {
        QPainter painter(&device);
        graphic.draw(painter, page);
    }
    const QStringList texts = device.recorded().textList();
    // Every RR between two drawn beats is labelled, 2.5 s included; the
    // heart rate is 60 / mean(1.0, 1.0), not 60 / mean(1.0, 1.0, 2.5).
    EXPECT_EQ(texts.count(QStringLiteral("1000")), 2);
    EXPECT_EQ(texts.count(QStringLiteral("2500")), 1);
    EXPECT_TRUE(texts.contains(QStringLiteral("HR 60 bpm"))) << texts.join(QLatin1Char('|')).toStdString();
    // It stands in the band of the beat marks, above the level of the first
    // trace, not on it.
    const auto heartRate = std::find_if(device.recorded().texts.begin(), device.recorded().texts.end(),
                                        [](const auto& text) { return text.text.startsWith(QLatin1String("HR")); });
    ASSERT_NE(heartRate, device.recorded().texts.end());
    const QVector<QPolygonF> traces = device.recorded().polylines(Qt::black);
    ASSERT_FALSE(traces.isEmpty());
    EXPECT_LT(heartRate->position.y(), traces.first().first().y());

    // With only the long interval in view there is no heart rate.
    graphic.setStartTime(3.0);
    RecordingPaintDevice later(page.right() + 20, page.bottom() + 20, 1200);
    {
        QPainter painter(&later);
        graphic.draw(painter, page);
    }
    EXPECT_FALSE(later.recorded().textList().join(QLatin1Char('|')).contains(QStringLiteral("HR")));
}

// The recording was joined at 3.0 s after 10.2 s without signal: the join
// is marked with the time lost, and the interval between the beats on
// either side, which is no RR interval, gets no label.
TEST_F(SignalGraphicTest, AJoinIsMarkedWithTheTimeLostAndNoRrLabelSpansIt)
{
    for (const double time : {0.5, 1.5, 2.5, 3.5, 4.5})
        addBeat(time, 1.0);
    SignalGraphic graphic;
    graphic.setSignal(signal.get());
    graphic.setBeats(beats.get());
    graphic.setGaps({{3.0, 10.2}});
    graphic.setShowAverage(false);
    const QRect page(10, 10, int(150 * 1200 / 25.4), int(60 * 1200 / 25.4));
    RecordingPaintDevice device(page.right() + 20, page.bottom() + 20, 1200);
    {
        QPainter painter(&device);
        graphic.draw(painter, page);
    }
    const QStringList texts = device.recorded().textList();
    EXPECT_EQ(texts.count(QStringLiteral("Signal lost 10.2 s")), 1) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(texts.count(QStringLiteral("1000")), 3);
}

// Averaged beats of a synthetic recording (1000 Hz, one second each).
class BeatGraphicTest : public ::testing::Test
{
protected:
    BeatGraphicTest()
    {
        ecgsynth::Config config;
        config.rate = 1000;
        config.duration = 20.0;
        config.heartRate = 75.0;
        config.offsetMv = 0.5;
        record = ecgsynth::synthesize(config);
        signal = ecgsynth::toSignal(record);
        averager = std::make_unique<TLiveBeatAverager>(*signal);
        for (std::size_t k = 1; k < record.beats.size(); ++k) {
            TBeat beat(signal.get());
            beat.setValue(TBeat::QrsTime, record.beats[k]);
            beat.setValue(TBeat::RrInterval, record.rr(int(k)));
            beat.setValue(TBeat::MeanRrInterval, 0.8);
            averager->add(beat);
        }
    }

    // The black traces drawn for a lead mask and marks.
    QVector<QPolygonF> traces(int leadMask, const std::map<int, double>& marks = {})
    {
        BeatGraphic graphic;
        graphic.setBeatSet(averager.get());
        graphic.setLeadMask(leadMask);
        for (const auto& mark : marks)
            graphic.setMark(mark.first, mark.second);
        device = std::make_unique<RecordingPaintDevice>(5000, 5000, 1200);
        QPainter painter(device.get());
        graphic.draw(painter, rect);
        return device->recorded().polylines(Qt::black);
    }

    static double meanY(const QPolygonF& trace)
    {
        return std::accumulate(trace.begin(), trace.end(), 0.0,
                               [](double sum, const QPointF& point) { return sum + point.y(); }) / trace.size();
    }

    double centreY() const { return rect.top() + rect.height() / 2.0; }

    ecgsynth::Record record;
    std::unique_ptr<TSignalBuffer16> signal;
    std::unique_ptr<TLiveBeatAverager> averager;
    std::unique_ptr<RecordingPaintDevice> device;
    const QRect rect{100, 100, 4000, 4400};
};

TEST_F(BeatGraphicTest, SingleLeadIsCentredAndMultipleLeadsAlignBeforeQrsOnset)
{
    ASSERT_GT(averager->count(1), 0);
    const QVector<QPolygonF> single = traces(1 << 1);
    ASSERT_EQ(single.size(), 1);
    EXPECT_NEAR(meanY(single[0]), centreY(), 1e-6) << "a single lead keeps its mean on the centre line";
    // Without marks: no marks and no interval labels, only the title.
    EXPECT_TRUE(device->recorded().linesIn(Qt::blue, Qt::SolidLine).isEmpty());
    EXPECT_EQ(device->recorded().textList(), QStringList{QStringLiteral("II")});

    // QRS onset 40 ms before the beat's centre: both leads pass through
    // the centre line 10 ms before it, at sample 450.
    const QVector<QPolygonF> both = traces((1 << 1) | (1 << 7), {{BeatGraphic::QRSOnset, 0.46}});
    ASSERT_EQ(both.size(), 2);
    for (const QPolygonF& trace : both) {
        ASSERT_EQ(trace.size(), averager->length());
        EXPECT_NEAR(trace[450].y(), centreY(), 1e-6);
    }
    EXPECT_GT(std::abs(meanY(both[1]) - centreY()), 1.0) << "the second lead was shifted";
    EXPECT_EQ(device->recorded().textList().front(), QStringLiteral("II, V2"));
}

TEST_F(BeatGraphicTest, PositionsComputedFromMarksStayInsideTheBeat)
{
    // A QRS onset under 10 ms aligns on the first sample.
    for (const QPolygonF& trace : traces(0b11, {{BeatGraphic::QRSOnset, 0.004}}))
        EXPECT_NEAR(trace[0].y(), centreY(), 1e-6);
    // A P peak past the end of the beat reads the last sample.
    traces(1, {{BeatGraphic::POnset, 0.3}, {BeatGraphic::PPeak, 1.5}});
    const QStringList texts = device->recorded().textList();
    EXPECT_TRUE(texts.last().endsWith(QStringLiteral(" mV"))) << texts.join(QLatin1Char('|')).toStdString();
}

} // namespace
