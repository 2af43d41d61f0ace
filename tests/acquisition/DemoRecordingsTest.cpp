// The two committed demo recordings (data/ecg1000.dat, data/ecg500.dat).
#include "acquisition/TDemoAcqSource.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Channels = 14;
constexpr int FrameBytes = 28;

struct Recording {
    const char* name;
    int rate;
};

const Recording recordings[] = {{"ecg1000.dat", 1000}, {"ecg500.dat", 500}};

QString pathOf(const char* name)
{
    return QStringLiteral(VAROR_DATA_DIR "/") + QLatin1String(name);
}

// Samples of one channel.
std::vector<int> channel(const QByteArray& bytes, int lead)
{
    const int frames = bytes.size() / FrameBytes;
    std::vector<int> values(static_cast<std::size_t>(frames));
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    for (int frame = 0; frame < frames; ++frame)
        values[std::size_t(frame)] = qFromLittleEndian<qint16>(data + frame * FrameBytes + 2 * lead);
    return values;
}

QByteArray readAll(const char* name)
{
    QFile file(pathOf(name));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

TEST(DemoRecordings, AreWholeFramesAndAtLeastThirtySeconds)
{
    for (const Recording& recording : recordings) {
        const QByteArray bytes = readAll(recording.name);
        ASSERT_FALSE(bytes.isEmpty()) << recording.name;
        EXPECT_EQ(bytes.size() % FrameBytes, 0) << recording.name;
        EXPECT_GE(bytes.size() / FrameBytes, 30 * recording.rate) << recording.name;
    }
    // The same loop at both rates.
    EXPECT_EQ(readAll("ecg1000.dat").size(), 2 * readAll("ecg500.dat").size());
}

TEST(DemoRecordings, OpenAsDemoSources)
{
    for (const Recording& recording : recordings)
        EXPECT_NO_THROW(TDemoAcqSource(pathOf(recording.name), Channels, recording.rate, 2, 16, 300.0, 0));
}

// The wrap from the last frame to the first is no larger in any lead than a
// step between neighbouring samples commonly is, and it falls where the
// signal is quiet (between beats, not inside a QRS complex).
TEST(DemoRecordings, LoopWrapsWithoutAStepBetweenBeats)
{
    for (const Recording& recording : recordings) {
        const QByteArray bytes = readAll(recording.name);
        ASSERT_FALSE(bytes.isEmpty());
        for (int lead = 0; lead < Channels; ++lead) {
            const std::vector<int> x = channel(bytes, lead);
            const int n = int(x.size());
            std::vector<int> steps;
            for (int i = 1; i < n; ++i)
                steps.push_back(std::abs(x[std::size_t(i)] - x[std::size_t(i - 1)]));
            std::nth_element(steps.begin(), steps.begin() + long(steps.size() * 9 / 10), steps.end());
            const int usualStep = steps[steps.size() * 9 / 10];
            EXPECT_LE(std::abs(x.front() - x.back()), std::max(usualStep, 2))
                << recording.name << " lead " << lead;

            // Around the wrap (100 ms either side) the lead moves little
            // compared with its full excursion, which a QRS would not allow.
            const auto [low, high] = std::minmax_element(x.begin(), x.end());
            const int span = recording.rate / 10;
            int nearMin = x.front();
            int nearMax = x.front();
            for (int i = -span; i < span; ++i) {
                const int value = x[std::size_t((i + n) % n)];
                nearMin = std::min(nearMin, value);
                nearMax = std::max(nearMax, value);
            }
            EXPECT_LE(nearMax - nearMin, (*high - *low) / 4) << recording.name << " lead " << lead;
        }
    }
}

// The derived chest leads follow their formulas (data/README.md).
TEST(DemoRecordings, CR5AndCM5FollowTheirFormulas)
{
    const QByteArray bytes = readAll("ecg1000.dat");
    ASSERT_FALSE(bytes.isEmpty());
    const std::vector<int> aVR = channel(bytes, 3);
    const std::vector<int> aVF = channel(bytes, 5);
    const std::vector<int> v5 = channel(bytes, 10);
    const std::vector<int> cm5 = channel(bytes, 12);
    const std::vector<int> cr5 = channel(bytes, 13);
    for (std::size_t i = 0; i < v5.size(); ++i) {
        // Each lead is rounded to counts on its own: allow 2 counts.
        ASSERT_NEAR(cr5[i], v5[i] - 2.0 / 3.0 * aVR[i], 2.0) << "frame " << i;
        ASSERT_NEAR(cm5[i], v5[i] + aVF[i] / 3.0, 2.0) << "frame " << i;
    }
}
