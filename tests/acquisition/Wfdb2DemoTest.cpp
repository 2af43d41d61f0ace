// The converter of tools/wfdb2demo that makes the demo recordings.
#include "DemoConversion.h"
#include "WfdbRecord.h"

#include <QDir>
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

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray format16(const std::vector<int>& interleaved)
{
    QByteArray bytes;
    for (int value : interleaved) {
        bytes.append(char(value & 0xFF));
        bytes.append(char((value >> 8) & 0xFF));
    }
    return bytes;
}

QByteArray format212(const std::vector<int>& interleaved)
{
    QByteArray bytes;
    for (std::size_t i = 0; i < interleaved.size(); i += 2) {
        const int a = interleaved[i] & 0xFFF;
        const int b = i + 1 < interleaved.size() ? interleaved[i + 1] & 0xFFF : 0;
        bytes.append(char(a & 0xFF));
        bytes.append(char(((a >> 8) & 0x0F) | ((b >> 4) & 0xF0)));
        if (i + 1 < interleaved.size())
            bytes.append(char(b & 0xFF));
    }
    return bytes;
}

} // namespace

TEST(WfdbHeader, ParsesRecordAndSignalLines)
{
    const Wfdb::Header header = Wfdb::parseHeader(QStringLiteral(
        "# leading comment\n"
        "s0010_re 3 1000 38400\n"
        "s0010_re.dat 16 2000 16 0 -489 -8337 0 i\n"
        "s0010_re.dat 16 2000(12)/uV 16 5 -458 -16369 0 ii\n"
        "s0010_re.xyz 212+4 0 12 7 -3 -13009 0 Lead V 5\n"
        "# age: 81\n"));
    EXPECT_EQ(header.recordName, QStringLiteral("s0010_re"));
    EXPECT_EQ(header.signalCount, 3);
    EXPECT_DOUBLE_EQ(header.samplingFrequency, 1000.0);
    EXPECT_EQ(header.sampleCount, 38400);
    ASSERT_EQ(header.signalInfos.size(), 3u);
    EXPECT_EQ(header.signalInfos[0].fileName, QStringLiteral("s0010_re.dat"));
    EXPECT_DOUBLE_EQ(header.signalInfos[0].gain, 2000.0);
    EXPECT_EQ(header.signalInfos[0].baseline, 0);
    EXPECT_EQ(header.signalInfos[0].description, QStringLiteral("i"));
    EXPECT_EQ(header.signalInfos[1].baseline, 12);
    EXPECT_EQ(header.signalInfos[1].units, QStringLiteral("uV"));
    EXPECT_EQ(header.signalInfos[2].format, 212);
    EXPECT_EQ(header.signalInfos[2].byteOffset, 4);
    EXPECT_DOUBLE_EQ(header.signalInfos[2].gain, 200.0); // 0 means WFDB's default
    EXPECT_EQ(header.signalInfos[2].baseline, 7);        // the ADC zero when no baseline is given
    EXPECT_EQ(header.signalInfos[2].description, QStringLiteral("Lead V 5"));
}

TEST(WfdbHeader, RefusesWhatTheConverterCannotRead)
{
    EXPECT_THROW(Wfdb::parseHeader(QStringLiteral("r/2 2 360\n")), std::runtime_error);
    EXPECT_THROW(Wfdb::parseHeader(QStringLiteral("r 1 360\nr.dat 80 200 12 0 0 0 0 x\n")), std::runtime_error);
    EXPECT_THROW(Wfdb::parseHeader(QStringLiteral("r 1 360\nr.dat 16x2 200 12 0 0 0 0 x\n")), std::runtime_error);
    EXPECT_THROW(Wfdb::parseHeader(QStringLiteral("r 2 360\nr.dat 16 200 12 0 0 0 0 x\n")), std::runtime_error);
}

TEST(WfdbSamples, DecodesFormat212IncludingAnOddLastSample)
{
    const std::vector<int> values = {1, -1, 2047, -2048, 5, -300, 1000};
    const auto decoded = Wfdb::decodeSamples(format212(values), 212, 1);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], values);
}

TEST(WfdbSamples, DecodesInterleavedFormat16)
{
    const auto decoded = Wfdb::decodeSamples(format16({10, -20, 11, -21, 12, -22}), 16, 2);
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[0], (std::vector<int>{10, 11, 12}));
    EXPECT_EQ(decoded[1], (std::vector<int>{-20, -21, -22}));
}

TEST(WfdbRecord, ReadsARecordSpreadOverTwoFilesOfDifferentFormats)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("rec.hea")),
              "rec 3 500 4\n"
              "rec.dat 16 1000 16 0 0 0 0 I\n"
              "rec.dat 16 1000(100) 16 0 0 0 0 II\n"
              "rec.ext 212 200/uV 12 0 0 0 0 V1\n");
    writeFile(dir.filePath(QStringLiteral("rec.dat")), format16({1000, 100, -500, 1100, 0, 2100, 250, 100, 7, 7}));
    // The 212 file holds one sample more than the header's count.
    writeFile(dir.filePath(QStringLiteral("rec.ext")), format212({200, -400, 0, 2000, 5}));
    const Wfdb::Record record = Wfdb::readRecord(dir.filePath(QStringLiteral("rec.hea")));
    ASSERT_EQ(record.millivolts.size(), 3u);
    EXPECT_EQ(record.millivolts[0], (std::vector<double>{1.0, -0.5, 0.0, 0.25}));
    EXPECT_EQ(record.millivolts[1], (std::vector<double>{0.0, 1.0, 2.0, 0.0}));
    ASSERT_EQ(record.millivolts[2].size(), 4u);
    EXPECT_DOUBLE_EQ(record.millivolts[2][0], 0.001);
    EXPECT_DOUBLE_EQ(record.millivolts[2][1], -0.002);
    EXPECT_DOUBLE_EQ(record.millivolts[2][3], 0.01);
}

TEST(WfdbRecord, MissingSamplesRepeatTheLastValidOne)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("gap.hea")), "gap 1 250\ngap.dat 16 100 16 0 0 0 0 II\n");
    writeFile(dir.filePath(QStringLiteral("gap.dat")), format16({50, -32768, -32768, 80}));
    const Wfdb::Record record = Wfdb::readRecord(dir.filePath(QStringLiteral("gap.hea")));
    EXPECT_EQ(record.millivolts[0], (std::vector<double>{0.5, 0.5, 0.5, 0.8}));
}

namespace {

// A record with the given signal names, signal k holding the constant k + 1 mV.
Wfdb::Record constantRecord(const QStringList& names)
{
    Wfdb::Record record;
    record.header.signalCount = names.size();
    record.header.samplingFrequency = 1000.0;
    for (int k = 0; k < names.size(); ++k) {
        Wfdb::SignalInfo signalInfo;
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

TEST(DemoConversion, CountsAreOnTheDeviceScale)
{
    EXPECT_EQ(DemoConversion::toCount(0.0), 0);
    EXPECT_EQ(DemoConversion::toCount(1.0), 109);   // 65536 / 600 = 109.23
    EXPECT_EQ(DemoConversion::toCount(-1.0), -109);
    EXPECT_EQ(DemoConversion::toCount(10.0), 1092); // 1092.27
    EXPECT_EQ(DemoConversion::toCount(299.99), 32767);
    EXPECT_EQ(DemoConversion::toCount(400.0), 32767);
    EXPECT_EQ(DemoConversion::toCount(-400.0), -32768);
}

TEST(DemoConversion, AntiAliasLowPassIsFlatInThePassBandAndBlocksAliases)
{
    // 1000 Hz to 500 Hz: pass band to 200 Hz, stop band from 250 Hz.
    const auto taps = DemoConversion::designLowPass(0.2, 0.25, 80.0);
    ASSERT_EQ(taps.size() % 2, 1u);
    for (std::size_t n = 0; n < taps.size(); ++n)
        EXPECT_DOUBLE_EQ(taps[n], taps[taps.size() - 1 - n]); // linear phase
    EXPECT_NEAR(DemoConversion::magnitudeAt(taps, 0.0), 1.0, 1e-12);
    for (double f = 0.0; f <= 0.2; f += 0.005)
        EXPECT_NEAR(DemoConversion::magnitudeAt(taps, f), 1.0, 1e-3) << f * 1000 << " Hz";
    for (double f = 0.25; f <= 0.5; f += 0.0025)
        EXPECT_LT(DemoConversion::magnitudeAt(taps, f), 1e-3) << f * 1000 << " Hz";
}

TEST(DemoConversion, CircularDecimationKeepsInBandSinesAndRemovesAliases)
{
    constexpr int Length = 2000; // 2 s at 1000 Hz, whole periods of both sines
    const auto taps = DemoConversion::designLowPass(0.2, 0.25, 80.0);
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

// Running the committed conversion command again reproduces the committed
// files byte for byte (skipped where the shared PTB record is not at hand).
TEST(Wfdb2Demo, ReproducesTheCommittedDemoRecordings)
{
    const QString header = QStringLiteral(VAROR_PTB_RECORD);
    if (!QFileInfo::exists(header))
        GTEST_SKIP() << "PTB record not found at " << header.toStdString();
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
