// WFDB records: header parsing, the signal formats 16, 61, 80 and 212,
// records of several signals and files written here byte by byte, physical
// values, missing samples, errors, and the PTB record in data/ptb against
// the checksums and initial values its header gives.
#include "storage/StorageTestSupport.h"

#include "formats/TWfdbHeader.h"
#include "formats/TWfdbRecord.h"
#include "formats/TWfdbSampleFormat.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

QByteArray format16(const std::vector<int>& interleaved)
{
    QByteArray bytes;
    for (int value : interleaved) {
        bytes.append(char(value & 0xFF));
        bytes.append(char((value >> 8) & 0xFF));
    }
    return bytes;
}

QByteArray format61(const std::vector<int>& interleaved)
{
    QByteArray bytes;
    for (int value : interleaved) {
        bytes.append(char((value >> 8) & 0xFF));
        bytes.append(char(value & 0xFF));
    }
    return bytes;
}

QByteArray format80(const std::vector<int>& interleaved)
{
    QByteArray bytes;
    for (int value : interleaved)
        bytes.append(char(value + 128));
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

// A record folder holding the given files.
class RecordFolder
{
public:
    RecordFolder& add(const QString& name, const QByteArray& bytes)
    {
        EXPECT_TRUE(writeAll(m_dir.filePath(name), bytes)) << name.toStdString();
        return *this;
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    TWfdbRecord read(const QString& header = QStringLiteral("rec.hea")) const { return TWfdbRecord::read(path(header)); }

private:
    QTemporaryDir m_dir;
};

// Physical values compared to within floating-point rounding.
void expectValues(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-12 * std::max(1.0, std::abs(expected[i]))) << "sample " << i;
}

TWfdbHeader parse(const char* text)
{
    return TWfdbHeader::parse(QString::fromLatin1(text), QStringLiteral("rec.hea"));
}

} // namespace

TEST(WfdbHeader, ParsesRecordAndSignalLines)
{
    const TWfdbHeader header = parse(
        "# leading comment\n"
        "s0010_re 4 1000/50(3) 38400 10:20:30 01/10/1990\n"
        "s0010_re.dat 16 2000 16 0 -489 -8337 0 i\n"
        "s0010_re.dat 16 2000(12)/uV 14 5 -458 -16369 0 ii\n"
        "s0010_re.xyz 212:3+4 0 12 7 -3 -13009 512 Lead  V 5 \r\n"
        "s0010_re.ext 80x1\n"
        "#age: 81\n");
    EXPECT_EQ(header.recordName, QStringLiteral("s0010_re"));
    EXPECT_EQ(header.signalCount(), 4);
    EXPECT_DOUBLE_EQ(header.samplingFrequency, 1000.0);
    EXPECT_DOUBLE_EQ(header.counterFrequency, 50.0);
    EXPECT_EQ(header.sampleCount, 38400);
    EXPECT_EQ(header.comments, (QStringList{QStringLiteral("leading comment"), QStringLiteral("age: 81")}));
    ASSERT_EQ(header.signalInfos.size(), 4u);

    const TWfdbSignalInfo& i = header.signalInfos[0];
    EXPECT_EQ(i.fileName, QStringLiteral("s0010_re.dat"));
    EXPECT_EQ(i.format, 16);
    EXPECT_DOUBLE_EQ(i.gain, 2000.0);
    EXPECT_EQ(i.baseline, 0);
    EXPECT_EQ(i.units, QStringLiteral("mV"));
    EXPECT_EQ(i.initialValue, -489);
    EXPECT_EQ(i.checksum, -8337);
    EXPECT_EQ(i.description, QStringLiteral("i"));

    const TWfdbSignalInfo& ii = header.signalInfos[1];
    EXPECT_EQ(ii.baseline, 12);
    EXPECT_EQ(ii.adcZero, 5);
    EXPECT_EQ(ii.adcResolution, 14);
    EXPECT_EQ(ii.units, QStringLiteral("uV"));

    const TWfdbSignalInfo& v5 = header.signalInfos[2];
    EXPECT_EQ(v5.format, 212);
    EXPECT_EQ(v5.skew, 3);
    EXPECT_EQ(v5.byteOffset, 4);
    EXPECT_DOUBLE_EQ(v5.gain, 200.0); // 0 stands for the default gain
    EXPECT_EQ(v5.baseline, 7);        // the ADC zero when no baseline is given
    EXPECT_EQ(v5.blockSize, 512);
    EXPECT_EQ(v5.description, QStringLiteral("Lead  V 5"));

    // Everything after the format omitted.
    const TWfdbSignalInfo& bare = header.signalInfos[3];
    EXPECT_EQ(bare.format, 80);
    EXPECT_DOUBLE_EQ(bare.gain, 200.0);
    EXPECT_EQ(bare.units, QStringLiteral("mV"));
    EXPECT_EQ(bare.adcResolution, 8);
    EXPECT_EQ(bare.description, QString());
}

TEST(WfdbHeader, RecordLineDefaults)
{
    const TWfdbHeader header = parse("r 1\nr.dat 212 100\n");
    EXPECT_DOUBLE_EQ(header.samplingFrequency, 250.0);
    EXPECT_DOUBLE_EQ(header.counterFrequency, 0.0);
    EXPECT_EQ(header.sampleCount, 0);
    EXPECT_EQ(header.signalInfos[0].adcResolution, 12);
}

TEST(WfdbHeader, UnitsGiveMillivoltsOrTellThatTheyAreNoVoltage)
{
    const auto perUnit = [](const char* units) {
        TWfdbSignalInfo info;
        info.units = QString::fromUtf8(units);
        return info.millivoltsPerUnit();
    };
    EXPECT_DOUBLE_EQ(perUnit("mV"), 1.0);
    EXPECT_DOUBLE_EQ(perUnit("MV"), 1.0);
    EXPECT_DOUBLE_EQ(perUnit("uV"), 0.001);
    EXPECT_DOUBLE_EQ(perUnit("\xc2\xb5V"), 0.001);
    EXPECT_DOUBLE_EQ(perUnit("V"), 1000.0);
    EXPECT_DOUBLE_EQ(perUnit("mmHg"), 0.0);
    TWfdbSignalInfo pressure;
    pressure.units = QStringLiteral("mmHg");
    EXPECT_FALSE(pressure.isVoltage());
}

TEST(WfdbHeader, ErrorsNameTheFileTheLineAndTheFault)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"r/2 2 360\n", "rec.hea, line 1: records of several segments are not supported"},
        {"r 1 360\nr.dat 310 200\n", "rec.hea, line 2: signal format 310 is not supported (16, 61, 80 and 212 are)"},
        {"r 1 360\nr.dat 8 200\n", "signal format 8 is not supported"},
        {"r 1 360\nr.dat 16x2 200\n", "rec.hea, line 2: the signal has 2 samples per frame; only 1 is supported"},
        {"r 1 360\nr.dat 16x 200\n", "rec.hea, line 2: the signal format \"16x\" is not valid"},
        {"r 1 360\nr.dat 16 2o0\n", "rec.hea, line 2: the gain \"2o0\" is not a number"},
        {"r 1 360\nr.dat 16 200(x)\n", "the baseline \"x\" is not a whole number"},
        {"r 1 360\nr.dat 16 200 12 zero\n", "rec.hea, line 2: the ADC zero \"zero\" is not a whole number"},
        {"r 1 360\nr.dat\n", "rec.hea, line 2: a signal line needs a file name and a format"},
        {"r 2 360\n\nr.dat 16 200\n", "rec.hea: the record line names 2 signals but 1 are described"},
        {"r 1 360\nr.dat 16\nr.dat 16\n", "rec.hea, line 3: more signal lines than the 1 the record line names"},
        {"r two 360\n", "rec.hea, line 1: the signal count \"two\" is not a whole number"},
        {"r 0 360\n", "rec.hea, line 1: the record has no signals"},
        {"r 1 -360\nr.dat 16\n", "rec.hea, line 1: the sampling frequency must be positive"},
        {"r 1 fast\nr.dat 16\n", "the sampling frequency \"fast\" is not a number"},
        {"r 1 360 many\nr.dat 16\n", "the sample count \"many\" is not a whole number"},
        {"r\n", "rec.hea, line 1: the record line needs a name and a signal count"},
        {"# only a comment\n", "rec.hea: there is no record line"},
    };
    for (const auto& c : cases) {
        const std::string message = thrownMessage([&] { parse(c.text); });
        EXPECT_NE(message.find(c.message), std::string::npos) << c.text << "\n  gave: " << message;
    }
}

// Numbers no recording has would wrap, overflow or turn samples into noise.
TEST(WfdbHeader, NumbersBeyondThoseOfRecordingsAreRefusedNamingTheField)
{
    const struct {
        const char* signalLine;
        const char* message;
    } cases[] = {
        {"r.dat 16:4294967196 200", "line 2: the skew 4294967196 is beyond the range of a 32-bit value"},
        {"r.dat 16:2147483648 200", "the skew 2147483648 is beyond"},
        {"r.dat 16 nan", "line 2: the gain \"nan\" is not a number"},
        {"r.dat 16 inf", "the gain \"inf\" is not a number"},
        {"r.dat 16 1e-300", "line 2: the gain 1e-300 is outside the gains of recordings"},
        {"r.dat 16 1e308", "the gain 1e308 is outside"},
        {"r.dat 16 -200", "the gain -200 is outside"},
        {"r.dat 16 200(4294967296)", "the baseline 4294967296 is beyond the range of a 32-bit value"},
        {"r.dat 16 200 99", "the ADC resolution 99 is not 0 to 32 bits"},
        {"r.dat 16 200 16 0 0 0 -5", "the block size -5 is negative"},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("r 1 360\n") + c.signalLine + "\n";
        const std::string message = thrownMessage([&] { parse(text.c_str()); });
        EXPECT_NE(message.find(c.message), std::string::npos) << c.signalLine << "\n  gave: " << message;
    }
}

TEST(WfdbSampleFormat, Decodes212IncludingNegativeValuesAndAnOddLastSample)
{
    const std::vector<int> values = {1, -1, 2047, -2048, 5, -300, 1000};
    const auto decoded = TWfdbSampleFormat::decode(format212(values), 212, 1);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], values);
    // -300 and 1000 in 12 bits are 0xED4 and 0x3E8: their low bytes first
    // and last, their high nibbles (E and 3) sharing the middle byte.
    EXPECT_EQ(format212({-300, 1000}), QByteArray::fromHex("d4 3e e8"));
    EXPECT_EQ(TWfdbSampleFormat::decode(QByteArray::fromHex("d43ee8"), 212, 2),
              (std::vector<std::vector<int>>{{-300}, {1000}}));
}

TEST(WfdbSampleFormat, DecodesInterleavedSignalsOfEveryFormat)
{
    const std::vector<int> interleaved = {10, -20, 11, -21, 12, -22};
    const std::vector<std::vector<int>> expected = {{10, 11, 12}, {-20, -21, -22}};
    EXPECT_EQ(TWfdbSampleFormat::decode(format16(interleaved), 16, 2), expected);
    EXPECT_EQ(TWfdbSampleFormat::decode(format61(interleaved), 61, 2), expected);
    EXPECT_EQ(TWfdbSampleFormat::decode(format80(interleaved), 80, 2), expected);
    EXPECT_EQ(TWfdbSampleFormat::decode(format212(interleaved), 212, 2), expected);
    // Extremes, and byte order spelled out.
    EXPECT_EQ(TWfdbSampleFormat::decode(QByteArray::fromHex("0180ff7f"), 16, 1)[0], (std::vector<int>{-32767, 32767}));
    EXPECT_EQ(TWfdbSampleFormat::decode(QByteArray::fromHex("80017fff"), 61, 1)[0], (std::vector<int>{-32767, 32767}));
    EXPECT_EQ(TWfdbSampleFormat::decode(QByteArray::fromHex("00ff80"), 80, 1)[0], (std::vector<int>{-128, 127, 0}));
    // Only whole frames.
    EXPECT_EQ(TWfdbSampleFormat::decode(format16({1, 2, 3}), 16, 2), (std::vector<std::vector<int>>{{1}, {2}}));
    EXPECT_THROW(TWfdbSampleFormat::decode(QByteArray(4, '\0'), 8, 1), std::runtime_error);
}

TEST(WfdbRecord, ReadsARecordSpreadOverTwoFilesOfDifferentFormats)
{
    RecordFolder folder;
    folder.add(QStringLiteral("rec.hea"),
               "rec 3 500 4\n"
               "rec.dat 16 1000 16 0 0 0 0 I\n"
               "rec.dat 16 1000(100) 16 0 0 0 0 II\n"
               "rec.ext 212 200/uV 12 0 0 0 0 V1\n");
    folder.add(QStringLiteral("rec.dat"), format16({1000, 100, -500, 1100, 0, 2100, 250, 100, 7, 7}));
    // The 212 file holds one sample more than the header's count.
    folder.add(QStringLiteral("rec.ext"), format212({200, -400, 0, 2000, 5}));
    const TWfdbRecord record = folder.read();
    EXPECT_EQ(record.header.recordName, QStringLiteral("rec"));
    ASSERT_EQ(record.millivolts.size(), 3u);
    EXPECT_EQ(record.length(), 4u);
    expectValues(record.millivolts[0], {1.0, -0.5, 0.0, 0.25});
    expectValues(record.millivolts[1], {0.0, 1.0, 2.0, 0.0});
    expectValues(record.millivolts[2], {0.001, -0.002, 0.0, 0.01});
}

TEST(WfdbRecord, Formats61And80WithOffsetsBaselinesAndUnits)
{
    RecordFolder folder;
    folder.add(QStringLiteral("rec.hea"),
               "rec 3 128\n"
               "big.dat 61 2(-10)/uV 16 0 0 0 0 V2\n"
               "big.dat 61 0.5/V 16 0 0 0 0 V3\n"
               "small.dat 80+3 20/mV 8 -5 0 0 0 V4\n");
    folder.add(QStringLiteral("big.dat"), format61({-10, 500, 990, -1000, 30, 0}));
    folder.add(QStringLiteral("small.dat"), QByteArray("hdr") + format80({-5, 15, 125}));
    const TWfdbRecord record = folder.read();
    EXPECT_EQ(record.length(), 3u); // no sample count: as long as the files
    expectValues(record.millivolts[0], {0.0, 0.5, 0.02});       // (adc + 10) / 2 uV
    expectValues(record.millivolts[1], {1e6, -2e6, 0.0});       // adc / 0.5 V
    expectValues(record.millivolts[2], {0.0, 1.0, 6.5});        // (adc + 5) / 20 mV
}

TEST(WfdbRecord, MissingSamplesRepeatTheLastValidOne)
{
    RecordFolder folder;
    folder.add(QStringLiteral("rec.hea"),
               "rec 3 250\n"
               "a.dat 16 100 16 0 0 0 0 II\n"
               "b.dat 212 100(10) 12 0 0 0 0 V1\n"
               "c.dat 80 100 8 0 0 0 0 V2\n");
    folder.add(QStringLiteral("a.dat"), format16({50, -32768, -32768, 80}));
    // Before the first valid sample: the baseline, 0 mV.
    folder.add(QStringLiteral("b.dat"), format212({-2048, 60, -2048, -2047}));
    folder.add(QStringLiteral("c.dat"), format80({-127, -128, 20, -128}));
    const TWfdbRecord record = folder.read();
    expectValues(record.millivolts[0], {0.5, 0.5, 0.5, 0.8});
    expectValues(record.millivolts[1], {0.0, 0.5, 0.5, -20.57});
    expectValues(record.millivolts[2], {-1.27, -1.27, 0.2, 0.2});
}

TEST(WfdbRecord, SkewedSignalStartsLater)
{
    RecordFolder folder;
    folder.add(QStringLiteral("rec.hea"), "rec 2 360 3\nrec.dat 16 1 16 0 0 0 0 I\nrec.dat 16:2 1 16 0 0 0 0 II\n");
    folder.add(QStringLiteral("rec.dat"), format16({1, 90, 2, 91, 3, 92, 4, 93, 5, 94}));
    const TWfdbRecord record = folder.read();
    expectValues(record.millivolts[0], {1, 2, 3});
    expectValues(record.millivolts[1], {92, 93, 94});
}

TEST(WfdbRecord, SignalsInOtherUnitsKeepThem)
{
    RecordFolder folder;
    folder.add(QStringLiteral("rec.hea"), "rec 2 125\nrec.dat 16 10/mmHg 16 0 0 0 0 ABP\nrec.dat 16 0 16 0 0 0 0 II\n");
    folder.add(QStringLiteral("rec.dat"), format16({1200, 200, 800, -400}));
    const TWfdbRecord record = folder.read();
    expectValues(record.millivolts[0], {120.0, 80.0});
    expectValues(record.millivolts[1], {1.0, -2.0});
}

TEST(WfdbRecord, ErrorsNameTheFileAndTheFault)
{
    RecordFolder folder;
    folder.add(QStringLiteral("short.hea"), "short 1 360 5\nshort.dat 16 200 16 0 0 0 0 II\n");
    folder.add(QStringLiteral("short.dat"), format16({1, 2, 3}));
    folder.add(QStringLiteral("nofile.hea"), "nofile 1 360\nabsent.dat 16 200 16 0 0 0 0 II\n");
    folder.add(QStringLiteral("mixed.hea"), "mixed 2 360\nm.dat 16 200\nm.dat 212 200\n");
    folder.add(QStringLiteral("tilde.hea"), "tilde 1 360\n~ 16 200\n");
    folder.add(QStringLiteral("empty.hea"), "empty 1 360\nempty.dat 16 200\n");
    folder.add(QStringLiteral("empty.dat"), QByteArray());
    folder.add(QStringLiteral("offset.hea"), "offset 1 360\noffset.dat 16+10 200\n");
    folder.add(QStringLiteral("offset.dat"), format16({1, 2}));

    const auto messageOf = [&](const char* header) {
        return thrownMessage([&] { folder.read(QString::fromLatin1(header)); });
    };
    EXPECT_NE(messageOf("short.hea").find("short.hea: signal file short.dat holds 3 samples of signal 1, the header names 5"),
              std::string::npos)
        << messageOf("short.hea");
    EXPECT_NE(messageOf("nofile.hea").find("cannot open signal file " + folder.path(QStringLiteral("absent.dat")).toStdString()),
              std::string::npos)
        << messageOf("nofile.hea");
    EXPECT_NE(messageOf("mixed.hea").find("the signals of m.dat differ in format or byte offset"), std::string::npos)
        << messageOf("mixed.hea");
    EXPECT_NE(messageOf("tilde.hea").find("signal 1 has no signal file"), std::string::npos) << messageOf("tilde.hea");
    EXPECT_NE(messageOf("empty.hea").find("empty.hea: the record holds no samples"), std::string::npos)
        << messageOf("empty.hea");
    EXPECT_NE(messageOf("offset.hea").find("is shorter than its byte offset 10"), std::string::npos)
        << messageOf("offset.hea");
    EXPECT_NE(messageOf("missing.hea").find("Cannot open WFDB header " + folder.path(QStringLiteral("missing.hea")).toStdString()),
              std::string::npos)
        << messageOf("missing.hea");
}

// The header of the PTB record gives every signal's first value and the
// 16-bit sum of all its samples: both must come back from the millivolts.
TEST(WfdbRecord, ReadsThePtbRecordWithItsChecksums)
{
    const TWfdbRecord record = TWfdbRecord::read(QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea"));
    ASSERT_EQ(record.header.signalCount(), 15);
    EXPECT_DOUBLE_EQ(record.header.samplingFrequency, 1000.0);
    EXPECT_EQ(record.length(), 38400u);
    EXPECT_EQ(record.header.signalInfos[12].fileName, QStringLiteral("s0010_re.xyz"));
    EXPECT_TRUE(record.header.comments.contains(QStringLiteral("age: 81")));
    for (int s = 0; s < 15; ++s) {
        const TWfdbSignalInfo& info = record.header.signalInfos[std::size_t(s)];
        std::uint16_t sum = 0;
        for (double millivolts : record.millivolts[std::size_t(s)])
            sum = std::uint16_t(sum + std::lround(millivolts * info.gain) + info.baseline);
        EXPECT_EQ(std::int16_t(sum), info.checksum) << info.description.toStdString();
        EXPECT_EQ(std::lround(record.millivolts[std::size_t(s)][0] * info.gain), info.initialValue)
            << info.description.toStdString();
    }
}
