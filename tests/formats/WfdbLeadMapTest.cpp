// The fourteen device leads found among a WFDB record's signals (names,
// aliases, what is not taken), and a record turned into device counts at
// 1000 Hz, in memory and from the PTB record in data/ptb.
#include "storage/StorageTestSupport.h"

#include "analysis/signal/TLeadSet.h"
#include "formats/TWfdbDeviceRecording.h"
#include "formats/TWfdbLeadMap.h"
#include "formats/TWfdbRecord.h"

#include <QtEndian>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

struct Signal
{
    const char* description;
    std::vector<double> millivolts;
    const char* units = "mV";
};

TWfdbRecord record(double rate, const std::vector<Signal>& inputs)
{
    TWfdbRecord result;
    result.header.recordName = QStringLiteral("test");
    result.header.samplingFrequency = rate;
    for (const Signal& signal : inputs) {
        TWfdbSignalInfo info;
        info.description = QString::fromLatin1(signal.description);
        info.units = QString::fromLatin1(signal.units);
        result.header.signalInfos.push_back(info);
        result.millivolts.push_back(signal.millivolts);
    }
    return result;
}

} // namespace

TEST(WfdbLeadMap, NamesAndAliasesOfTheLeads)
{
    const std::pair<const char*, int> names[] = {
        {"I", TLeadSet::LeadI},      {"MLI", TLeadSet::LeadI},       {"D1", TLeadSet::LeadI},
        {"di", TLeadSet::LeadI},     {"ii", TLeadSet::LeadII},       {"MLII", TLeadSet::LeadII},
        {"ML II", TLeadSet::LeadII}, {"D2", TLeadSet::LeadII},       {"DII", TLeadSet::LeadII},
        {"III", TLeadSet::LeadIII},  {"MLIII", TLeadSet::LeadIII},   {"D3", TLeadSet::LeadIII},
        {"aVR", TLeadSet::LeadAVR},  {"AVL", TLeadSet::LeadAVL},     {"a V f", TLeadSet::LeadAVF},
        {"V1", TLeadSet::LeadV1},    {"v 2", TLeadSet::LeadV2},      {"MV3", TLeadSet::LeadV3},
        {"mv4", TLeadSet::LeadV4},   {"V5", TLeadSet::LeadV5},       {"\tV6 ", TLeadSet::LeadV6},
        {"cm5", TLeadSet::LeadCM5},  {"CR5", TLeadSet::LeadCR5},     {"ECG V1", TLeadSet::LeadV1},
        {"EKG II", TLeadSet::LeadII},
    };
    for (const auto& [name, position] : names)
        EXPECT_EQ(TWfdbLeadMap::leadPosition(QLatin1String(name)), position) << name;
    for (const char* other : {"-aVR", "ML5", "V7", "vx", "ECG", "IIII", "D4", "", "MV7", "Resp", "ECG V7"})
        EXPECT_EQ(TWfdbLeadMap::leadPosition(QLatin1String(other)), -1) << other;
}

TEST(WfdbLeadMap, TakesTheFirstVoltageSignalOfEachLeadAndLeavesTheRestZero)
{
    const TWfdbRecord input = record(360.0, {{"MLII", {1.0, 2.0}},
                                             {"V2", {9.0, 9.0}, "mmHg"}, // not a voltage
                                             {"v1", {3.0, 4.0}},
                                             {"II", {5.0, 6.0}},         // II already taken
                                             {"V2", {7.0, 8.0}, "uV"}});
    const TWfdbLeadMap leadMap(input.header);
    EXPECT_EQ(leadMap.signalOf(TLeadSet::LeadII), 0);
    EXPECT_EQ(leadMap.signalOf(TLeadSet::LeadV1), 2);
    EXPECT_EQ(leadMap.signalOf(TLeadSet::LeadV2), 4);
    EXPECT_FALSE(leadMap.hasLead(TLeadSet::LeadI));
    EXPECT_EQ(leadMap.signalOf(TLeadSet::LeadCR5), -1);
    EXPECT_EQ(leadMap.foundLeadNames(), (QStringList{QStringLiteral("II"), QStringLiteral("V1"), QStringLiteral("V2")}));

    const auto leads = leadMap.leads(input);
    ASSERT_EQ(leads.size(), std::size_t(TLeadSet::LeadCount));
    for (int position = 0; position < TLeadSet::LeadCount; ++position) {
        const std::vector<double> expected = position == TLeadSet::LeadII   ? std::vector<double>{1.0, 2.0}
                                             : position == TLeadSet::LeadV1 ? std::vector<double>{3.0, 4.0}
                                             : position == TLeadSet::LeadV2 ? std::vector<double>{7.0, 8.0}
                                                                            : std::vector<double>{0.0, 0.0};
        EXPECT_EQ(leads[std::size_t(position)], expected) << TLeadSet::leadName(position).toStdString();
    }
}

TEST(WfdbLeadMap, ARecordWithoutAnyLeadIsRefused)
{
    const TWfdbRecord input = record(250.0, {{"ABP", {1.0}, "mmHg"}, {"-aVR", {1.0}}, {"II", {1.0}, "NU"}});
    const std::string message = thrownMessage([&] { TWfdbLeadMap{input.header}; });
    EXPECT_NE(message.find("The record test has no usable ECG lead (its signals are \"ABP\", \"-aVR\", \"II\")"),
              std::string::npos)
        << message;
    EXPECT_THROW(TWfdbDeviceRecording::fromRecord(input), std::runtime_error);
}

TEST(WfdbDeviceRecording, ResamplesTheLeadsFoundToDeviceCountsAt1000Hz)
{
    // 2 s at 360 Hz: lead II at a constant 1 mV, V5 a 10 Hz sine of 2 mV.
    const int length = 720;
    std::vector<double> ii(length, 1.0);
    std::vector<double> v5(length);
    for (int i = 0; i < length; ++i)
        v5[std::size_t(i)] = 2.0 * std::sin(2.0 * Pi * 10.0 * i / 360.0);
    const TWfdbDeviceRecording recording = TWfdbDeviceRecording::fromRecord(record(360.0, {{"MLII", ii}, {"V5", v5}}));

    EXPECT_EQ(recording.frameCount(), 2000);
    EXPECT_EQ(recording.leadMap().foundLeadNames(), (QStringList{QStringLiteral("II"), QStringLiteral("V5")}));
    EXPECT_DOUBLE_EQ(recording.header().samplingFrequency, 360.0);
    ASSERT_EQ(recording.leads().size(), std::size_t(TLeadSet::LeadCount));
    for (int position = 0; position < TLeadSet::LeadCount; ++position) {
        const auto& lead = recording.leads()[std::size_t(position)];
        ASSERT_EQ(lead.size(), 2000u);
        for (int k = 0; k < 2000; ++k) {
            const double t = k / 1000.0;
            const double expected = position == TLeadSet::LeadII   ? 109.23 // 65536 / 600 counts per mV
                                    : position == TLeadSet::LeadV5 ? 218.45 * std::sin(2.0 * Pi * 10.0 * t)
                                                                   : 0.0;
            // Within a count, away from the ends for the sine.
            if (position != TLeadSet::LeadV5 || (k > 100 && k < 1900)) {
                ASSERT_NEAR(lead[std::size_t(k)], expected, 1.0) << TLeadSet::leadName(position).toStdString() << " " << k;
            }
        }
    }
}

// At the PTB record's 1000 Hz the counts are the recorded values, 2000
// units per mV, rescaled to the device's 65536 counts per 600 mV.
TEST(WfdbDeviceRecording, ThePtbRecordKeepsItsSamples)
{
    const TWfdbDeviceRecording recording = TWfdbDeviceRecording::read(QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea"));
    EXPECT_EQ(recording.frameCount(), 38400);
    EXPECT_EQ(recording.leadMap().foundLeadNames().size(), 12);
    EXPECT_FALSE(recording.leadMap().hasLead(TLeadSet::LeadCM5));
    EXPECT_FALSE(recording.leadMap().hasLead(TLeadSet::LeadCR5));

    const QByteArray raw = readAll(QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.dat"));
    ASSERT_EQ(raw.size(), 38400 * 12 * 2);
    const auto* frames = reinterpret_cast<const uchar*>(raw.constData());
    for (int frame = 0; frame < 38400; frame += 97) {
        for (int lead = 0; lead < 12; ++lead) {
            const int adc = qFromLittleEndian<qint16>(frames + 2 * (12 * frame + lead));
            const double expected = std::round(adc / 2000.0 * 65536.0 / 600.0);
            ASSERT_EQ(recording.leads()[std::size_t(lead)][std::size_t(frame)], expected)
                << TLeadSet::leadName(lead).toStdString() << " " << frame;
        }
    }
    EXPECT_EQ(recording.leads()[TLeadSet::LeadCM5], std::vector<qint16>(38400, 0));
}
