// The converter of tools/wfdb2demo that makes the demo recordings.
#include "DemoConversion.h"

#include "analysis/filters/TFirDesign.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

// A record with the given signal names, signal k holding the constant k + 1 mV.
TWfdbRecord constantRecord(const QStringList& names)
{
    TWfdbRecord record;
    record.header.samplingFrequency = 1000.0;
    for (int k = 0; k < names.size(); ++k) {
        TWfdbSignalInfo signalInfo;
        signalInfo.description = names[k];
        record.header.signalInfos.push_back(signalInfo);
        record.millivolts.push_back(std::vector<double>(3, k + 1.0));
    }
    return record;
}

} // namespace

TEST(DemoConversion, MapsLeadsByNameIgnoringCaseAndDerivesTheMissingOnes)
{
    const QStringList names = {QStringLiteral("v6"), QStringLiteral("V5"), QStringLiteral("v4"), QStringLiteral("V3"),
                               QStringLiteral("v2"), QStringLiteral("V1"), QStringLiteral("ii"), QStringLiteral("I"),
                               QStringLiteral("vx")};
    QStringList notes;
    const auto leads = DemoConversion::mapLeads(constantRecord(names), &notes);
    ASSERT_EQ(leads.size(), 14u);
    const double v6 = 1, v5 = 2, v4 = 3, v3 = 4, v2 = 5, v1 = 6, ii = 7, i = 8;
    const double expected[14] = {i,        ii,         ii - i,   -(i + ii) / 2, i - ii / 2,          ii - i / 2, v1,
                                 v2,       v3,         v4,       v5,            v6,                  0,          0};
    for (int lead = 0; lead < 12; ++lead)
        EXPECT_DOUBLE_EQ(leads[std::size_t(lead)][0], expected[lead]) << lead;
    const double aVR = -(i + ii) / 2;
    const double aVF = ii - i / 2;
    EXPECT_DOUBLE_EQ(leads[12][0], v5 + aVF / 3.0); // CM5
    EXPECT_DOUBLE_EQ(leads[13][0], v5 - 2.0 / 3.0 * aVR); // CR5
    EXPECT_EQ(notes.size(), 6);
}

TEST(DemoConversion, TakesCM5AndCR5FromTheRecordWhenPresent)
{
    const QStringList names = {QStringLiteral("I"),  QStringLiteral("II"), QStringLiteral("III"),
                               QStringLiteral("aVR"), QStringLiteral("aVL"), QStringLiteral("aVF"),
                               QStringLiteral("V1"), QStringLiteral("V2"), QStringLiteral("V3"),
                               QStringLiteral("V4"), QStringLiteral("V5"), QStringLiteral("V6"),
                               QStringLiteral("cm5"), QStringLiteral("CR5")};
    QStringList notes;
    const auto leads = DemoConversion::mapLeads(constantRecord(names), &notes);
    for (int lead = 0; lead < 14; ++lead)
        EXPECT_DOUBLE_EQ(leads[std::size_t(lead)][0], lead + 1.0);
    EXPECT_TRUE(notes.isEmpty());
}

TEST(DemoConversion, RefusesARecordWithoutTheChestLeads)
{
    const QStringList names = {QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("V1"),
                               QStringLiteral("V2"), QStringLiteral("V4"), QStringLiteral("V5"),
                               QStringLiteral("V6")};
    EXPECT_THROW(DemoConversion::mapLeads(constantRecord(names)), std::runtime_error);
    EXPECT_THROW(DemoConversion::mapLeads(constantRecord({QStringLiteral("II")})), std::runtime_error);
}

TEST(DemoConversion, CircularDecimationKeepsInBandSinesAndRemovesAliases)
{
    constexpr int Length = 2000; // 2 s at 1000 Hz, whole periods of both sines
    const auto taps = TFirDesign::kaiserLowPass(0.2, 0.25, 80.0);
    std::vector<double> inBand(Length);
    std::vector<double> alias(Length);
    for (int n = 0; n < Length; ++n) {
        inBand[std::size_t(n)] = std::sin(2 * Pi * 40.0 * n / 1000.0);
        alias[std::size_t(n)] = std::sin(2 * Pi * 300.0 * n / 1000.0); // would fold to 200 Hz
    }
    const auto keptBand = DemoConversion::decimateCircular(inBand, taps, 2);
    const auto keptAlias = DemoConversion::decimateCircular(alias, taps, 2);
    ASSERT_EQ(keptBand.size(), std::size_t(Length / 2));
    for (int k = 0; k < Length / 2; ++k) {
        EXPECT_NEAR(keptBand[std::size_t(k)], std::sin(2 * Pi * 40.0 * k / 500.0), 1e-3) << k;
        EXPECT_NEAR(keptAlias[std::size_t(k)], 0.0, 1e-3) << k;
    }
    EXPECT_THROW(DemoConversion::decimateCircular(std::vector<double>(7, 0.0), taps, 2), std::runtime_error);
}

namespace {

// A synthetic 14-lead ECG: narrow "QRS" pulses every 0.8 s and broad "T"
// waves, on a baseline that drifts linearly.
std::vector<std::vector<double>> syntheticLeads(int rate, double seconds)
{
    const int length = int(seconds * rate);
    std::vector<std::vector<double>> leads(14, std::vector<double>(std::size_t(length)));
    for (int n = 0; n < length; ++n) {
        const double t = double(n) / rate;
        const double phase = std::fmod(t, 0.8) - 0.3; // QRS at 0.3 s into each period
        const double qrs = std::exp(-phase * phase / (2 * 0.012 * 0.012));
        const double tWave = 0.3 * std::exp(-(phase - 0.25) * (phase - 0.25) / (2 * 0.04 * 0.04));
        for (int lead = 0; lead < 14; ++lead)
            leads[std::size_t(lead)][std::size_t(n)] = (1.0 + 0.1 * lead) * (qrs + tWave) + 0.01 * t * (lead - 7);
    }
    return leads;
}

} // namespace

TEST(DemoConversion, FindsTheBeats)
{
    const auto leads = syntheticLeads(1000, 10.0);
    const auto beats = DemoConversion::detectBeats(leads, 1000.0);
    ASSERT_EQ(beats.size(), 13u); // 0.3, 1.1, ..., 9.9 s
    for (std::size_t k = 0; k < beats.size(); ++k)
        EXPECT_NEAR(beats[k], 300 + 800 * int(k), 15) << k;
}

TEST(DemoConversion, LoopIsCutBetweenBeatsAndClosedWithoutAStep)
{
    const auto leads = syntheticLeads(1000, 12.0);
    const auto cut = DemoConversion::chooseLoop(leads, 1000.0, 8.0, 2);
    EXPECT_GE(cut.end - cut.start, 8000);
    EXPECT_EQ((cut.end - cut.start) % 2, 0);
    // Both ends lie between the T wave's end and the next QRS.
    for (int sample : {cut.start, cut.end}) {
        const double phase = std::fmod(sample / 1000.0, 0.8);
        EXPECT_TRUE(phase > 0.66 || phase < 0.2) << "cut at " << sample;
    }
    EXPECT_NEAR(cut.wrapInterval, 0.8, 0.01);

    const auto loop = DemoConversion::closeLoop(leads, cut);
    for (std::size_t lead = 0; lead < loop.size(); ++lead) {
        const auto& x = loop[lead];
        ASSERT_EQ(x.size(), std::size_t(cut.end - cut.start));
        EXPECT_NEAR(x.front(), leads[lead][std::size_t(cut.start)], 1e-12);
        // The wrap from the last sample to the first is as small as the
        // step between neighbouring baseline samples.
        EXPECT_LT(std::abs(x.front() - x.back()), 1e-3) << lead;
    }
}

TEST(DemoConversion, FramesInterleaveFourteenLittleEndianCounts)
{
    std::vector<std::vector<double>> leads(14, std::vector<double>(2, 0.0));
    leads[0][0] = 1.0;  // 109 = 0x006D
    leads[13][1] = -1.0; // -109 = 0xFF93
    const QByteArray frames = DemoConversion::toFrames(leads);
    ASSERT_EQ(frames.size(), 56);
    EXPECT_EQ(uchar(frames[0]), 0x6D);
    EXPECT_EQ(uchar(frames[1]), 0x00);
    EXPECT_EQ(uchar(frames[28 + 26]), 0x93);
    EXPECT_EQ(uchar(frames[28 + 27]), 0xFF);
}

// Running the committed conversion command again on the PTB record in
// data/ptb reproduces the committed files byte for byte.
TEST(Wfdb2Demo, ReproducesTheCommittedDemoRecordings)
{
    const QString header = QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea");
    ASSERT_TRUE(QFileInfo::exists(header)) << "PTB record not found at " << header.toStdString();
    QTemporaryDir dir;
    const QString out1000 = dir.filePath(QStringLiteral("ecg1000.dat"));
    const QString out500 = dir.filePath(QStringLiteral("ecg500.dat"));
    QProcess process;
    process.start(QStringLiteral(WFDB2DEMO_PATH),
                  {header, QStringLiteral("1000:") + out1000, QStringLiteral("500:") + out500});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    for (const auto& [made, committed] : {std::pair{out1000, QStringLiteral("ecg1000.dat")},
                                          std::pair{out500, QStringLiteral("ecg500.dat")}}) {
        QFile a(made);
        QFile b(QStringLiteral(VAROR_DATA_DIR "/") + committed);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly));
        ASSERT_TRUE(b.open(QIODevice::ReadOnly));
        EXPECT_TRUE(a.readAll() == b.readAll()) << committed.toStdString() << " differs from a fresh conversion";
    }
}
