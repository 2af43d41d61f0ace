// Studies written out in the exchange formats: taken in again they give
// the study's samples and beats (a synthetic study and the PTB record),
// every HL7 aECG validates against the HL7 schema, and
// an independent reader (biosig's save2gdf, when installed) finds in each
// file the leads, samples and annotations of the study.
#include "pipeline/TReviewAnalysis.h"
#include "pipeline/TStudyExport.h"
#include "pipeline/TStudyRecording.h"
#include "storage/TEcgFile.h"
#include "formats/TEdfExport.h"
#include "formats/TExportRecord.h"
#include "formats/TImportedRecording.h"
#include "storage/TLocalStudyStore.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudy.h"
#include "formats/TWfdbDeviceRecording.h"
#include "tests/common/ecgsynth/SyntheticEcg.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <ostream>
#include <vector>

namespace {

const QString PtbHeader = QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea");
const QString AecgSchema = QStringLiteral(VAROR_DATA_DIR "/aecg/2003-12 Schema/schema/PORT_MT020001.xsd");

std::vector<std::vector<qint16>> syntheticLeads()
{
    ecgsynth::Config config;
    config.leads = 14;
    config.rate = 1000;
    config.duration = 12.0;
    config.noiseMv = 0.01;
    return ecgsynth::synthesize(config).leads;
}

std::vector<std::vector<qint16>> ptbLeads()
{
    return TWfdbDeviceRecording::read(PtbHeader).leads();
}

// A store in a temporary folder with a study recorded from the leads, for
// a patient whose name EDF must spell in ASCII.
struct SourceStudy
{
    explicit SourceStudy(const std::vector<std::vector<qint16>>& leads) : store("PulsorixVAROR", folder.path())
    {
        TStudyInfo info;
        info.lastName = "Muñoz";
        info.firstName = "Ana María";
        info.sex = "F";
        info.birthDate = "19510502";
        info.studyType = "VA ROR";
        info.studyDateTime = "20240312103000";
        study = store.openStudy(TStudyRecording::recordStudy(store, leads, info));
    }

    // The study written out to a file of the folder; every HL7 aECG
    // validated against the HL7 schema on the way.
    QString exportTo(const QString& name) const
    {
        const QString path = folder.filePath(name);
        TReviewAnalysis analysis(*study);
        analysis.addStoredBeats();
        TStagedFiles files;
        TStudyExport::stage(files, *study, analysis, path);
        files.commit();
        if (path.endsWith(QLatin1String(".xml")))
            expectValidAecg(path);
        return path;
    }

    static void expectValidAecg(const QString& path)
    {
        QProcess xmllint;
        xmllint.setProcessChannelMode(QProcess::MergedChannels);
        xmllint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--schema"), AecgSchema, path});
        ASSERT_TRUE(xmllint.waitForFinished(120000)) << "xmllint (Debian package libxml2-utils) did not run";
        EXPECT_EQ(xmllint.exitCode(), 0) << xmllint.readAll().right(2000).constData();
    }

    QTemporaryDir folder;
    TLocalStudyStore store;
    TStudy* study = nullptr;
};

// Each lead's samples as counts.
std::vector<std::vector<int>> samplesOf(const TStudy& study)
{
    const TEcgFile& ecg = *study.ecgFile();
    std::vector<std::vector<int>> leads;
    std::vector<double> values(std::size_t(ecg.sampleCount()));
    for (int lead = 0; lead < ecg.channelCount(); ++lead) {
        ecg.readRange(lead, 0, ecg.sampleCount(), values.data());
        leads.emplace_back(values.begin(), values.end());
    }
    return leads;
}

struct RoundTrip
{
    const char* name;
    std::function<std::vector<std::vector<qint16>>()> leads;
    const char* file;
    const char* lastName; // of the study taken in
    const char* birthDate;
};

void PrintTo(const RoundTrip& trip, std::ostream* out)
{
    *out << trip.name;
}

const RoundTrip RoundTrips[] = {
    {"SyntheticEdf", syntheticLeads, "study.edf", "Munoz", "19510502"},
    {"SyntheticBdf", syntheticLeads, "study.bdf", "Munoz", "19510502"},
    {"SyntheticWfdb", syntheticLeads, "study.hea", "study", ""},
    {"PtbEdf", ptbLeads, "study.edf", "Munoz", "19510502"},
    {"PtbBdf", ptbLeads, "study.bdf", "Munoz", "19510502"},
    {"PtbWfdb", ptbLeads, "study.hea", "study", ""},
    {"SyntheticDicom", syntheticLeads, "study.dcm", "Muñoz", "19510502"},
    {"PtbDicom", ptbLeads, "study.dcm", "Muñoz", "19510502"},
};

class StudyRoundTrip : public ::testing::TestWithParam<RoundTrip>
{
};

// The study taken in is recorded anew through the acquisition pipeline:
// the same samples must give the same beats.
TEST_P(StudyRoundTrip, GivesTheSamplesAndBeatsOfTheStudy)
{
    SourceStudy source(GetParam().leads());
    ASSERT_NE(source.study, nullptr);
    const QString path = source.exportTo(QLatin1String(GetParam().file));

    const TImportedRecording imported = TImportedRecording::read(path);
    TStudyInfo info = imported.studyInfo("20240312113000");
    EXPECT_EQ(info.studyDateTime, "20240312103000") << "dated at the recording's start, not at the import";
    EXPECT_EQ(info.lastName, GetParam().lastName);
    EXPECT_EQ(info.birthDate, GetParam().birthDate);
    const int id = TStudyRecording::recordStudy(source.store, imported.recording().leads(), info);
    TStudy* back = source.store.openStudy(id);
    ASSERT_NE(back, nullptr);

    const auto expected = samplesOf(*source.study);
    const auto actual = samplesOf(*back);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t lead = 0; lead < expected.size(); ++lead) {
        ASSERT_EQ(actual[lead].size(), expected[lead].size());
        for (std::size_t i = 0; i < expected[lead].size(); ++i)
            ASSERT_LE(std::abs(actual[lead][i] - expected[lead][i]), 1) << "lead " << lead << " sample " << i;
    }
    const auto beats = TExportRecord::beatsOf(*source.study->beatsFile());
    const auto beatsBack = TExportRecord::beatsOf(*back->beatsFile());
    EXPECT_GT(beats.size(), 10u);
    ASSERT_EQ(beatsBack.size(), beats.size());
    for (std::size_t k = 0; k < beats.size(); ++k) {
        EXPECT_DOUBLE_EQ(beatsBack[k].seconds, beats[k].seconds) << "beat " << k;
        EXPECT_EQ(beatsBack[k].normal, beats[k].normal) << "beat " << k;
    }
}

// An aECG is timed by the recording, not by the export or the import: a
// study taken in from an EDF+ file keeps the file's start (the source
// study's recording start, 2024-03-12 10:30:00), and the representative
// beat carries that time too (the schema wants it).
TEST(AecgExport, IsTimedByTheRecordingTakenIn)
{
    SourceStudy source(syntheticLeads());
    ASSERT_NE(source.study, nullptr);
    const TImportedRecording imported = TImportedRecording::read(source.exportTo(QStringLiteral("study.edf")));
    TStudyInfo info = imported.studyInfo("20991231235900");
    source.study = source.store.openStudy(TStudyRecording::recordStudy(source.store, imported.recording().leads(), info));
    ASSERT_NE(source.study, nullptr);

    QFile file(source.exportTo(QStringLiteral("again.xml")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(file.readAll());
    const QString start = QStringLiteral("<effectiveTime>\n  <low value=\"20240312103000.000\"/>");
    EXPECT_TRUE(xml.contains(start)) << xml.left(400).toStdString();
    const int beat = xml.indexOf(QLatin1String("<derivedSeries>"));
    ASSERT_GE(beat, 0);
    EXPECT_LT(xml.indexOf(QLatin1String("<effectiveTime>"), beat), xml.indexOf(QLatin1String("<component>"), beat));
}

INSTANTIATE_TEST_SUITE_P(Formats, StudyRoundTrip, ::testing::ValuesIn(RoundTrips),
                         [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

// --- The independent reader --------------------------------------------------

QByteArray run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << arguments.join(QLatin1Char(' ')).toStdString();
    return process.readAllStandardOutput();
}

// The values of save2gdf's CSV, one row per sample, with its column titles
// ("ECG I [mV]").
struct Csv
{
    QStringList titles;
    std::vector<std::vector<double>> rows;
};

Csv readCsv(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    Csv csv;
    csv.titles = QString::fromLatin1(file.readLine()).trimmed().remove(QLatin1Char('"')).split(QLatin1Char(','));
    while (!file.atEnd()) {
        std::vector<double>& row = csv.rows.emplace_back();
        for (const QByteArray& value : file.readLine().trimmed().split(','))
            row.push_back(value.toDouble());
    }
    return csv;
}

// The lead a title names ("ECG V1 [mV]" or "V1 [uV]"), and its unit in mV.
int leadOf(const TStudy& study, const QString& title, double& millivoltsPerUnit)
{
    QString name = title.section(QLatin1Char(' '), 0, -2);
    name.remove(QStringLiteral("ECG "));
    millivoltsPerUnit = title.endsWith(QLatin1String("[uV]")) ? 0.001 : 1.0;
    for (int lead = 0; lead < study.ecgFile()->channelCount(); ++lead) {
        if (study.ecgFile()->channelName(lead) == name)
            return lead;
    }
    return -1;
}

// The study's samples, then (EDF's padding of its last data record) the
// last sample repeated.
void expectSamples(const TStudy& study, const Csv& csv)
{
    const auto counts = samplesOf(study);
    ASSERT_GE(csv.rows.size(), counts.front().size());
    const double step = study.ecgFile()->lsb();
    for (int column = 0; column < csv.titles.size(); ++column) {
        double unit = 1.0;
        const int lead = leadOf(study, csv.titles[column], unit);
        ASSERT_GE(lead, 0) << csv.titles[column].toStdString();
        const std::vector<int>& expected = counts[std::size_t(lead)];
        for (std::size_t i = 0; i < csv.rows.size(); ++i)
            ASSERT_NEAR(csv.rows[i][std::size_t(column)] * unit / step, expected[std::min(i, expected.size() - 1)], 1.0)
                << csv.titles[column].toStdString() << " sample " << i;
    }
}

// Beat events at the beats' times, with the descriptions given.
void expectBeatEvents(const QJsonArray& events, const std::vector<TExportBeat>& beats, const QString& normal,
                      const QString& rejected, double toleranceSeconds)
{
    std::vector<TExportBeat> found;
    for (const QJsonValue& value : events) {
        const QJsonObject event = value.toObject();
        const QString description = event.value(QStringLiteral("Description")).toString();
        if (description == normal || description == rejected)
            found.push_back({event.value(QStringLiteral("POS")).toDouble(), description == normal});
    }
    ASSERT_EQ(found.size(), beats.size());
    for (std::size_t k = 0; k < beats.size(); ++k) {
        EXPECT_NEAR(found[k].seconds, beats[k].seconds, toleranceSeconds) << "beat " << k;
        EXPECT_EQ(found[k].normal, beats[k].normal) << "beat " << k;
    }
}

struct ReaderCase
{
    const char* file;
    int recordSamples;     // the file holds whole data records of this many samples
    int channels;
    bool samples;          // whether save2gdf reads the samples
    const char* normal;    // its description of a normal beat; null when it reads no beats
    const char* rejected;
    double toleranceSeconds; // of the beat times it reports
};

void PrintTo(const ReaderCase& reader, std::ostream* out)
{
    *out << reader.file;
}

// EDF+ onsets have a resolution of 0.1 ms. biosig 2.5 reads no aECG
// annotations; its WFDB reader takes annotation sample numbers as counted
// from 1 (one sample early) and misplaces the samples of a file holding
// several signals (or fails on long ones): there it is asked for the
// header and the annotations only.
const ReaderCase ReaderCases[] = {
    {"study.edf", 1000, 14, true, TEdfExport::NormalBeat, TEdfExport::RejectedBeat, 0.0001},
    {"study.bdf", 1000, 14, true, TEdfExport::NormalBeat, TEdfExport::RejectedBeat, 0.0001},
    {"study.hea", 1, 14, false, "normal beat", "unclassifiable beat", 0.0011},
    {"study.xml", 1, 12, true, nullptr, nullptr, 0.0},
};

class IndependentReader : public ::testing::TestWithParam<ReaderCase>
{
};

TEST_P(IndependentReader, FindsTheLeadsSamplesAndBeatsOfTheStudy)
{
    const QString save2gdf = QStandardPaths::findExecutable(QStringLiteral("save2gdf"));
    if (save2gdf.isEmpty())
        GTEST_SKIP() << "save2gdf (Debian package biosig-tools) is not installed";
    SourceStudy source(syntheticLeads());
    ASSERT_NE(source.study, nullptr);
    const QString path = source.exportTo(QLatin1String(GetParam().file));

    const QJsonObject header = QJsonDocument::fromJson(run(save2gdf, {QStringLiteral("-JSON"), path})).object();
    ASSERT_FALSE(header.isEmpty());
    const int records = (source.study->ecgFile()->sampleCount() + GetParam().recordSamples - 1) / GetParam().recordSamples;
    EXPECT_EQ(header.value(QStringLiteral("NumberOfSamples")).toInt(), records * GetParam().recordSamples);
    EXPECT_EQ(header.value(QStringLiteral("Samplingrate")).toDouble(), 1000.0);
    int leads = 0;
    for (const QJsonValue& channel : header.value(QStringLiteral("CHANNEL")).toArray())
        leads += channel.toObject().value(QStringLiteral("Label")).toString().contains(QStringLiteral("Annotations")) ? 0 : 1;
    EXPECT_EQ(leads, GetParam().channels);

    if (GetParam().normal)
        expectBeatEvents(header.value(QStringLiteral("EVENT")).toArray(),
                         TExportRecord::beatsOf(*source.study->beatsFile()), QLatin1String(GetParam().normal),
                         QLatin1String(GetParam().rejected), GetParam().toleranceSeconds);
    if (GetParam().samples) {
        const QString csv = path + QStringLiteral(".csv");
        run(save2gdf, {QStringLiteral("-CSV"), path, csv});
        expectSamples(*source.study, readCsv(csv));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, IndependentReader, ::testing::ValuesIn(ReaderCases),
                         [](const ::testing::TestParamInfo<ReaderCase>& info) {
                             return QString::fromLatin1(info.param.file).remove(QLatin1Char('.')).toStdString();
                         });

} // namespace
