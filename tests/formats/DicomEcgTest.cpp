// DICOM ECGs out and in: our objects checked by independent tools
// (dicom3tools' dciodvfy, DCMTK's dcmdump) and read back; a real cart's
// object taken in by its codes, also when named without ".dcm".

#include "storage/StorageTestSupport.h"

#include "formats/TDicomEcgExport.h"
#include "formats/TDicomEcgFile.h"
#include "formats/TExportRecord.h"
#include "formats/TImportedRecording.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <gmock/gmock.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <map>

namespace {

// Three leads at 500 Hz for 2 s, each a ramp of its own slope (lead k
// holds (k + 1) * (i - 500) counts at sample i), with an averaged beat of
// 500 samples of k + 0.25 mV, and measurements of every kind.
TExportRecord smallRecord()
{
    TExportRecord record;
    record.name = QStringLiteral("Garcia-Ana-20140312103000");
    record.lastName = QStringLiteral("García");
    record.firstName = QStringLiteral("Ana");
    record.sex = QStringLiteral("F");
    record.birthDate = QDate(1950, 3, 12);
    record.start = QDateTime(QDate(2014, 3, 12), QTime(10, 30, 5));
    record.studyStart = QDateTime(QDate(2014, 3, 12), QTime(10, 30, 0));
    record.studyId = 4711;
    record.patientId = QStringLiteral("HC-123");
    record.samplingRate = 500;
    record.millivoltsPerCount = 600.0 / 65536.0;
    record.leadNames = QStringList{QStringLiteral("I"), QStringLiteral("II"), QStringLiteral("V1")};
    for (int lead = 0; lead < 3; ++lead) {
        std::vector<qint16>& samples = record.leads.emplace_back(1000);
        for (int i = 0; i < 1000; ++i)
            samples[std::size_t(i)] = qint16((lead + 1) * (i - 500));
        record.averagedBeats.emplace_back(500, lead + 0.25);
    }
    record.heartRate = 72.5;
    record.measures.pr = 160;
    record.measures.qrs = 98;
    record.measures.qt = 400;
    record.measures.qtc = 429;
    record.latePotentials = TExportRecord::LatePotentials{121, 14, 44, 0.7, QStringLiteral("positive")};
    return record;
}

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

// dciodvfy's findings that are errors (warnings are advice).
QStringList validatorErrors(const QString& path)
{
    QProcess validator;
    validator.setProcessChannelMode(QProcess::MergedChannels);
    validator.start(tool("dciodvfy"), {path});
    validator.waitForFinished(60000);
    QStringList errors;
    for (const QString& line : QString::fromLocal8Bit(validator.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Error")))
            errors.append(line);
    }
    return errors;
}

QString dump(const QString& path)
{
    QProcess dumper;
    dumper.start(tool("dcmdump"), {path});
    dumper.waitForFinished(60000);
    EXPECT_EQ(dumper.exitCode(), 0) << dumper.readAllStandardError().constData();
    return QString::fromUtf8(dumper.readAllStandardOutput());
}

QString written(const QTemporaryDir& folder, const char* name, const QByteArray& bytes)
{
    const QString path = folder.filePath(QLatin1String(name));
    EXPECT_TRUE(writeAll(path, bytes));
    return path;
}

class DicomEcgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (tool("dciodvfy").isEmpty() || tool("dcmdump").isEmpty())
            GTEST_SKIP() << "dciodvfy (dicom3tools) and dcmdump (dcmtk) are needed to check DICOM objects";
        ASSERT_TRUE(m_folder.isValid());
    }

    QTemporaryDir m_folder;
};

// The measurements of the annotation sequence, by code value.
std::map<QString, double> annotatedValues(const QString& path)
{
    DcmFileFormat file;
    EXPECT_TRUE(file.loadFile(path.toLocal8Bit().constData()).good());
    std::map<QString, double> values;
    DcmSequenceOfItems* annotations = nullptr;
    file.getDataset()->findAndGetSequence(DCM_WaveformAnnotationSequence, annotations);
    for (unsigned long i = 0; annotations && i < annotations->card(); ++i) {
        DcmItem* concept = nullptr;
        OFString code;
        annotations->getItem(i)->findAndGetSequenceItem(DCM_ConceptNameCodeSequence, concept);
        concept->findAndGetOFString(DCM_CodeValue, code);
        Float64 value = -1.0;
        DcmItem* coded = nullptr;
        if (annotations->getItem(i)->findAndGetSequenceItem(DCM_ConceptCodeSequence, coded).good()) {
            OFString verdict;
            coded->findAndGetOFString(DCM_CodeValue, verdict);
            value = verdict == "POSITIVE" ? 1.0 : 0.0;
        } else {
            annotations->getItem(i)->findAndGetFloat64(DCM_NumericValue, value);
        }
        values[QString::fromLatin1(code.c_str())] = value;
    }
    return values;
}

TEST_F(DicomEcgTest, EcgIsValidAndReadsBackSampleForSampleWithItsMeasurements)
{
    const TExportRecord record = smallRecord();
    const QString path = written(m_folder, "ecg.dcm", TDicomEcgExport::encodeEcg(record).file);
    EXPECT_EQ(validatorErrors(path), QStringList());
    const QString text = dump(path);
    EXPECT_TRUE(text.contains(QLatin1String("=GeneralECGWaveformStorage")));
    EXPECT_TRUE(text.contains(QLatin1String("[DERIVED]")));
    EXPECT_TRUE(text.contains(QLatin1String("[HC-123]")));

    // Read back: the ORIGINAL group only (the averaged beat is 500
    // samples, the recording 1000), counts times 600/65536 mV.
    const TDicomEcgFile file = TDicomEcgFile::read(path);
    ASSERT_EQ(file.record.millivolts.size(), 3u);
    EXPECT_EQ(file.record.header.samplingFrequency, 500.0);
    EXPECT_EQ(file.record.header.signalInfos[2].description, QStringLiteral("V1"));
    for (int lead = 0; lead < 3; ++lead) {
        ASSERT_EQ(file.record.millivolts[std::size_t(lead)].size(), 1000u);
        for (int i : {0, 499, 500, 999})
            EXPECT_NEAR(file.record.millivolts[std::size_t(lead)][std::size_t(i)],
                        (lead + 1) * (i - 500) * 600.0 / 65536.0, 1e-9);
    }
    EXPECT_EQ(file.patient.lastName, "García");
    EXPECT_EQ(file.patient.birthDate, "19500312");

    const std::map<QString, double> expected{
        {QStringLiteral("2:16770"), 72.5}, {QStringLiteral("2:15872"), 160}, {QStringLiteral("2:16156"), 98},
        {QStringLiteral("2:16160"), 400},  {QStringLiteral("2:16164"), 429}, {QStringLiteral("QRSD"), 121},
        {QStringLiteral("RMS"), 14},       {QStringLiteral("LAS"), 44},      {QStringLiteral("NOISE"), 0.7},
        {QStringLiteral("VERDICT"), 1.0}};
    EXPECT_EQ(annotatedValues(path), expected);
}

TEST_F(DicomEcgTest, ReportIsValidAndCarriesThePdfByteForByte)
{
    const TExportRecord record = smallRecord();
    const QByteArray pdf = QByteArray("%PDF-1.4\n") + QByteArray(1000, '\x01') + QByteArray("%%EOF\n"); // 1015 bytes
    const QString ecgUid = TDicomEcgExport::encodeEcg(record).instanceUid;
    const QString path = written(m_folder, "report.dcm", TDicomEcgExport::encodeReport(record, pdf, ecgUid).file);
    EXPECT_EQ(validatorErrors(path), QStringList());
    EXPECT_TRUE(dump(path).contains(QLatin1String("=EncapsulatedPDFStorage")));

    DcmFileFormat file;
    ASSERT_TRUE(file.loadFile(path.toLocal8Bit().constData()).good());
    DcmDataset& data = *file.getDataset();
    const Uint8* bytes = nullptr;
    unsigned long count = 0;
    ASSERT_TRUE(data.findAndGetUint8Array(DCM_EncapsulatedDocument, bytes, &count).good());
    // Padded to an even 1016 bytes; the length stated says where it ends.
    EXPECT_EQ(count, 1016u);
    Uint32 length = 0;
    ASSERT_TRUE(data.findAndGetUint32(DCM_EncapsulatedDocumentLength, length).good());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes), int(length)), pdf);
    OFString study;
    data.findAndGetOFString(DCM_StudyInstanceUID, study);
    EXPECT_EQ(QString::fromLatin1(study.c_str()), TDicomEcgExport::studyInstanceUid(record));
}

// The same study gives the same instance (sending it again is no new
// version); a changed one a new instance of the same series and study.
TEST_F(DicomEcgTest, InstanceUidFollowsTheContent)
{
    TExportRecord record = smallRecord();
    const QString first = TDicomEcgExport::encodeEcg(record).instanceUid;
    EXPECT_EQ(TDicomEcgExport::encodeEcg(record).instanceUid, first);
    const QString study = TDicomEcgExport::studyInstanceUid(record);
    record.leads[1][700] += 1;
    EXPECT_NE(TDicomEcgExport::encodeEcg(record).instanceUid, first);
    EXPECT_EQ(TDicomEcgExport::studyInstanceUid(record), study);
    record.studyInstanceUid = QStringLiteral("1.2.3.4");
    EXPECT_EQ(TDicomEcgExport::studyInstanceUid(record), QStringLiteral("1.2.3.4"));
}

// What a validator does not check: the General ECG class's channel count,
// rate range and the waveform data's size.
TEST(DicomEcgLimits, TheClassLimitsAreEnforced)
{
    EXPECT_NO_THROW(TDicomEcgExport::checkLimits(24, 1000, 3600000));
    EXPECT_NO_THROW(TDicomEcgExport::checkLimits(1, 200, 1));
    EXPECT_THROW(TDicomEcgExport::checkLimits(25, 1000, 1000), std::runtime_error);
    EXPECT_THROW(TDicomEcgExport::checkLimits(0, 1000, 1000), std::runtime_error);
    EXPECT_THROW(TDicomEcgExport::checkLimits(12, 199, 1000), std::runtime_error);
    EXPECT_THROW(TDicomEcgExport::checkLimits(12, 1001, 1000), std::runtime_error);
    EXPECT_THROW(TDicomEcgExport::checkLimits(12, 1000, 0), std::runtime_error);
    // 12 channels of 2 bytes: 0xFFFFFFFE / 24 samples fit, one more does not.
    EXPECT_NO_THROW(TDicomEcgExport::checkLimits(12, 1000, 0xFFFFFFFEu / 24));
    EXPECT_THROW(TDicomEcgExport::checkLimits(12, 1000, 0xFFFFFFFEu / 24 + 1), std::runtime_error);

    TExportRecord record = smallRecord();
    record.samplingRate = 2000;
    EXPECT_THROW(TDicomEcgExport::encodeEcg(record), std::runtime_error);
}

// Another maker's 12-lead object: SCP-ECG source codes, 1.25 uV per count,
// the RHYTHM group of 10 000 samples taken, the derived median beat not.
TEST(DicomEcgFile, CartObjectInTheOlderCodeSetIsReadByItsCodes)
{
    const TDicomEcgFile file = TDicomEcgFile::read(QStringLiteral(VAROR_DATA_DIR "/dicom/waveform_ecg.dcm"));
    QStringList names;
    for (const TWfdbSignalInfo& info : file.record.header.signalInfos)
        names.append(info.description);
    EXPECT_EQ(names.join(QLatin1Char(',')), QStringLiteral("I,II,III,aVR,aVL,aVF,V1,V2,V3,V4,V5,V6"));
    EXPECT_EQ(file.record.header.samplingFrequency, 1000.0);
    EXPECT_EQ(file.record.length(), 10000u);
    // Einthoven: III = II - I at every sample, whatever the scale.
    for (std::size_t i = 0; i < file.record.length(); i += 997)
        EXPECT_NEAR(file.record.millivolts[2][i], file.record.millivolts[1][i] - file.record.millivolts[0][i], 0.01);
    EXPECT_EQ(file.patient.sex, "F");
    EXPECT_EQ(file.patient.birthDate, "19710123");
}

// An archive's export names its objects by number or by UID: a folder
// scan takes the ECGs among them by the DICOM prefix, not the report
// beside them, and reads them as DICOM.
TEST(DicomEcgFile, FolderScanTakesEcgsNamedWithoutDcmByTheirPrefix)
{
    QTemporaryDir folder;
    const QString cart = QStringLiteral(VAROR_DATA_DIR "/dicom/waveform_ecg.dcm");
    const QString numbered = folder.filePath(QStringLiteral("ECG00001"));
    const QString byUid = folder.filePath(QStringLiteral("1.2.826.0.1.3680043.2.1125.7"));
    ASSERT_TRUE(QFile::copy(cart, numbered));
    ASSERT_TRUE(QFile::copy(cart, byUid));
    ASSERT_TRUE(writeAll(folder.filePath(QStringLiteral("REPORT01")),
                         TDicomEcgExport::encodeReport(smallRecord(), QByteArray("%PDF"), QStringLiteral("1.2")).file));
    // Cut after its prefix, an ECG is damaged, not another object: it is
    // listed, and reading it says what is wrong.
    const QString cut = folder.filePath(QStringLiteral("ECG00002"));
    QFile source(cart);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    ASSERT_TRUE(writeAll(cut, source.read(200)));

    EXPECT_EQ(TImportedRecording::recordingsIn(folder.path()).join(QLatin1Char('|')),
              QStringList({byUid, numbered, cut}).join(QLatin1Char('|')));
    EXPECT_THAT(thrownMessage([&] { TImportedRecording::read(cut); }), ::testing::HasSubstr("not a DICOM file"));
    EXPECT_EQ(TImportedRecording::read(numbered).studyInfo("20240101000000").birthDate, "19710123");
}

TEST(DicomEcgFile, AnObjectOfAnotherClassIsRefusedWithItsName)
{
    QTemporaryDir folder;
    TExportRecord record = smallRecord();
    const QString path = folder.filePath(QStringLiteral("report.dcm"));
    ASSERT_TRUE(writeAll(path, TDicomEcgExport::encodeReport(record, QByteArray("%PDF"), QStringLiteral("1.2")).file));
    EXPECT_THAT(thrownMessage([&] { TDicomEcgFile::read(path); }), ::testing::HasSubstr("not a 12-lead or general ECG"));
}

} // namespace

// A channel number no ECG has (a sensitivity of 0 or infinity, a NaN
// correction, a huge baseline) would scale every sample into garbage: the
// object is refused naming the field.
TEST(DicomEcgFile, ChannelNumbersBeyondThoseOfEcgsAreRefused)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("cart.dcm"));
    const std::pair<DcmTagKey, const char*> fields[] = {
        {DCM_ChannelSensitivity, "inf"},
        {DCM_ChannelSensitivity, "0"},
        {DCM_ChannelSensitivityCorrectionFactor, "nan"},
        {DCM_ChannelBaseline, "1e300"},
    };
    for (const auto& [tag, value] : fields) {
        DcmFileFormat object;
        ASSERT_TRUE(object.loadFile(VAROR_DATA_DIR "/dicom/waveform_ecg.dcm").good());
        DcmItem* group = nullptr;
        DcmItem* channel = nullptr;
        ASSERT_TRUE(object.getDataset()->findAndGetSequenceItem(DCM_WaveformSequence, group, 0).good());
        ASSERT_TRUE(group->findAndGetSequenceItem(DCM_ChannelDefinitionSequence, channel, 3).good());
        ASSERT_TRUE(channel->putAndInsertString(tag, value).good());
        ASSERT_TRUE(object.saveFile(QFile::encodeName(path).constData()).good());
        EXPECT_THAT(thrownMessage([&] { TDicomEcgFile::read(path); }), ::testing::HasSubstr("beyond the values of ECG"))
            << value;
    }
}
