// The study file "pxstudy" (PXSTUDY2 byte for byte, PXSTUDY1 read, atomic
// saves), the ECG header "PXECG1" (and its bound of 4096 bytes), the beats
// header, and loadStudyFile with the open functions refusing bad files.
#include "StorageTestSupport.h"

#include "storage/TBeatsFile.h"
#include "storage/TEcgFile.h"
#include "storage/TStudy.h"
#include "storage/TStudyFiles.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudyJson.h"
#include "tests/common/FileSizeLimit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <zlib.h>

#include <random>

namespace {

// Inflates a zlib stream with zlib itself, independent of the code under test.
QByteArray zlibInflate(const QByteArray& stream, int size)
{
    QByteArray out(size, '\0');
    uLongf length = uLongf(size);
    if (::uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                     reinterpret_cast<const Bytef*>(stream.constData()), uLong(stream.size())) != Z_OK)
        return QByteArray("<inflate failed>");
    out.truncate(int(length));
    return out;
}

QByteArray zlibDeflate(const QByteArray& data)
{
    uLongf length = compressBound(uLong(data.size()));
    QByteArray out(int(length), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(data.constData()),
              uLong(data.size()), Z_DEFAULT_COMPRESSION);
    out.truncate(int(length));
    return out;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(value, bytes.data());
    return bytes;
}

const char* const DocumentJson =
    R"({"study":{"id":4242,"baseFilename":"Garcia-Ana-20140312103000","status":"","studyType":"VA ROR",)"
    R"("institutionName":"Clinica","technicianName":"","doctorName":"Dr. X","referringDoctorName":"",)"
    R"("treatment":"","indication":"","comments":"","conclusion":"Normal",)"
    R"("studyDateTime":"20140312103000","recordingDateTime":"20140312103510"},)"
    R"("patient":{"firstName":"Ana","lastName":"Garcia","sex":"F","age":57,"weight":"60","height":"165",)"
    R"("birthDate":"19570101","personIdType":"DNI","personIdNumber":"123","medicalGroupName":"",)"
    R"("medicalGroupNumber":"","medicalHistoryNumber":"","address":"","city":"","state":"","country":"",)"
    R"("phoneNumber":"","riskFactors":[{"name":"Gota","status":true,"comment":"x"}]},)"
    R"("results":{"QRSOnset":{"type":"value","value":-0.04},"QRSOffset":{"type":"value","value":0.07}}})";

class StudyFilesTest : public ::testing::Test
{
protected:
    // The ECG and beats files beside a study file named `name`.pxstudy.
    void writeDataFiles(const QString& name, int channels = 3, const QByteArray& ecgJson = QByteArray())
    {
        QByteArray ecg = QByteArray("PXECG1")
                         + (ecgJson.isEmpty() ? QByteArray(R"({"ecg":{"sampleFormat":"short","samplingRate":1000,)"
                                                           R"("resolution":16,"gainMin":-300,"gainMax":300,)"
                                                           R"("channels":["I","II","III"]}})")
                                              : ecgJson);
        ecg.append(QByteArray(4096 - ecg.size(), '\0'));
        for (int i = 0; i < 10 * channels; ++i)
            ecg.append(char(i)).append('\0');
        ASSERT_TRUE(writeAll(env.path(name + ".pxecg"), ecg));
        QByteArray beats = QByteArray("PXBEATS1") + QByteArray(248, '\0');
        ASSERT_TRUE(writeAll(env.path(name + ".pxbeats"), beats));
    }

    TempStorageEnvironment env;
};

TEST_F(StudyFilesTest, SavedStudyFileIsMagicBigEndianLengthAndZlibStream)
{
    TStudy study(4242);
    study.setProperty("baseFilename", "Garcia-Ana-20140312103000");
    study.setProperty("patient/firstName", "Ana");
    study.addRiskFactor("Gota", true, "x");
    study.results().find("QRSOnset")->setValue(-0.04);
    const QString path = env.path("a.pxstudy");
    TStudyFiles::saveStudyFile(study, path);

    const QByteArray bytes = readAll(path);
    ASSERT_GT(bytes.size(), 14);
    EXPECT_EQ(bytes.left(8), QByteArray("PXSTUDY2"));
    const quint32 length = qFromBigEndian<quint32>(bytes.constData() + 8);
    EXPECT_EQ(quint8(bytes[12]), 0x78) << "zlib stream (RFC 1950)";
    EXPECT_EQ(quint8(bytes[13]), 0x9c) << "default compression level";
    const QByteArray json = zlibInflate(bytes.mid(12), int(length));
    EXPECT_EQ(quint32(json.size()), length);
    EXPECT_FALSE(json.contains('\n')) << "compact";
    EXPECT_FALSE(json.contains(": ")) << "compact";

    const QJsonObject document = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(document.keys(), (QStringList{"patient", "results", "study"}));
    EXPECT_EQ(document.value("study").toObject(), TStudyJson::studyObject(study));
    EXPECT_EQ(document.value("patient").toObject(), TStudyJson::patientObject(study));
    EXPECT_EQ(document.value("results").toObject().value("QRSOnset").toObject().value("value").toDouble(), -0.04);
    EXPECT_EQ(document.value("results").toObject().size(), 8);
}

TEST_F(StudyFilesTest, HandBuiltStudyFilesOfBothVersionsLoadAlike)
{
    writeDataFiles("v2");
    writeDataFiles("v1");
    const QByteArray json(DocumentJson);
    ASSERT_TRUE(writeAll(env.path("v2.pxstudy"),
                         QByteArray("PXSTUDY2") + bigEndian32(quint32(json.size())) + zlibDeflate(json)));
    ASSERT_TRUE(writeAll(env.path("v1.pxstudy"), QByteArray("PXSTUDY1") + json));

    for (const char* name : {"v1", "v2"}) {
        SCOPED_TRACE(name);
        std::unique_ptr<TStudy> study = TStudyFiles::loadStudyFile(env.path(QString(name) + ".pxstudy"));
        ASSERT_TRUE(study);
        EXPECT_EQ(study->id(), 4242);
        EXPECT_EQ(study->propertyValue("baseFilename"), "Garcia-Ana-20140312103000");
        EXPECT_EQ(study->propertyValue("conclusion"), "Normal");
        EXPECT_EQ(study->propertyValue("patient/age"), "57");
        EXPECT_EQ(study->studyDateTime(), "20140312103000");
        EXPECT_EQ(study->recordingDateTime(), "20140312103510");
        std::string comment;
        EXPECT_TRUE(study->riskFactor("Gota", comment));
        EXPECT_EQ(comment, "x");
        EXPECT_EQ(study->results().find("QRSOnset")->value(), -0.04);
        EXPECT_EQ(study->results().find("QRSOffset")->value(), 0.07);
        EXPECT_EQ(study->results().find("POnset")->value(), 0.0);
        ASSERT_NE(study->ecgFile(), nullptr);
        EXPECT_EQ(study->ecgFile()->sampleCount(), 10);
        EXPECT_EQ(study->ecgFile()->channelName(2), "III");
        EXPECT_EQ(study->ecgFile()->rangeMaximum(), 300.0);
        ASSERT_NE(study->beatsFile(), nullptr);
        EXPECT_EQ(study->beatsFile()->count(), 0);
    }

    // Saving a version 1 file writes version 2.
    std::unique_ptr<TStudy> study = TStudyFiles::loadStudyFile(env.path("v1.pxstudy"));
    ASSERT_TRUE(study);
    TStudyFiles::saveStudyFile(*study, env.path("v1.pxstudy"));
    EXPECT_EQ(readAll(env.path("v1.pxstudy")).left(8), QByteArray("PXSTUDY2"));
    study.reset();
    EXPECT_TRUE(TStudyFiles::loadStudyFile(env.path("v1.pxstudy")));
}

TEST_F(StudyFilesTest, UnreadableStudyFilesAreNotLoadable)
{
    writeDataFiles("s");
    const QString path = env.path("s.pxstudy");
    const QByteArray json(DocumentJson);
    const QByteArray good = QByteArray("PXSTUDY2") + bigEndian32(quint32(json.size())) + zlibDeflate(json);
    const QList<QByteArray> bad{
        QByteArray(),
        QByteArray("PXSTUD"),
        QByteArray("PXSTUDY2"),
        QByteArray("PXSTUDY3") + json,
        QByteArray("pxstudy1") + json,
        QByteArray("PXSTUDY2") + json,  // not compressed
        good.left(good.size() - 5),     // truncated stream
        QByteArray("PXSTUDY1{\"study\":"),
        QByteArray("PXSTUDY1[]"),
        QByteArray("PXSTUDY1{\"study\":{},\"patient\":{\"a\":\"\"}}"),
        QByteArray("PXSTUDY1{\"study\":{\"id\":1},\"patient\":{}}"),
        QByteArray("PXSTUDY1{\"study\":{\"id\":1}}"),
        QByteArray("PXSTUDY1{\"study\":1,\"patient\":{\"a\":1}}"),
    };
    for (const QByteArray& bytes : bad) {
        ASSERT_TRUE(writeAll(path, bytes));
        EXPECT_FALSE(TStudyFiles::loadStudyFile(path)) << bytes.left(40).toStdString();
    }
    ASSERT_TRUE(writeAll(path, good));
    EXPECT_TRUE(TStudyFiles::loadStudyFile(path));
    EXPECT_FALSE(TStudyFiles::loadStudyFile(env.path("missing.pxstudy")));
    EXPECT_FALSE(TStudyFiles::loadStudyFile(env.base())) << "a folder";

    QJsonDocument document;
    ASSERT_TRUE(writeAll(path, QByteArray("PXSTUDY1{broken")));
    EXPECT_TRUE(TStudyFiles::readStudyDocument(path, document));
    EXPECT_TRUE(document.isEmpty()) << "a parse error gives an empty document";
}

TEST_F(StudyFilesTest, LyingLengthFieldDoesNotMatter)
{
    writeDataFiles("s");
    const QByteArray json(DocumentJson);
    for (quint32 length : {0u, 5u, 0x7fffffffu, 0xffffffffu}) {
        ASSERT_TRUE(writeAll(env.path("s.pxstudy"), QByteArray("PXSTUDY2") + bigEndian32(length) + zlibDeflate(json)));
        EXPECT_TRUE(TStudyFiles::loadStudyFile(env.path("s.pxstudy"))) << length;
    }
}

TEST_F(StudyFilesTest, DataFilesMustOpen)
{
    const QByteArray json(DocumentJson);
    const QString path = env.path("s.pxstudy");
    ASSERT_TRUE(writeAll(path, QByteArray("PXSTUDY1") + json));
    EXPECT_FALSE(TStudyFiles::loadStudyFile(path)) << "no data files";

    writeDataFiles("s");
    QFile::remove(env.path("s.pxbeats"));
    EXPECT_FALSE(TStudyFiles::loadStudyFile(path)) << "no beats file";
    ASSERT_TRUE(writeAll(env.path("s.pxbeats"), QByteArray("PXBEATS2") + QByteArray(248, '\0')));
    EXPECT_FALSE(TStudyFiles::loadStudyFile(path)) << "beats magic";
    ASSERT_TRUE(writeAll(env.path("s.pxbeats"), QByteArray("PXBEATS1")));
    EXPECT_TRUE(TStudyFiles::loadStudyFile(path)) << "a bare magic is an empty beats file";
}

TEST_F(StudyFilesTest, BytesAppendedToTheBeatsFileAreRefusedNamingIt)
{
    const QString path = env.path("s.pxstudy");
    ASSERT_TRUE(writeAll(path, QByteArray("PXSTUDY1") + DocumentJson));
    writeDataFiles("s");
    // One record's worth of 0xFF: every time NaN.
    const int recordSize = 56 + 80 * 3;
    QFile beats(env.path("s.pxbeats"));
    ASSERT_TRUE(beats.open(QIODevice::Append));
    ASSERT_EQ(beats.write(QByteArray(recordSize, '\xff')), recordSize);
    beats.close();
    QString refusal;
    EXPECT_FALSE(TStudyFiles::loadStudyFile(path, &refusal));
    EXPECT_TRUE(refusal.startsWith(env.path("s.pxbeats") + ": beat 1 has a window start")) << refusal.toStdString();
}

TEST_F(StudyFilesTest, EcgHeaderChecks)
{
    const struct {
        const char* json;
        bool opens;
    } cases[] = {
        {R"({"ecg":{"sampleFormat":"int","samplingRate":500,"resolution":12,"gainMin":-1,"gainMax":1,"channels":["a"]}})", true},
        {R"({"ecg":{"sampleFormat":"short","samplingRate":0,"resolution":16,"channels":["a"]}})", false},
        {R"({"ecg":{"sampleFormat":"short","samplingRate":1000,"resolution":0,"channels":["a"]}})", false},
        {R"({"ecg":{"sampleFormat":"","samplingRate":1000,"resolution":16,"channels":["a"]}})", false},
        {R"({"ecg":{"sampleFormat":"short","samplingRate":1000,"resolution":16,"channels":[]}})", false},
        {R"({"ecg":{"sampleFormat":"short","samplingRate":1000,"resolution":16,)"
         R"("channels":["1","2","3","4","5","6","7","8","9","10","11","12","13","14","15","16","17"]}})", false},
        {R"({"ecg":{"sampleFormat":"short","samplingRate":-5,"resolution":16,"channels":["a"]}})", false},
        {R"({"ecg":{"sampleFormat":"short","samplingRate":2147483647,"resolution":16,"gainMin":-1,"gainMax":1,)"
         R"("channels":["a"]}})", false},
        {R"({"ecg":{"sampleFormat":"short","samplingRate":1000,"resolution":16,"gainMin":-1e308,"gainMax":1e308,)"
         R"("channels":["a"]}})", false},
        {R"({"ecg":{}})", false},
        {R"({"study":{"id":1}})", false},
        {R"({"ecg":)", false},
    };
    for (const auto& c : cases) {
        writeDataFiles("e", 1, QByteArray(c.json));
        std::unique_ptr<TEcgFile> ecg = TStudyFiles::openEcgFile(env.path("e.pxecg"));
        EXPECT_EQ(bool(ecg), c.opens) << c.json;
    }
    writeDataFiles("e", 1, QByteArray(cases[0].json));
    std::unique_ptr<TEcgFile> ecg = TStudyFiles::openEcgFile(env.path("e.pxecg"));
    ASSERT_TRUE(ecg);
    EXPECT_EQ(ecg->samplingRate(), 500);
    EXPECT_EQ(ecg->resolutionBits(), 12);
    EXPECT_EQ(ecg->rangeMinimum(), -1.0);
    EXPECT_EQ(ecg->channelName(0), "a");
    EXPECT_EQ(ecg->sampleCount(), 10);

    QByteArray wrongMagic = readAll(env.path("e.pxecg"));
    wrongMagic[5] = '2';
    ASSERT_TRUE(writeAll(env.path("e.pxecg"), wrongMagic));
    EXPECT_FALSE(TStudyFiles::openEcgFile(env.path("e.pxecg")));
    ASSERT_TRUE(writeAll(env.path("e.pxecg"), QByteArray("PXEC")));
    EXPECT_FALSE(TStudyFiles::openEcgFile(env.path("e.pxecg")));
    EXPECT_FALSE(TStudyFiles::openEcgFile(env.path("missing.pxecg")));
}

TEST_F(StudyFilesTest, EcgHeaderDocument)
{
    TStudy study(9);
    study.setProperty("patient/lastName", "Garcia");
    TEcgFile ecg(env.path("h.pxecg"), 3, 1000, 4096, true);
    ecg.setAmplitudeRange(-300.0, 300.0);
    ecg.setResolution(16);
    ecg.setChannelName(2, "V1");
    const QByteArray header = TStudyFiles::ecgHeader(study, ecg);
    ASSERT_EQ(header.left(6), QByteArray("PXECG1"));
    const QJsonObject root = QJsonDocument::fromJson(header.mid(6)).object();
    EXPECT_EQ(root.keys(), (QStringList{"ecg", "patient", "study"}));
    EXPECT_EQ(root.value("study").toObject(), TStudyJson::studyObject(study));
    EXPECT_EQ(root.value("patient").toObject(), TStudyJson::patientObject(study));
    const QJsonObject expected = QJsonDocument::fromJson(
        R"({"sampleFormat":"short","samplingRate":1000,"resolution":16,"gainMin":-300,"gainMax":300,)"
        R"("channels":["I","II","V1"]})").object();
    EXPECT_EQ(root.value("ecg").toObject(), expected);
    EXPECT_EQ(TStudyFiles::beatsHeader(), QByteArray("PXBEATS1"));
}

TEST_F(StudyFilesTest, LongTextsAreShortenedInTheEcgHeaderOnly)
{
    TStudy study(9);
    study.setProperty("comments", std::string(3000, 'c'));
    study.setProperty("patient/address", std::string(2000, '"'));  // escaped: two bytes each
    std::string accents;
    for (int i = 0; i < 1500; ++i)
        accents += "\xc3\xb1";
    study.setProperty("patient/lastName", accents);
    study.setProperty("indication", std::string(900, '\x01'));  // escaped: six bytes each
    for (int i = 0; i < 40; ++i)
        study.addRiskFactor("factor " + std::to_string(i), true, std::string(100, 'r'));

    TEcgFile ecg(env.path("h.pxecg"), 14, 1000, 4096, true);
    const QByteArray header = TStudyFiles::ecgHeader(study, ecg);
    EXPECT_LE(header.size(), 4095) << "at least one zero byte follows the document";
    const QJsonObject root = QJsonDocument::fromJson(header.mid(6)).object();
    ASSERT_FALSE(root.isEmpty());
    EXPECT_EQ(root.value("ecg").toObject().value("channels").toArray().size(), 14);
    EXPECT_EQ(root.value("ecg").toObject().value("channels").toArray().at(13).toString(), "CR5");
    EXPECT_EQ(root.value("study").toObject().value("id").toInt(), 9);
    EXPECT_LT(root.value("study").toObject().value("comments").toString().size(), 3000);
    EXPECT_TRUE(QString::fromUtf8(header).toUtf8() == header) << "no character was split";

    EXPECT_TRUE(ecg.writeHeader(header));
    std::unique_ptr<TEcgFile> reopened = TStudyFiles::openEcgFile(env.path("h.pxecg"));
    ASSERT_TRUE(reopened) << "the file always reopens";
    EXPECT_EQ(reopened->channelCount(), 14);
    EXPECT_EQ(study.propertyValue("comments"), std::string(3000, 'c')) << "the study keeps its texts";
}

TEST_F(StudyFilesTest, LongChannelNamesAreShortenedLast)
{
    TStudy study(1);
    TEcgFile ecg(env.path("h.pxecg"), 16, 1000, 4096, true);
    for (int c = 0; c < 16; ++c)
        ecg.setChannelName(c, QString(400, QChar('a' + c)));
    const QByteArray header = TStudyFiles::ecgHeader(study, ecg);
    EXPECT_LE(header.size(), 4095);
    const QJsonArray channels = QJsonDocument::fromJson(header.mid(6)).object().value("ecg").toObject().value("channels").toArray();
    ASSERT_EQ(channels.size(), 16);
    EXPECT_EQ(channels.at(3).toString(), QString(16, 'd'));
}

TEST_F(StudyFilesTest, FailedSaveLeavesTheOldFile)
{
    TStudy study(1);
    study.setProperty("comments", "old");
    const QString path = env.path("a.pxstudy");
    TStudyFiles::saveStudyFile(study, path);
    const QByteArray old = readAll(path);

    // A file size limit makes every write beyond 64 bytes fail (as root
    // too, where permissions would not).
    std::minstd_rand random(7);
    std::string noise(5000, ' ');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = char('a' + random() % 26);
    study.setProperty("comments", noise);  // does not compress below the limit
    std::string message;
    {
        const FileSizeLimit limit(64);
        message = thrownMessage([&] { TStudyFiles::saveStudyFile(study, path); });
    }

    EXPECT_EQ(message, "Write error");
    EXPECT_EQ(readAll(path), old);
    EXPECT_EQ(QDir(env.base()).entryList(QDir::Files), QStringList{"a.pxstudy"}) << "no temporary file is left";

    EXPECT_EQ(thrownMessage([&] { TStudyFiles::saveStudyFile(study, env.path("no/such/a.pxstudy")); }),
              "Cannot create study file");
}

// The three files of a study replaced together; the last cannot be moved
// into place: every target is as it was, none is left beside another
// version's files.
TEST(StagedFilesTest, AFailedMoveIntoPlacePutsEveryTargetBack)
{
    TempStorageEnvironment env;
    const QString ecg = env.path("s.pxecg");
    const QString beats = env.path("s.pxbeats");
    const QString study = env.path("s.pxstudy");
    ASSERT_TRUE(writeAll(ecg, "old ecg"));
    ASSERT_TRUE(writeAll(study, "old study"));
    {
        TStagedFiles staged;
        staged.write(ecg, "new ecg");
        staged.write(beats, "new beats");
        const QString temporary = staged.stage(study);
        ASSERT_TRUE(writeAll(temporary, "new study"));
        // The study file cannot be set aside: a folder holds the place.
        ASSERT_TRUE(QDir().mkpath(temporary + ".old/x"));
        EXPECT_EQ(thrownMessage([&] { staged.commit(); }), "Cannot move " + study.toStdString() + " into place");
    }
    EXPECT_EQ(readAll(ecg), "old ecg");
    EXPECT_FALSE(QFile::exists(beats));
    EXPECT_EQ(readAll(study), "old study");
    EXPECT_EQ(QDir(env.base()).entryList(QDir::Files | QDir::Hidden), (QStringList{"s.pxecg", "s.pxstudy"}));
}

// Temporary files are made anew under names no one can foresee: a link
// planted where a temporary could be is never written through; what a
// killed writer left of a target is cleared by the next one; what is
// written is its owner's only.
TEST(StagedFilesTest, TemporariesFollowNoPlantedLinkAndNoneOutliveTheirWriter)
{
    TempStorageEnvironment env;
    const QString victim = env.path("victim");
    const QString target = env.path("r.pdf");
    ASSERT_TRUE(writeAll(victim, "someone's file"));
    ASSERT_TRUE(QFile::link(victim, target + ".part"));
    // Left by a writer that was killed (no process has that id); being
    // written by a running process; left by another computer.
    const QString host = TStagedFiles::hostTag();
    const QString stale = env.path(".r.pdf." + host + "-2147483646-0badf00d.part");
    ASSERT_TRUE(writeAll(stale, "half a report"));
    const QString running = ".r.pdf." + host + "-1-0badf00d.part";
    ASSERT_TRUE(writeAll(env.path(running), "being written"));
    const QString elsewhere = ".r.pdf.00000000-2147483646-0badf00d.part";
    ASSERT_TRUE(writeAll(env.path(elsewhere), "being written elsewhere"));
    {
        TStagedFiles staged;
        staged.write(target, "report");
        staged.commit();
    }
    EXPECT_EQ(readAll(victim), "someone's file");
    EXPECT_EQ(readAll(target), "report");
    EXPECT_EQ(QFileInfo(target).permissions() & 0x0077, 0) << "readable by its owner only";
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_EQ(QDir(env.base()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{elsewhere, running, "r.pdf", "r.pdf.part", "victim"}));
}

} // namespace
