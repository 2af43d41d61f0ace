// The study record: TStudy properties and risk factors, the conversions to
// and from TStudyInfo, the JSON forms and their reading rules, study ids
// and base file names.
#include "StorageTestSupport.h"

#include "storage/TStudy.h"
#include "storage/TStudyFileName.h"
#include "storage/TStudyId.h"
#include "storage/TStudyJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>

namespace {

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

TStudyInfo filledInfo()
{
    TStudyInfo info;
    info.id = 77;
    int n = 0;
    for (const TStudyInfoTextField& field : studyInfoStudyFields())
        info.*field.field = std::string("study-") + field.name + "-" + std::to_string(++n);
    for (const TStudyInfoTextField& field : studyInfoPatientFields())
        info.*field.field = std::string("patient-") + field.name + "-" + std::to_string(++n);
    info.studyDateTime = "20140312103000";
    info.recordingDateTime = "20140312103512";
    info.sampleFormat = "short";
    info.samplingRate = 1000;
    info.channelCount = 14;
    info.channelNames = "I,II";
    info.resolution = 16;
    info.gain = 300.0;
    info.riskFactors = {{"Gota", true, "c1"}, {"Angor", false, ""}, {"Hipertensi\xc3\xb3n", true, "alta"}};
    return info;
}

TEST(StudyRecordTest, NewStudyHasNoDatesAndEightZeroResults)
{
    TStudy study;
    EXPECT_EQ(study.id(), 0);
    EXPECT_EQ(study.studyDateTime(), "00000000000000");
    EXPECT_EQ(study.recordingDateTime(), "00000000000000");
    EXPECT_EQ(study.results().count(), 8);
    for (const TWaveMark& mark : study.results()) {
        EXPECT_EQ(mark.kind(), TWaveMark::SingleValue);
        EXPECT_EQ(mark.value(), 0.0);
    }
    EXPECT_EQ(study.ecgFile(), nullptr);
    EXPECT_EQ(study.beatsFile(), nullptr);
}

TEST(StudyRecordTest, ReadingAnAbsentPropertyInsertsIt)
{
    TStudy study;
    EXPECT_EQ(study.propertyValue("conclusion"), "");
    EXPECT_EQ(study.properties().count("conclusion"), 0u);
    EXPECT_EQ(study.property("conclusion"), "");
    EXPECT_EQ(study.properties().count("conclusion"), 1u);
    study.setProperty("conclusion", "normal");
    EXPECT_EQ(study.property("conclusion"), "normal");
}

TEST(StudyRecordTest, RiskFactorsAreKeyedByName)
{
    TStudy study;
    study.addRiskFactor("Gota", true, "a");
    study.addRiskFactor("Angor", false, "b");
    study.addRiskFactor("Gota", false, "c");
    std::string comment = "untouched";
    EXPECT_FALSE(study.riskFactor("Diabetes", comment));
    EXPECT_EQ(comment, "untouched");
    EXPECT_FALSE(study.riskFactor("Gota", comment));
    EXPECT_EQ(comment, "c");
    study.addRiskFactor("Gota", true, "d");
    EXPECT_TRUE(study.riskFactor("Gota", comment));
    EXPECT_EQ(comment, "d");
    EXPECT_EQ(study.riskFactorNames(), (std::vector<std::string>{"Angor", "Gota"}));
}

TEST(StudyRecordTest, StudyInfoRoundTripCopiesTextsAndRiskFactorsOnly)
{
    TStudy first(5);
    applyStudyInfo(first, filledInfo());
    EXPECT_EQ(first.id(), 5) << "setStudyInfo keeps the id";
    EXPECT_EQ(first.propertyValue("patient/lastName"), filledInfo().lastName);
    EXPECT_EQ(first.propertyValue("doctorName"), filledInfo().doctorName);

    const TStudyInfo info = studyInfoOf(first);
    TStudy second(9);
    applyStudyInfo(second, info);
    const TStudyInfo copy = studyInfoOf(second);
    EXPECT_EQ(copy.id, 9);
    const TStudyInfo expected = filledInfo();
    for (const TStudyInfoTextField& field : studyInfoStudyFields())
        EXPECT_EQ(copy.*field.field, expected.*field.field) << field.name;
    for (const TStudyInfoTextField& field : studyInfoPatientFields())
        EXPECT_EQ(copy.*field.field, expected.*field.field) << field.name;
    EXPECT_EQ(copy.studyDateTime, expected.studyDateTime);
    EXPECT_EQ(copy.recordingDateTime, expected.recordingDateTime);
    EXPECT_EQ(copy.sampleFormat, "");
    EXPECT_EQ(copy.samplingRate, 0);
    EXPECT_EQ(copy.channelCount, 0);
    EXPECT_EQ(copy.channelNames, "");
    EXPECT_EQ(copy.resolution, 0);
    EXPECT_EQ(copy.gain, 0.0);
    ASSERT_EQ(copy.riskFactors.size(), 3u);
    EXPECT_EQ(copy.riskFactors[0].name, "Angor") << "in name order";
    EXPECT_EQ(copy.riskFactors[1].name, "Gota");
    EXPECT_TRUE(copy.riskFactors[1].present);
    EXPECT_EQ(copy.riskFactors[1].comment, "c1");
    EXPECT_EQ(copy.riskFactors[2].name, "Hipertensi\xc3\xb3n");
}

TEST(StudyRecordTest, EmptyValuesOfTheRecordAreApplied)
{
    TStudy study;
    study.setProperty("conclusion", "old");
    applyStudyInfo(study, TStudyInfo());
    EXPECT_EQ(study.propertyValue("conclusion"), "");
    EXPECT_EQ(study.properties().size(), 30u) << "13 study keys (the order's two among them) and 17 patient keys";
}

TEST(StudyRecordTest, RiskFactorListHasElevenNames)
{
    const std::vector<std::string>& names = defaultRiskFactorNames();
    ASSERT_EQ(names.size(), 11u);
    EXPECT_EQ(names.front(), "Hipertensi\xc3\xb3n");
    EXPECT_EQ(names[3], "Sedentarismo");
    EXPECT_EQ(names.back(), "Gota");
}

TEST(StudyJsonTest, ObjectsCarryEveryKey)
{
    TStudy study(123);
    applyStudyInfo(study, filledInfo());
    const QJsonObject studyObject = TStudyJson::studyObject(study);
    EXPECT_EQ(studyObject.size(), 16); // 13 keys (the order's two among them), id and the two date-times
    EXPECT_EQ(studyObject.value("id").toInt(), 123);
    EXPECT_EQ(studyObject.value("studyDateTime").toString(), "20140312103000");
    EXPECT_EQ(studyObject.value("conclusion").toString().toStdString(), filledInfo().conclusion);

    const QJsonObject patient = TStudyJson::patientObject(study);
    EXPECT_EQ(patient.size(), 18);
    EXPECT_EQ(patient.value("phoneNumber").toString().toStdString(), filledInfo().phoneNumber);
    const QJsonArray factors = patient.value("riskFactors").toArray();
    ASSERT_EQ(factors.size(), 3);
    EXPECT_EQ(factors[0].toObject().value("name").toString(), "Angor");
    EXPECT_EQ(factors[1].toObject().value("status").toBool(), true);
    EXPECT_EQ(factors[2].toObject().value("name").toString(), QString::fromUtf8("Hipertensi\xc3\xb3n"));
}

TEST(StudyJsonTest, ResultsOfEveryKind)
{
    TWaveMarks marks;
    marks.find("QRSOnset")->setValue(-0.05);
    TWaveMark& array = marks.insert("curve", TWaveMark::ValueArray);
    array.setValues({1.0, 2.5});
    TWaveMark& trend = marks.insert("hr", TWaveMark::Trend);
    trend.appendPoint(10.0, 60.0);
    trend.appendPoint(11.0, 61.5);

    const QByteArray json = TStudyJson::compact(TStudyJson::resultsObject(marks));
    EXPECT_FALSE(json.contains('\n'));
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(object.size(), 10);
    EXPECT_EQ(object.value("QRSOnset").toObject(), parse(R"({"type":"value","value":-0.05})"));
    EXPECT_EQ(object.value("curve").toObject(), parse(R"({"type":"valueArray","values":[1,2.5]})"));
    EXPECT_EQ(object.value("hr").toObject(), parse(R"({"type":"trend","timestamps":[10,11],"values":[60,61.5]})"));

    TWaveMarks back;
    back.insert("curve", TWaveMark::ValueArray).setValues({9.0, 9.0, 9.0});
    back.insert("hr", TWaveMark::Trend);
    TStudyJson::readResultsObject(object, back);
    EXPECT_EQ(back.find("QRSOnset")->value(), -0.05);
    EXPECT_EQ(back.find("curve")->values(), (QVector<double>{1.0, 2.5})) << "resized to the array";
    ASSERT_EQ(back.find("hr")->pointCount(), 2);
    EXPECT_EQ(back.find("hr")->timestamp(1), 11.0);
    EXPECT_EQ(back.find("hr")->pointValue(1), 61.5);
}

TEST(StudyJsonTest, ResultsAreReadByTheEntrysKindAndFurtherOnesByTheirType)
{
    TWaveMarks marks;
    TStudyJson::readResultsObject(
        parse(R"({"POnset":{"type":"trend","timestamps":[1],"values":[2]},)"
              R"("TOnset":{"type":"trend","value":0.3},"LPCutoff":{"type":"value","value":40},)"
              R"("odd":{"type":"other","value":1},"PPeak":7})"),
        marks);
    EXPECT_EQ(marks.find("POnset")->kind(), TWaveMark::SingleValue);
    EXPECT_EQ(marks.find("POnset")->value(), 0.0);
    EXPECT_EQ(marks.find("TOnset")->value(), 0.3);
    EXPECT_EQ(marks.find("PPeak")->value(), 0.0);
    // Further results are kept by their type, so that a study saved again
    // keeps them; one of no known type is left out.
    ASSERT_NE(marks.find("LPCutoff"), nullptr);
    EXPECT_EQ(marks.find("LPCutoff")->value(), 40.0);
    EXPECT_EQ(marks.find("odd"), nullptr);
    EXPECT_EQ(marks.count(), 9);
}

TEST(StudyJsonTest, PatientReadingRules)
{
    TStudy study;
    TStudyJson::readPatientObject(
        parse(R"({"age":57,"weight":1.75,"height":1234567,"sex":true,"city":null,"state":[1],)"
              R"("country":"AR","firstName":"Ana",)"
              R"("riskFactors":[{"name":"Gota","status":true,"comment":"first"},)"
              R"({"name":"Angor","status":true},{"name":"Gota","status":false,"comment":"second"}]})"),
        study);
    EXPECT_EQ(study.propertyValue("patient/age"), "57");
    EXPECT_EQ(study.propertyValue("patient/weight"), "1.75");
    EXPECT_EQ(study.propertyValue("patient/height"), "1.23457e+06");
    EXPECT_EQ(study.propertyValue("patient/sex"), "");
    EXPECT_EQ(study.propertyValue("patient/city"), "");
    EXPECT_EQ(study.propertyValue("patient/state"), "");
    EXPECT_EQ(study.propertyValue("patient/country"), "AR");
    EXPECT_EQ(study.propertyValue("patient/firstName"), "Ana");
    EXPECT_EQ(study.propertyValue("patient/lastName"), "");
    std::string comment;
    EXPECT_FALSE(study.riskFactor("Gota", comment));
    EXPECT_EQ(comment, "second");
    EXPECT_TRUE(study.riskFactor("Angor", comment));
    EXPECT_EQ(study.riskFactorNames().size(), 2u);
}

TEST(StudyJsonTest, StudyReadingRules)
{
    TStudy study;
    TStudyJson::readStudyObject(parse(R"({"id":4711,"status":5,"studyType":"VA ROR","conclusion":false,)"
                                      R"("studyDateTime":"20200101120000"})"),
                                study);
    EXPECT_EQ(study.id(), 4711);
    EXPECT_EQ(study.propertyValue("status"), "");
    EXPECT_EQ(study.propertyValue("studyType"), "VA ROR");
    EXPECT_EQ(study.propertyValue("conclusion"), "");
    EXPECT_EQ(study.studyDateTime(), "20200101120000");

    TStudy noId(3);
    TStudyJson::readStudyObject(parse(R"({"id":"12"})"), noId);
    EXPECT_EQ(noId.id(), 0);
}

TEST(StudyIdTest, IdsAreWithinRangeAndVary)
{
    TStudyIdGenerator generator;
    std::set<int> seen;
    for (int i = 0; i < 200; ++i) {
        const int id = generator.next();
        EXPECT_GE(id, 1);
        EXPECT_LE(id, 999999999);
        seen.insert(id);
    }
    EXPECT_GT(seen.size(), 190u);
}

TEST(StudyFileNameTest, PlainNamesGiveLastFirstDateTime)
{
    TStudyInfo info;
    info.firstName = "Ana";
    info.lastName = "Garcia";
    info.studyDateTime = "20140312103000";
    EXPECT_EQ(TStudyFileName::baseFilename(info), "Garcia-Ana-20140312103000");
    info.firstName = "Jos\xc3\xa9 Mar\xc3\xad" "a";
    info.lastName = "P\xc3\xa9rez";
    EXPECT_EQ(TStudyFileName::baseFilename(info), "P\xc3\xa9rez-Jos\xc3\xa9 Mar\xc3\xad" "a-20140312103000")
        << "accents and spaces are kept";
}

TEST(StudyFileNameTest, UnsafeCharactersAreReplaced)
{
    TStudyInfo info;
    info.lastName = "../../x";
    info.firstName = "a/b\\c:d*e?f\"g<h>i|j\tk\x01l";
    info.studyDateTime = "2014/03";
    const std::string name = TStudyFileName::baseFilename(info);
    EXPECT_EQ(name, "___.__x-a_b_c_d_e_f_g_h_i_j_k_l-2014_03");
    EXPECT_TRUE(TStudyFileName::isSafeBaseFilename(name));

    info.lastName = "...hidden";
    info.firstName = "";
    info.studyDateTime = "";
    EXPECT_EQ(TStudyFileName::baseFilename(info).substr(0, 1), "_");
    EXPECT_TRUE(TStudyFileName::isSafeBaseFilename(TStudyFileName::baseFilename(info)));
}

TEST(StudyFileNameTest, LongNamesAreBounded)
{
    TStudyInfo info;
    info.lastName = std::string(5000, 'L');
    info.firstName = std::string(3000, '\xc3') ;  // invalid UTF-8 as well
    for (int i = 0; i < 3000; i += 2)
        info.firstName[i + 1] = '\xb1';  // "ñ" pairs
    info.studyDateTime = "20140312103000";
    const std::string name = TStudyFileName::baseFilename(info);
    EXPECT_LE(name.size(), std::size_t(TStudyFileName::MaxBaseBytes));
    EXPECT_EQ(name.substr(0, 80), std::string(80, 'L'));
    EXPECT_EQ(name.substr(name.size() - 15), "-20140312103000") << "still Last-First-DateTime";
    EXPECT_TRUE(TStudyFileName::isSafeBaseFilename(name));
    EXPECT_EQ(QString::fromUtf8(name.c_str()).toUtf8().toStdString(), name) << "cut on a character boundary";
}

TEST(StudyFileNameTest, SafeNamesFromOutside)
{
    EXPECT_TRUE(TStudyFileName::isSafeBaseFilename("Garcia-Ana-20140312103000"));
    EXPECT_TRUE(TStudyFileName::isSafeBaseFilename("P\xc3\xa9rez-Jos\xc3\xa9-1"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename(""));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename(".."));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("."));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("../x"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("a/b"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("a\\b"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("/etc/passwd"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("x..y"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename(".hidden"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("c:x"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("a\nb"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename(std::string("a\0b", 3)));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename("bad\xff"));
    EXPECT_FALSE(TStudyFileName::isSafeBaseFilename(std::string(201, 'x')));
}

} // namespace
