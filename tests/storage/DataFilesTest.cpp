// The data files of a study: TEcgFile (create and open mode, counted
// blocks, the partial last block, the tail window, cut files) and
// TBeatsFile (records byte for byte, read-back flags, update, exclude and
// include, cut files), each checked against bytes assembled here.
#include "StorageTestSupport.h"

#include "analysis/filters/TFilteredSignalView.h"
#include "analysis/filters/TFirBlockFilter.h"
#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Little-endian bytes spelled out here, independent of the code under test.
void putLE(QByteArray& bytes, int at, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xff);
}

void putDouble(QByteArray& bytes, int at, double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, 8);
    putLE(bytes, at, bits, 8);
}

// The value of sample i of channel c in the synthetic recordings.
qint16 synthetic(int channel, int i)
{
    return qint16((i * 13 + channel * 1000) % 30000 - 15000);
}

QByteArray frames(int channels, int first, int count)
{
    QByteArray bytes(2 * channels * count, '\0');
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c)
            putLE(bytes, 2 * (i * channels + c), quint16(synthetic(c, first + i)), 2);
    return bytes;
}

// Appends `count` synthetic samples per channel through the array form.
void appendSynthetic(TEcgFile& file, int first, int count)
{
    const int channels = file.channelCount();
    std::vector<std::vector<qint16>> data(channels, std::vector<qint16>(count));
    std::vector<const qint16*> pointers(channels);
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < count; ++i)
            data[c][i] = synthetic(c, first + i);
        pointers[c] = data[c].data();
    }
    file.append(pointers.data(), count);
}

class CountingListener : public TSignalListener
{
public:
    void signalAppended(TSignal*) override { ++calls; }
    int calls = 0;
};

class DataFilesTest : public ::testing::Test
{
protected:
    TempStorageEnvironment env;
};

TEST_F(DataFilesTest, CreatedEcgFileHasAZeroHeaderArea)
{
    const QString path = env.path("a.pxecg");
    TEcgFile file(path, 3, 1000, 4096, true);
    EXPECT_TRUE(file.isWritable());
    EXPECT_EQ(file.sampleCount(), 0);
    EXPECT_EQ(file.blockCount(), 0);
    EXPECT_EQ(readAll(path), QByteArray(4096, '\0'));

    EXPECT_TRUE(file.writeHeader(QByteArray("PXECG1{\"a\":1}")));
    QByteArray expected(4096, '\0');
    expected.replace(0, 13, "PXECG1{\"a\":1}");
    EXPECT_EQ(readAll(path), expected);

    EXPECT_TRUE(file.writeHeader(QByteArray(5000, 'h')));
    EXPECT_EQ(readAll(path), QByteArray(4096, 'h')) << "longer data are cut at the header area";
}

TEST_F(DataFilesTest, AppendsWriteFramesAndReachTheSystemAtOnce)
{
    const QString path = env.path("a.pxecg");
    TEcgFile file(path, 3, 1000, 4096, true);
    CountingListener listener;
    file.addListener(&listener);

    appendSynthetic(file, 0, 100);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(file.sampleCount(), 100);
    EXPECT_EQ(file.appendedCount(), 100);
    // Read through a second handle while the file is still open: the samples
    // are already with the operating system.
    EXPECT_EQ(readAll(path), QByteArray(4096, '\0') + frames(3, 0, 100));

    // Interleaved bytes are appended unchanged, a partial frame dropped.
    QByteArray more = frames(3, 100, 10);
    file.appendInterleaved(more.constData(), more.size() + 0);
    QByteArray partial = frames(3, 110, 2);
    file.appendInterleaved(partial.constData(), 7);
    EXPECT_EQ(file.sampleCount(), 111);
    EXPECT_EQ(readAll(path), QByteArray(4096, '\0') + frames(3, 0, 111));
    EXPECT_EQ(listener.calls, 3);

    file.appendInterleaved(partial.constData(), 5);  // no whole frame: nothing
    appendSynthetic(file, 111, 0);
    EXPECT_EQ(listener.calls, 3);
    EXPECT_FALSE(file.hasWriteError());
    file.removeListener(&listener);
}

TEST_F(DataFilesTest, DoublesAreTruncatedToTheirLowSixteenBits)
{
    const QString path = env.path("a.pxecg");
    TEcgFile file(path, 1, 1000, 4096, true);
    const double values[] = {1.9, -1.9, 32767.0, 32768.0, 70000.9, -40000.0, 0.0, NAN};
    const double* channels[] = {values};
    file.append(channels, 8);
    const qint16 expected[] = {1, -1, 32767, -32768, qint16(70000 & 0xffff), qint16(-40000 + 65536), 0, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(file.sample(0, i), expected[i]) << i;
}

TEST_F(DataFilesTest, CreateModeCountsCompleteBlocksAndServesTheRestFromTheTail)
{
    const QString path = env.path("a.pxecg");
    TEcgFile file(path, 2, 1000, 4096, true);
    appendSynthetic(file, 0, 8191);
    EXPECT_EQ(file.blockCount(), 0);
    EXPECT_EQ(file.readBlock(0, 0), nullptr);
    EXPECT_EQ(file.sample(1, 8190), synthetic(1, 8190)) << "from the tail window";

    appendSynthetic(file, 8191, 20000 - 8191);
    EXPECT_EQ(file.sampleCount(), 20000);
    EXPECT_EQ(file.blockCount(), 2);
    EXPECT_EQ(file.completeBlockCount(), 2);
    for (int i : {0, 1, 8191, 8192, 16383, 16384, 19999})
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(file.sample(c, i), synthetic(c, i)) << c << ":" << i;
    EXPECT_EQ(file.sample(0, -1), 0);
    EXPECT_EQ(file.sample(0, 20000), 0);
    EXPECT_EQ(file.sample(2, 5), 0) << "no such channel";

    // The tail window is reloaded for samples appended after it was read.
    appendSynthetic(file, 20000, 30000);
    EXPECT_EQ(file.sample(0, 49999), synthetic(0, 49999));
    EXPECT_EQ(file.sample(1, 20000), synthetic(1, 20000));
    EXPECT_EQ(file.sample(0, 48000), synthetic(0, 48000));
    EXPECT_EQ(file.blockCount(), 50000 / 8192);

    std::vector<double> range(30000);
    file.readRange(1, 49990 - 29990, 30000, range.data());
    for (int k = 0; k < 30000; ++k) {
        const int i = 20000 + k;
        ASSERT_EQ(range[k], i < 50000 ? synthetic(1, i) : 0) << i;
    }

    qint16* block = file.readBlock(1, 1);
    ASSERT_NE(block, nullptr);
    for (int k = 0; k < 8192; ++k)
        ASSERT_EQ(block[k], synthetic(1, 8192 + k));
    file.releaseBlock(block);
}

TEST_F(DataFilesTest, OpenModeServesThePartialLastBlockThroughTheCache)
{
    const QString path = env.path("b.pxecg");
    const int n = 2 * 8192 + 100;
    ASSERT_TRUE(writeAll(path, QByteArray(4096, '\0') + frames(3, 0, n)));
    TEcgFile file(path, 3, 500);
    EXPECT_FALSE(file.isWritable());
    EXPECT_EQ(file.samplingRate(), 500);
    EXPECT_EQ(file.sampleCount(), n);
    EXPECT_EQ(file.blockCount(), 3) << "the partial block counts";

    qint16* last = file.readBlock(2, 2);
    ASSERT_NE(last, nullptr);
    for (int k = 0; k < 8192; ++k)
        ASSERT_EQ(last[k], k < 100 ? synthetic(2, 16384 + k) : 0) << k;
    file.releaseBlock(last);
    EXPECT_EQ(file.readBlock(0, 3), nullptr);
    EXPECT_EQ(file.readBlock(0, -1), nullptr);

    EXPECT_EQ(file.sample(0, -1), 0);
    EXPECT_EQ(file.sample(0, n), 0);
    EXPECT_EQ(file.sample(0, n - 1), synthetic(0, n - 1));

    std::vector<double> range(30);
    file.readRange(0, -10, 30, range.data());
    for (int k = 0; k < 30; ++k)
        EXPECT_EQ(range[k], k < 10 ? 0 : synthetic(0, k - 10));
    file.readRange(1, n - 10, 30, range.data());
    for (int k = 0; k < 30; ++k)
        EXPECT_EQ(range[k], k < 10 ? synthetic(1, n - 10 + k) : 0);

    // Appending in open mode does nothing.
    appendSynthetic(file, n, 10);
    EXPECT_EQ(file.sampleCount(), n);
    EXPECT_EQ(QFile(path).size(), 4096 + 6 * n);
}

TEST_F(DataFilesTest, ReviewViewOfAClosedRecordingReachesItsLastSample)
{
    // A recording rarely ends on a block boundary; filtered for review it
    // must still show its last seconds, not zeros after the last full block.
    const QString path = env.path("tail.pxecg");
    const int n = 2 * 8192 + 3000;
    ASSERT_TRUE(writeAll(path, QByteArray(4096, '\0') + frames(2, 0, n)));
    TEcgFile file(path, 2, 1000);
    TFilteredSignalView view(&file, std::make_unique<TFirBlockFilter>(TFirTable()));
    EXPECT_EQ(view.appendedCount(), n);
    EXPECT_EQ(view.sample(1, n - 1), synthetic(1, n - 1));
    EXPECT_EQ(view.sample(1, n), 0);
    std::vector<double> tail(20);
    view.readRange(0, n - 10, 20, tail.data());
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(tail[k], k < 10 ? synthetic(0, n - 10 + k) : 0) << k;
}

TEST_F(DataFilesTest, FileCutMidFrameOpensWithItsCompleteFrames)
{
    const QString path = env.path("cut.pxecg");
    {
        TEcgFile file(path, 14, 1000, 4096, true);
        appendSynthetic(file, 0, 1000);
    }
    // Power loss in the middle of a frame.
    QByteArray bytes = readAll(path);
    bytes.chop(11);
    ASSERT_TRUE(writeAll(path, bytes));

    TEcgFile file(path, 14, 1000);
    EXPECT_EQ(file.sampleCount(), 999);
    EXPECT_EQ(file.sample(13, 998), synthetic(13, 998));
    EXPECT_EQ(file.sample(0, 999), 0);
}

TEST_F(DataFilesTest, HeaderOnlyAndShorterFilesHaveNoSamples)
{
    ASSERT_TRUE(writeAll(env.path("h.pxecg"), QByteArray(4096, '\0')));
    EXPECT_EQ(TEcgFile(env.path("h.pxecg"), 2, 1000).sampleCount(), 0);
    ASSERT_TRUE(writeAll(env.path("s.pxecg"), QByteArray(100, '\0')));
    TEcgFile shorter(env.path("s.pxecg"), 2, 1000);
    EXPECT_EQ(shorter.sampleCount(), 0);
    EXPECT_EQ(shorter.blockCount(), 0);
    EXPECT_EQ(shorter.sample(0, 0), 0);
    ASSERT_TRUE(writeAll(env.path("p.pxecg"), QByteArray(4096 + 3, '\0')));
    EXPECT_EQ(TEcgFile(env.path("p.pxecg"), 2, 1000).sampleCount(), 0) << "a trailing partial frame is ignored";
}

TEST_F(DataFilesTest, EcgFileFailures)
{
    EXPECT_EQ(thrownMessage([&] { TEcgFile(env.path("no/such/x.pxecg"), 2, 1000, 4096, true); }),
              "Cannot create file");
    EXPECT_EQ(thrownMessage([&] { TEcgFile(env.path("missing.pxecg"), 2, 1000); }), "Cannot open file");
    EXPECT_FALSE(QFile::exists(env.path("missing.pxecg")));
}

// A beat record assembled by hand for `channels` leads.
QByteArray handRecord(int channels)
{
    QByteArray record(56 + 80 * channels, '\0');
    putDouble(record, 0, 12.5);
    putDouble(record, 8, 0.75);
    putDouble(record, 16, 12.8);
    putDouble(record, 24, 0.9);
    putDouble(record, 32, 0.0);
    putDouble(record, 40, 0.5);
    putLE(record, 48, quint32(qint32(-1)), 4);
    for (int lead = 0; lead < channels; ++lead) {
        const int at = 56 + 80 * lead;
        putLE(record, at + 0, 1, 4);
        putDouble(record, at + 8, 12.6);
        putDouble(record, at + 16, 12.7);
        putDouble(record, at + 24, lead == 0 ? 0.0 : 12.8);
        putDouble(record, at + 32, 12.9);
        putDouble(record, at + 40, 13.1);
        putLE(record, at + 48, quint16(qint16(-1)), 2);  // mark 7
        putLE(record, at + 50, 1, 2);                     // mark 6
        putLE(record, at + 52, quint16(qint16(-1)), 2);  // mark 8
        putDouble(record, at + 56, 0.1);
        putDouble(record, at + 64, 0.2);
        putDouble(record, at + 72, lead == 1 ? -0.3 : 0.3);
    }
    return record;
}

TBeat handBeat(const TSignal* signal, int channels)
{
    TBeat beat(signal);
    beat.setWindowStart(12.5);
    beat.setWindowLength(0.75);
    beat.setValue(TBeat::QrsTime, 12.8);
    beat.setValue(TBeat::RrInterval, 0.9);
    beat.setValue(TBeat::MeanRrInterval, 0.0);
    beat.setValue(TBeat::LeadAgreement, 0.5);
    beat.setBeatClass(-1);
    for (int lead = 0; lead < channels; ++lead) {
        beat.setMark(lead, TBeat::LeadUsable, 1.7);
        beat.setMark(lead, TBeat::PWave, 12.6);
        beat.setMark(lead, TBeat::FirstQrsWave, 12.7);
        if (lead != 0)
            beat.setMark(lead, TBeat::MainQrsWave, 12.8);
        beat.setMark(lead, TBeat::LastQrsWave, 12.9);
        beat.setMark(lead, TBeat::TWave, 13.1);
        beat.setMark(lead, TBeat::QrsPolarity, 1.0);
        beat.setMark(lead, TBeat::PPolarity, -1.0);
        beat.setMark(lead, TBeat::TPolarity, -1.9);
        beat.setMark(lead, TBeat::QrsWindow, 0.1);
        beat.setMark(lead, TBeat::PToQrsWindow, 0.2);
        beat.setMark(lead, TBeat::QrsToTWindow, lead == 1 ? -0.3 : 0.3);
    }
    return beat;
}

TEST_F(DataFilesTest, BeatRecordsAreWrittenByteForByte)
{
    const QString ecgPath = env.path("a.pxecg");
    const QString path = env.path("a.pxbeats");
    TEcgFile ecg(ecgPath, 3, 1000, 4096, true);
    TBeatsFile beats(&ecg, path, 256, true);
    EXPECT_EQ(beats.recordSize(), 56 + 80 * 3);
    EXPECT_EQ(readAll(path), QByteArray(256, '\0'));
    EXPECT_TRUE(beats.writeHeader(QByteArray("PXBEATS1")));

    const TBeat beat = handBeat(&ecg, 3);
    EXPECT_EQ(beats.append(beat), 0);
    EXPECT_EQ(beats.append(beat), 1);
    EXPECT_EQ(beats.count(), 2);

    QByteArray header(256, '\0');
    header.replace(0, 8, "PXBEATS1");
    EXPECT_EQ(readAll(path), header + handRecord(3) + handRecord(3));
}

TEST_F(DataFilesTest, BeatRecordsReadBackWithTheirFlags)
{
    const QString path = env.path("a.pxbeats");
    QByteArray header(256, '\0');
    header.replace(0, 8, "PXBEATS1");
    ASSERT_TRUE(writeAll(path, header + handRecord(2) + handRecord(2)));
    ASSERT_TRUE(writeAll(env.path("a.pxecg"), QByteArray(4096, '\0')));
    TEcgFile ecg(env.path("a.pxecg"), 2, 1000);
    TBeatsFile beats(&ecg, path);
    ASSERT_EQ(beats.count(), 2);

    TBeat beat;
    EXPECT_FALSE(beats.read(2, beat));
    EXPECT_FALSE(beats.read(-1, beat));
    ASSERT_TRUE(beats.read(1, beat));
    EXPECT_EQ(beat.number(), 1);
    EXPECT_EQ(beat.signal(), &ecg);
    EXPECT_EQ(beat.windowStart(), 12.5);
    EXPECT_EQ(beat.windowLength(), 0.75);
    EXPECT_EQ(beat.value(TBeat::QrsTime), 12.8);
    EXPECT_EQ(beat.beatClass(), -1);
    EXPECT_FALSE(beat.isValid());
    for (int lead = 0; lead < 2; ++lead) {
        EXPECT_TRUE(beat.isMarkSet(lead, TBeat::LeadUsable));
        EXPECT_EQ(beat.mark(lead, TBeat::LeadUsable), 1.0);
        EXPECT_EQ(beat.mark(lead, TBeat::PPolarity), -1.0) << "mark 7 at +48";
        EXPECT_EQ(beat.mark(lead, TBeat::QrsPolarity), 1.0) << "mark 6 at +50";
        EXPECT_EQ(beat.mark(lead, TBeat::TPolarity), -1.0) << "mark 8 at +52";
        EXPECT_TRUE(beat.isMarkSet(lead, TBeat::TPolarity));
        EXPECT_EQ(beat.mark(lead, TBeat::TWave), 13.1);
    }
    EXPECT_FALSE(beat.isMarkSet(0, TBeat::MainQrsWave)) << "stored as 0: unset";
    EXPECT_TRUE(beat.isMarkSet(1, TBeat::MainQrsWave));
    EXPECT_FALSE(beat.isMarkSet(1, TBeat::QrsToTWindow)) << "negative: unset";
    EXPECT_TRUE(beat.isMarkSet(0, TBeat::QrsToTWindow));
}

TEST_F(DataFilesTest, UpdateExcludeAndInclude)
{
    TEcgFile ecg(env.path("a.pxecg"), 2, 1000, 4096, true);
    TBeatsFile beats(&ecg, env.path("a.pxbeats"), 256, true);
    TBeat beat = handBeat(&ecg, 2);
    beat.setBeatClass(5);
    beats.append(beat);
    beats.append(beat);

    TBeat read;
    ASSERT_TRUE(beats.read(1, read));
    read.setWindowStart(99.0);
    beats.update(read);
    read.setNumber(7);
    read.setWindowStart(55.0);
    beats.update(read);  // out of range: nothing
    ASSERT_TRUE(beats.read(1, read));
    EXPECT_EQ(read.windowStart(), 99.0);
    EXPECT_EQ(beats.count(), 2);
    EXPECT_EQ(QFile(env.path("a.pxbeats")).size(), 256 + 2 * beats.recordSize());

    beats.exclude(0);
    ASSERT_TRUE(beats.read(0, read));
    EXPECT_EQ(read.beatClass(), -1);
    beats.include(0);
    ASSERT_TRUE(beats.read(0, read));
    EXPECT_EQ(read.beatClass(), 0) << "include gives class 0, not the earlier 5";
    beats.exclude(2);
    beats.include(-1);
    EXPECT_EQ(beats.count(), 2);
}

TEST_F(DataFilesTest, BeatsFileCutMidRecordCountsWholeRecordsAndAppendsInPlace)
{
    const QString path = env.path("a.pxbeats");
    TEcgFile ecg(env.path("a.pxecg"), 2, 1000, 4096, true);
    {
        TBeatsFile beats(&ecg, path, 256, true);
        for (int i = 0; i < 3; ++i)
            beats.append(handBeat(&ecg, 2));
    }
    QByteArray bytes = readAll(path);
    bytes.chop(50);
    ASSERT_TRUE(writeAll(path, bytes));

    TBeatsFile beats(&ecg, path);
    EXPECT_EQ(beats.count(), 2);
    EXPECT_EQ(beats.append(handBeat(&ecg, 2)), 2);
    EXPECT_EQ(QFile(path).size(), 256 + 3 * beats.recordSize()) << "the partial record was overwritten";
    TBeat read;
    EXPECT_TRUE(beats.read(2, read));
    EXPECT_EQ(read.windowStart(), 12.5);
}

TEST_F(DataFilesTest, BeatsFileFailures)
{
    TEcgFile ecg(env.path("a.pxecg"), 2, 1000, 4096, true);
    EXPECT_EQ(thrownMessage([&] { TBeatsFile(&ecg, env.path("no/such/a.pxbeats"), 256, true); }),
              "Cannot create file");
    EXPECT_EQ(thrownMessage([&] { TBeatsFile(&ecg, env.path("missing.pxbeats")); }), "Cannot open file");
    EXPECT_FALSE(QFile::exists(env.path("missing.pxbeats"))) << "opening never creates the file";
}

} // namespace
