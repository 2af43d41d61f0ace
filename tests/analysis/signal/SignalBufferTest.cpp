// Ring storage and reading rules of the 16-bit and double signals, appends,
// blocks and listeners.
#include "analysis/signal/TSignalBlock.h"
#include "analysis/signal/TSignalBuffer16.h"
#include "analysis/signal/TSignalBufferF64.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

// Channel 0 holds index + 1, channel 1 holds -(index + 1), so every
// kept sample is non-zero and its value tells its index.
void appendRamp(TSignal& signal, int from, int count)
{
    std::vector<qint16> up, down;
    for (int i = from; i < from + count; ++i) {
        up.push_back(qint16(i + 1));
        down.push_back(qint16(-(i + 1)));
    }
    const qint16* channels[] = {up.data(), down.data()};
    signal.append(channels, count);
}

std::vector<double> readRange(const TSignal& signal, int channel, int start, int count)
{
    std::vector<double> values(count, 99.0);
    signal.readRange(channel, start, count, values.data());
    return values;
}

QByteArray frames(const std::vector<qint16>& samples)
{
    QByteArray bytes;
    for (qint16 sample : samples) {
        bytes.append(char(quint16(sample) & 0xff));
        bytes.append(char(quint16(sample) >> 8));
    }
    return bytes;
}

template <typename Signal>
class RingReadTest : public ::testing::Test
{
protected:
    // Two channels, blocks of 4, a ring of 8 samples.
    Signal signal{2, 1000, 4, 8};
};

using RingSignals = ::testing::Types<TSignalBuffer16, TSignalBufferF64>;
TYPED_TEST_SUITE(RingReadTest, RingSignals);

TYPED_TEST(RingReadTest, SamplesOutsideTheKeptWindowReadZero)
{
    appendRamp(this->signal, 0, 12); // keeps indices 4 .. 11
    EXPECT_EQ(this->signal.sample(0, -1), 0);
    EXPECT_EQ(this->signal.sample(0, 12), 0);
    EXPECT_EQ(this->signal.sample(0, 3), 0);
    EXPECT_EQ(this->signal.sample(0, 4), 5);
    EXPECT_EQ(this->signal.sample(0, 11), 12);
    EXPECT_EQ(this->signal.sample(2, 7), 0);
    EXPECT_EQ(this->signal.sample(-1, 7), 0);
}

TYPED_TEST(RingReadTest, RangeReadsZeroFillAroundTheKeptWindow)
{
    appendRamp(this->signal, 0, 12);
    EXPECT_THAT(readRange(this->signal, 0, 2, 6), ElementsAre(0, 0, 5, 6, 7, 8));
    // Slots 5, 6, 7, 0, 1, 2, 3: the copy crosses the ring end.
    EXPECT_THAT(readRange(this->signal, 1, 5, 10), ElementsAre(-6, -7, -8, -9, -10, -11, -12, 0, 0, 0));
    EXPECT_THAT(readRange(this->signal, 0, -5, 3), ElementsAre(0, 0, 0));
    EXPECT_THAT(readRange(this->signal, 0, 20, 2), ElementsAre(0, 0));
    EXPECT_THAT(readRange(this->signal, 5, 6, 2), ElementsAre(0, 0));
}

TYPED_TEST(RingReadTest, AppendLongerThanTheRingKeepsTheNewestSamples)
{
    appendRamp(this->signal, 0, 3);
    appendRamp(this->signal, 3, 20); // keeps 15 .. 22
    EXPECT_THAT(readRange(this->signal, 0, 13, 11), ElementsAre(0, 0, 16, 17, 18, 19, 20, 21, 22, 23, 0));
    appendRamp(this->signal, 23, 2);
    EXPECT_THAT(readRange(this->signal, 0, 16, 9), ElementsAre(0, 18, 19, 20, 21, 22, 23, 24, 25));
    EXPECT_EQ(this->signal.writePosition(), 25 % 8);
}

TYPED_TEST(RingReadTest, InterleavedFramesWrapAndDropATrailingPartialFrame)
{
    // Six frames and one byte of a seventh.
    QByteArray bytes = frames({-2, 300, 7, -32768, 1, 2, 3, 4, 5, 6, 7, 8});
    bytes.append('\x01');
    this->signal.appendInterleaved(bytes.constData(), bytes.size());
    EXPECT_EQ(this->signal.appendedCount(), 6);
    this->signal.appendInterleaved(bytes.constData(), 3);
    EXPECT_EQ(this->signal.appendedCount(), 6);
    this->signal.appendInterleaved(bytes.constData(), 4 * 4); // keeps 2 .. 9
    EXPECT_THAT(readRange(this->signal, 0, 0, 11), ElementsAre(0, 0, 1, 3, 5, 7, -2, 7, 1, 3, 0));
    EXPECT_THAT(readRange(this->signal, 1, 0, 11), ElementsAre(0, 0, 2, 4, 6, 8, 300, -32768, 2, 4, 0));
}

TYPED_TEST(RingReadTest, BlocksBeyondTheCompleteCountAreAbsent)
{
    appendRamp(this->signal, 0, 11);
    EXPECT_EQ(this->signal.completeBlockCount(), 2);
    EXPECT_EQ(this->signal.readBlock(0, 2), nullptr);
    EXPECT_EQ(this->signal.readBlock(0, -1), nullptr);
    EXPECT_EQ(this->signal.readBlock(2, 1), nullptr);

    appendRamp(this->signal, 11, 1); // keeps 4 .. 11
    TSignalBlock gone(this->signal, 0, 0);
    TSignalBlock kept(this->signal, 1, 2);
    ASSERT_FALSE(gone.isNull());
    ASSERT_FALSE(kept.isNull());
    EXPECT_THAT(std::vector<qint16>(gone.data(), gone.data() + 4), ElementsAre(0, 0, 0, 0));
    EXPECT_THAT(std::vector<qint16>(kept.data(), kept.data() + 4), ElementsAre(-9, -10, -11, -12));
}

TEST(SignalBufferTest, DoublesConvertByTruncationTowardZero)
{
    TSignalBuffer16 counts(1, 500, 4, 16);
    TSignalBufferF64 doubles(1, 500, 4, 16);
    const double values[] = {2.9, -2.9, 40000.5, -40000.5};
    const double* channels[] = {values};
    counts.append(channels, 4);
    doubles.append(channels, 4);
    EXPECT_THAT(readRange(counts, 0, 0, 4), ElementsAre(2, -2, 32767, -32768));
    EXPECT_THAT(readRange(doubles, 0, 0, 4), ElementsAre(2.9, -2.9, 40000.5, -40000.5));
    EXPECT_EQ(doubles.sample(0, 1), -2);
    TSignalBlock block(doubles, 0, 0);
    ASSERT_FALSE(block.isNull());
    EXPECT_THAT(std::vector<qint16>(block.data(), block.data() + 4), ElementsAre(2, -2, 32767, -32768));
}

TEST(SignalDescriptionTest, NamesScaleAndShape)
{
    TSignalBuffer16 signal(16, 1000, 4096, 4096);
    EXPECT_EQ(signal.channelName(13), "CR5");
    EXPECT_EQ(signal.channelName(14), "");
    EXPECT_DOUBLE_EQ(signal.lsb(), 2.0 / 65536.0);
    signal.setRange(-300.0, 300.0);
    signal.setResolutionBits(12);
    EXPECT_DOUBLE_EQ(signal.lsb(), 600.0 / 4096.0);
    EXPECT_EQ(signal.timeToSamples(0.0025), 3);

    EXPECT_THROW(TSignalBuffer16(17, 1000, 4, 8), std::invalid_argument);
    EXPECT_THROW(TSignalBuffer16(2, 1000, 0, 8), std::invalid_argument);
    EXPECT_THROW(TSignalBufferF64(2, 1000, 4, 0), std::invalid_argument);
}

// Records which listener was told and the appended count it saw.
struct Recorder : TSignalListener
{
    Recorder(const char* name, std::vector<std::pair<std::string, int>>* log) : name(name), log(log) {}
    void signalAppended(TSignal* signal) override { log->emplace_back(name, signal->appendedCount()); }
    std::string name;
    std::vector<std::pair<std::string, int>>* log;
};

TEST(SignalListenerTest, ToldAfterEveryAppendInTheOrderAdded)
{
    std::vector<std::pair<std::string, int>> log;
    Recorder first("first", &log), second("second", &log);
    TSignalBuffer16 signal(2, 1000, 4, 8);
    signal.addListener(&second);
    signal.addListener(&first);
    signal.addListener(&second);

    appendRamp(signal, 0, 3);
    const QByteArray bytes = frames({1, 2, 3, 4});
    signal.appendInterleaved(bytes.constData(), bytes.size());
    const double values[] = {1.0};
    const double* channels[] = {values, values};
    signal.append(channels, 1);
    signal.append(channels, 0);
    signal.removeListener(&second);
    appendRamp(signal, 6, 1);

    EXPECT_THAT(log, ElementsAre(Pair("second", 3), Pair("first", 3), Pair("second", 5), Pair("first", 5),
                                 Pair("second", 6), Pair("first", 6), Pair("first", 7)));
}

// A signal that only hands out blocks, to watch them being released.
class BlockSignal : public TSignal
{
public:
    BlockSignal() : TSignal(1, 1000, 4, 16) {}
    MOCK_METHOD(int, sample, (int, int), (const, override));
    MOCK_METHOD(void, readRange, (int, int, int, double*), (const, override));
    MOCK_METHOD(qint16*, readBlock, (int, int), (const, override));
    MOCK_METHOD(void, releaseBlock, (qint16*), (const, override));
};

TEST(SignalBlockTest, ReleasesEachBlockExactlyOnce)
{
    BlockSignal signal;
    qint16 first[4] = {}, second[4] = {};
    EXPECT_CALL(signal, readBlock(0, 1)).WillOnce(::testing::Return(first));
    EXPECT_CALL(signal, readBlock(0, 2)).WillOnce(::testing::Return(second));
    {
        ::testing::InSequence order;
        EXPECT_CALL(signal, releaseBlock(second));
        EXPECT_CALL(signal, releaseBlock(first));
    }
    TSignalBlock held(signal, 0, 1);
    TSignalBlock moved(std::move(held));
    EXPECT_TRUE(held.isNull());
    EXPECT_EQ(moved.data(), first);
    TSignalBlock other(signal, 0, 2);
    other = std::move(moved); // gives back `second`, takes over `first`
    EXPECT_EQ(other.data(), first);
    other.reset();
    EXPECT_TRUE(other.isNull());
}

TEST(SignalBaseTest, AppendsOfTheBaseOnlyTellListeners)
{
    std::vector<std::pair<std::string, int>> log;
    Recorder recorder("base", &log);
    BlockSignal signal;
    signal.addListener(&recorder);
    const qint16 sample = 1;
    const qint16* channels[] = {&sample};
    signal.append(channels, 1);
    signal.appendInterleaved("\x01\x00", 2);
    EXPECT_THAT(log, ElementsAre(Pair("base", 0), Pair("base", 0)));
}

} // namespace
