// Display envelope of a channel against a reference that follows the
// column rules one by one on a plain copy of the data.
#include "analysis/signal/TSignalBuffer16.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using ::testing::ElementsAre;

namespace {

struct Envelope
{
    std::vector<int> minima, maxima;
    int last = 0;
};

// The data as the signal must read it: zero outside the kept window.
struct KeptData
{
    std::vector<qint16> samples;
    int capacity;

    int at(int index) const
    {
        const int appended = int(samples.size());
        if (index < 0 || index >= appended || index < appended - capacity)
            return 0;
        return samples[index];
    }
};

Envelope referenceEnvelope(const KeptData& data, int first, int n, int columns, bool wrap)
{
    const int appended = int(data.samples.size());
    const int width = n / columns;
    const int stride = (width - 1) / 16 + 1;

    std::vector<int> starts, ends;
    int error = 0;
    for (int start = first; int(starts.size()) < columns;) {
        int length = width;
        error += n % columns;
        if (error >= columns) {
            error -= columns;
            length += 1;
        }
        starts.push_back(start);
        ends.push_back(start + length);
        start += length;
    }

    Envelope result;
    for (int k = 0; k < columns; ++k) {
        int begin = k == 0 ? starts[k] : starts[k] - 1;
        int end = ends[k];
        if (wrap && end > appended) {
            begin -= n;
            end -= n;
        }
        std::vector<int> read;
        for (int i = begin; i < end; i += stride)
            read.push_back(data.at(i));
        std::vector<int> candidates = read;
        if (k > 0)
            candidates.push_back(result.last);
        result.minima.push_back(*std::min_element(candidates.begin(), candidates.end()));
        result.maxima.push_back(*std::max_element(candidates.begin(), candidates.end()));
        result.last = read.back();
    }
    return result;
}

Envelope envelopeOf(const TSignal& signal, int first, int n, int columns, bool wrap)
{
    Envelope result;
    result.minima.assign(columns, 12345);
    result.maxima.assign(columns, 12345);
    result.last = signal.channel(0).envelope(first, n, columns, wrap, result.minima.data(), result.maxima.data());
    return result;
}

TEST(SignalEnvelopeTest, SmallRunFollowsTheColumnRules)
{
    TSignalBuffer16 signal(1, 1000, 4, 16);
    const qint16 values[] = {5, 1, 9, 3, 7, 2, 8};
    const qint16* channels[] = {values};
    signal.append(channels, 7);
    // Columns of 2, 2 and 3 samples; later columns start one sample early.
    const Envelope envelope = envelopeOf(signal, 0, 7, 3, false);
    EXPECT_THAT(envelope.minima, ElementsAre(1, 1, 2));
    EXPECT_THAT(envelope.maxima, ElementsAre(5, 9, 8));
    EXPECT_EQ(envelope.last, 8);
}

struct EnvelopeCase
{
    int first, n, columns;
    bool wrap;
};

TEST(SignalEnvelopeTest, MatchesTheReferenceOnRandomData)
{
    std::mt19937 random(20240511);
    std::uniform_int_distribution<int> value(-32768, 32767);
    KeptData data{{}, 6000};
    for (int i = 0; i < 9000; ++i)
        data.samples.push_back(qint16(value(random)));
    TSignalBuffer16 signal(1, 1000, 256, data.capacity);
    const qint16* channels[] = {data.samples.data()};
    signal.append(channels, int(data.samples.size()));

    // The ring keeps indices 3000 .. 8999.
    const EnvelopeCase cases[] = {
        {3100, 1000, 300, false},  // 3 samples a column, remainder 100
        {4100, 997, 13, false},    // 76 a column: stride 5
        {3900, 807, 50, false},    // 16 a column, some 17: the stride stays 1
        {5000, 640, 640, false},   // one sample a column
        {8500, 1000, 333, true},   // the right part wraps back to the previous sweep
        {8500, 1000, 333, false},  // the same run reads zeros past the newest sample
        {8000, 1000, 100, true},   // the last column ends at the newest sample: no wrap
        {6500, 5000, 37, true},    // stride 9, wrapped columns partly older than the ring
        {2500, 700, 61, false},    // starts before the kept window
    };
    for (const EnvelopeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "first " << c.first << ", n " << c.n << ", columns " << c.columns
                                        << (c.wrap ? ", wrap" : ""));
        const Envelope expected = referenceEnvelope(data, c.first, c.n, c.columns, c.wrap);
        const Envelope actual = envelopeOf(signal, c.first, c.n, c.columns, c.wrap);
        EXPECT_EQ(actual.minima, expected.minima);
        EXPECT_EQ(actual.maxima, expected.maxima);
        EXPECT_EQ(actual.last, expected.last);
    }
}

TEST(SignalEnvelopeTest, RunsShorterThanTheColumnsDoNothing)
{
    TSignalBuffer16 signal(1, 1000, 4, 16);
    const qint16 values[] = {5, 1, 9};
    const qint16* channels[] = {values};
    signal.append(channels, 3);
    for (int n : {2, 0, -3}) {
        const Envelope envelope = envelopeOf(signal, 0, n, 3, false);
        EXPECT_EQ(envelope.last, n);
        EXPECT_THAT(envelope.minima, ElementsAre(12345, 12345, 12345));
        EXPECT_THAT(envelope.maxima, ElementsAre(12345, 12345, 12345));
    }
}

} // namespace
