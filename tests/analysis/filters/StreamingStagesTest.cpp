// Streaming stages against known truth: impulse responses,
// alignment with the source, lag, zeros before index 0, truncation and
// saturation, decimators against direct sums, the FFT baseline stage's
// 480-sample shift, and responses to sines.
#include "FilterTestSupport.h"

#include "analysis/filters/TBlockMeanDecimator.h"
#include "analysis/filters/TFft.h"
#include "analysis/filters/TFftBaselineFilter.h"
#include "analysis/filters/TPartitionedFir.h"
#include "analysis/filters/TFirDecimator.h"
#include "analysis/filters/TFirFilter.h"
#include "analysis/filters/TFirTables.h"
#include "analysis/filters/TMonitorLowPass.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/signal/TSignalBufferF64.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

using namespace filtertest;

namespace {

constexpr int Block = 256;
constexpr int Capacity = 1 << 16;

TEST(StreamingStagesTest, ImpulseResponseIsCentredOnTheImpulse)
{
    // A symmetric table attached at 0 keeps sample k aligned with source
    // sample k: the response to an impulse at 1000 is centred on 1000.
    const TFirTable& table = TFirTables::notch("50hz", 500);
    const int d = table.delay();
    TSignalBuffer16 source(2, 500, Block, Capacity);
    TSignalBufferF64 sink(2, 500, Block, Capacity);
    TFirFilterF64 stage(table);
    stage.setSink(&sink);
    stage.attach(&source, 0);
    std::vector<qint16> input(3000, 0);
    input[1000] = 10000;
    appendAll(source, input, true);
    stage.process();

    // Lags D behind the source, and long tables emit whole blocks only.
    ASSERT_LE(sink.appendedCount(), 3000 - d);
    ASSERT_GT(sink.appendedCount(), 3000 - d - TPartitionedFir::Block);
    const std::vector<double> out0 = readAll(sink, 0);
    const std::vector<double> out1 = readAll(sink, 1);
    for (int k = 0; k < table.length(); ++k) {
        EXPECT_NEAR(out0[std::size_t(1000 - d + k)], 10000.0 * table[k], 1e-9);
        EXPECT_NEAR(out1[std::size_t(1000 - d + k)], 20000.0 * table[k], 1e-9);
    }
    for (int m = 1; m <= d; ++m)
        EXPECT_NEAR(out0[std::size_t(1000 - m)], out0[std::size_t(1000 + m)], 1e-9);
    EXPECT_NEAR(out0[std::size_t(1000 - d - 1)], 0.0, 1e-9);
    EXPECT_NEAR(out0[std::size_t(1000 + d + 1)], 0.0, 1e-9);
}

TEST(StreamingStagesTest, FirstOutputsSeeZerosBeforeIndexZero)
{
    // A constant input from index 0: output p sums only the taps that fall
    // on samples 0 .. p + D, so y[p] = 1000 * (h[0] + ... + h[p + D]).
    const TFirTable& table = TFirTables::lowPass40Hz1000();
    const int d = table.delay();
    TSignalBuffer16 source(1, 1000, Block, Capacity);
    TSignalBufferF64 sink(1, 1000, Block, Capacity);
    TFirFilterF64 stage(table);
    stage.setSink(&sink);
    stage.attach(&source, 0);
    appendAll(source, std::vector<qint16>(200, 1000));
    stage.process();
    const std::vector<double> out = readAll(sink, 0);
    double partial = 0.0;
    for (int k = 0; k <= d; ++k)
        partial += table[k];
    EXPECT_NEAR(out[0], 1000.0 * partial, 1e-9);
    for (int p = 0; p < table.length(); ++p) {
        double expected = 0.0;
        for (int k = 0; k < table.length(); ++k)
            if (p + d - k >= 0)
                expected += 1000.0 * table[k];
        EXPECT_NEAR(out[std::size_t(p)], expected, 1e-9) << p;
    }
    EXPECT_NEAR(out[150], 1000.0, 1e-9); // the table sums to 1
}

TEST(StreamingStagesTest, StageAttachedLaterStartsAtItsAttachIndex)
{
    // Created while the source runs: attached at the appended count, its
    // sink sample k is source sample (500 + k).
    const TFirTable& table = TFirTables::lowPass40Hz500();
    TSignalBuffer16 source(1, 500, Block, Capacity);
    TSignalBufferF64 sink(1, 500, Block, Capacity);
    appendAll(source, std::vector<qint16>(500, 0));
    TFirFilterF64 stage(table);
    stage.setSink(&sink);
    stage.attach(&source, source.appendedCount());
    std::vector<qint16> input(300, 0);
    input[100] = 1000; // source index 600
    appendAll(source, input);
    stage.process();
    EXPECT_EQ(stage.nextIndex(), 800 - table.delay());
    const std::vector<double> out = readAll(sink, 0);
    ASSERT_EQ(int(out.size()), 300 - table.delay());
    for (int k = 0; k < table.length(); ++k)
        EXPECT_NEAR(out[std::size_t(100 - table.delay() + k)], 1000.0 * table[k], 1e-9);
}

TEST(StreamingStagesTest, PiecewiseProcessingOfTheDemoRecordingEqualsDirectSums)
{
    // Lead II of the demo recording through the long tables, which are
    // applied block by block in the frequency domain (outputs in whole
    // blocks), processed after pieces of 37 samples, against
    // y[p] = trunc(sum_k h[k] x[p + D - k]) summed directly: floating-point
    // rounding may move a result across an integer (+/- 1), rarely.
    QFile file(QStringLiteral(VAROR_DATA_DIR "/ecg1000.dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<qint16> input(std::size_t(bytes.size()) / 28);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = qFromLittleEndian<qint16>(bytes.constData() + i * 28 + 2);
    for (const TFirTable* table : {&TFirTables::displayBaseline(), &TFirTables::notch(QStringLiteral("50hz"), 1000)}) {
        ASSERT_GE(table->length(), TFirStage::PartitionedTaps);
        const int d = table->delay();
        TSignalBuffer16 source(1, 1000, Block, Capacity);
        TSignalBuffer16 sink(1, 1000, Block, Capacity);
        TFirFilter stage(*table);
        stage.setSink(&sink);
        stage.attach(&source, 0);
        appendInPieces(source, input, 37, [&] { stage.process(); });
        const int made = (int(input.size()) - d) / TPartitionedFir::Block * TPartitionedFir::Block;
        ASSERT_EQ(sink.appendedCount(), made);
        const std::vector<double> out = readAll(sink, 0);
        int differing = 0;
        for (int p = 0; p < made; ++p) {
            double sum = 0.0;
            for (int k = std::max(0, p + d - int(input.size()) + 1); k < table->length() && p + d - k >= 0; ++k)
                sum += (*table)[k] * input[std::size_t(p + d - k)];
            const double expected = std::trunc(sum);
            ASSERT_NEAR(out[std::size_t(p)], expected, 1.0) << table->length() << " taps, output " << p;
            differing += out[std::size_t(p)] != expected;
        }
        EXPECT_LT(differing, made / 1000) << table->length() << " taps";
    }
}

TEST(StreamingStagesTest, OutputTruncatesTowardZeroAndSaturates)
{
    TSignalBuffer16 source(1, 1000, Block, Capacity);
    TSignalBuffer16 halved(1, 1000, Block, Capacity), doubled(1, 1000, Block, Capacity);
    TFirFilter half(std::vector<double>{0.5});
    TFirFilter twice(std::vector<double>{0.0, 2.0, 0.0});
    half.setSink(&halved);
    half.attach(&source, 0);
    twice.setSink(&doubled);
    twice.attach(&source, 0);
    appendAll(source, {3, -3, 20000, -20000, 16383, -16385, 0});
    half.process();
    twice.process();
    const std::vector<double> h = readAll(halved, 0);
    EXPECT_EQ(h, (std::vector<double>{1, -1, 10000, -10000, 8191, -8192, 0}));
    const std::vector<double> t = readAll(doubled, 0);
    // Delay 1: six outputs; overflow saturates instead of wrapping.
    EXPECT_EQ(t, (std::vector<double>{6, -6, 32767, -32768, 32766, -32768}));
}

TEST(StreamingStagesTest, StageWithoutTapsPassesTheSignalThrough)
{
    TSignalBuffer16 source(2, 500, Block, Capacity);
    TSignalBuffer16 sink(2, 500, Block, Capacity);
    TFirFilter stage(TFirTables::empty());
    stage.setSink(&sink);
    stage.attach(&source, 0);
    const std::vector<qint16> input = noise(1000, 32767, 3);
    appendAll(source, input, true);
    stage.process();
    ASSERT_EQ(sink.appendedCount(), 1000);
    EXPECT_EQ(readAll(sink, 0), readAll(source, 0));
    EXPECT_EQ(readAll(sink, 1), readAll(source, 1));
}

TEST(StreamingStagesTest, BlockMeanOfFactorOneIsAPlainCopy)
{
    // A 250 Hz device: the 250 Hz signal is a copy, one sample behind.
    TSignalBuffer16 source(2, 250, Block, Capacity);
    TSignalBuffer16 sink(2, 250, Block, Capacity);
    TBlockMeanDecimator stage(1);
    stage.setSink(&sink);
    stage.attach(&source, 0);
    const std::vector<qint16> input = noise(1000, 32767, 5);
    appendInPieces(source, input, 33, [&] { stage.process(); });
    ASSERT_EQ(sink.appendedCount(), 999);
    EXPECT_EQ(readAll(sink, 1), readAll(source, 1, 0, 999));
}

TEST(StreamingStagesTest, BlockMeanTruncatesTowardZero)
{
    TSignalBuffer16 source(1, 1000, Block, Capacity);
    TSignalBuffer16 sink(1, 250, Block, Capacity);
    TBlockMeanDecimator stage(4);
    stage.setSink(&sink);
    stage.attach(&source, 0);
    appendAll(source, {1, 2, 3, 1, -1, -2, -3, -1, 32767, 32767, 32767, 32767, 5, 5, 5});
    stage.process();
    // Means 1.75, -1.75, 32767; the last group waits for p + 4 < available.
    EXPECT_EQ(readAll(sink, 0), (std::vector<double>{1, -1, 32767}));
    appendAll(source, {5, 9});
    stage.process();
    EXPECT_EQ(readAll(sink, 0), (std::vector<double>{1, -1, 32767, 5}));
}

TEST(StreamingStagesTest, FirDecimatorMatchesDirectSums)
{
    const TFirTable& c = TFirTables::decimation();
    const std::vector<qint16> input = noise(5000, 20000, 11);
    for (int factor : {1, 2}) {
        SCOPED_TRACE(factor);
        TSignalBuffer16 source(1, 1000, Block, Capacity);
        TSignalBuffer16 sink(1, 1000 / factor, Block, Capacity);
        TFirDecimator stage(factor);
        stage.setSink(&sink);
        stage.attach(&source, 0);
        appendInPieces(source, input, 101, [&] { stage.process(); });
        const std::vector<double> out = readAll(sink, 0);
        std::vector<double> expected;
        if (factor == 1) {
            for (int p = 0; p < 5000 - 15; ++p)
                expected.push_back(input[std::size_t(p)]);
        } else {
            for (int p = 0; p < 5000 - 14 - factor; p += factor) {
                double sum = 0.0;
                for (int j = 0; j < 29; ++j)
                    if (p + 14 - j >= 0)
                        sum += c[j] * input[std::size_t(p + 14 - j)];
                expected.push_back(std::trunc(sum));
            }
        }
        ASSERT_EQ(out.size(), expected.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            EXPECT_NEAR(out[i], expected[i], factor == 1 ? 0.0 : 1.0) << i;
    }
}

TEST(StreamingStagesTest, FftIsTheDft)
{
    const TFft fft(1024);
    std::vector<double> re(1024), im(1024);
    for (int i = 0; i < 1024; ++i) {
        re[std::size_t(i)] = std::sin(0.3 * i) + 0.01 * i;
        im[std::size_t(i)] = std::cos(0.7 * i);
    }
    std::vector<double> tr = re, ti = im;
    fft.transform(tr.data(), ti.data(), false);
    for (int bin : {0, 1, 5, 511, 512, 1023}) {
        std::complex<double> sum = 0.0;
        for (int i = 0; i < 1024; ++i)
            sum += std::complex<double>(re[std::size_t(i)], im[std::size_t(i)])
                * std::polar(1.0, -2.0 * Pi * bin * i / 1024.0);
        EXPECT_NEAR(std::abs(std::complex<double>(tr[std::size_t(bin)], ti[std::size_t(bin)]) - sum), 0.0, 1e-9)
            << bin;
    }
    fft.transform(tr.data(), ti.data(), true); // unscaled: 1024 times the input
    for (int i = 0; i < 1024; i += 97) {
        EXPECT_NEAR(tr[std::size_t(i)] / 1024.0, re[std::size_t(i)], 1e-12);
        EXPECT_NEAR(ti[std::size_t(i)] / 1024.0, im[std::size_t(i)], 1e-12);
    }
}

TEST(StreamingStagesTest, FftBaselineRemovesOffsetAndShiftsBy480)
{
    // A sine on a whole FFT bin (40 cycles per 1024 samples) over a DC
    // offset: the offset goes, the sine stays, and sink sample k is source
    // sample (attach + 480 + k).
    const int rate = 500;
    const double hz = 40.0 * rate / 1024.0;
    TSignalBuffer16 source(1, rate, Block, Capacity);
    TSignalBuffer16 sink(1, rate, Block, Capacity);
    appendAll(source, std::vector<qint16>(100, 0));
    TFftBaselineFilter stage;
    stage.setSink(&sink);
    stage.attach(&source, 100);
    std::vector<qint16> input(5000);
    for (int i = 0; i < 5000; ++i)
        input[std::size_t(i)] = qint16(std::lround(3000.0 + 2000.0 * std::sin(2.0 * Pi * hz * (100 + i) / rate)));
    appendInPieces(source, input, 50, [&] { stage.process(); });
    // Windows start at 100, 164, ...: (5000 - 1024) / 64 + 1 windows.
    ASSERT_EQ(sink.appendedCount(), ((5000 - 1024) / 64 + 1) * 64);
    const std::vector<double> out = readAll(sink, 0);
    for (std::size_t k = 0; k < out.size(); ++k) {
        const double expected = 2000.0 * std::sin(2.0 * Pi * hz * (100 + 480 + double(k)) / rate);
        ASSERT_NEAR(out[k], expected, 2.0) << k;
    }
}

TEST(StreamingStagesTest, MonitorLowPassFollowsTheRate)
{
    for (int rate : {250, 500, 1000}) {
        TSignalBuffer16 raw(14, rate, 4096, 4096 * 10);
        raw.setRange(-300.0, 300.0);
        TMonitorLowPass monitor(&raw);
        EXPECT_EQ(monitor.stage().taps(), TFirTables::monitorLowPass(rate).taps());
        EXPECT_EQ(monitor.stage().nextIndex(), 0);
        EXPECT_EQ(monitor.output()->channelCount(), 14);
        EXPECT_EQ(monitor.output()->samplingRate(), rate);
        EXPECT_EQ(monitor.output()->blockSize(), 4096);
        EXPECT_EQ(monitor.output()->rangeMaximum(), 300.0);
        EXPECT_EQ(monitor.output()->channelName(13), QStringLiteral("CR5"));
        appendAll(raw, sine(2000, rate, 10.0, 1000.0));
        monitor.process();
        EXPECT_EQ(monitor.output()->appendedCount(), 2000 - TFirTables::monitorLowPass(rate).delay());
    }
}

} // namespace
