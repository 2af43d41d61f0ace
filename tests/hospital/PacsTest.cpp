// The links to the hospital against a real archive (Orthanc, OrthancServer):
// a study sent through the outbox and read back through the archive's REST
// API, the outbox while the archive is down and after it restarts, the
// modality worklist and its dialog, the background sender, "Send to PACS" of the open
// study dialog and of the review window, varor-analyze --send, the
// configuration page, a study queued while no archive is configured or
// queued again while waiting, and the test archive's start when another
// holds its port.

#include "OrthancServer.h"

#include "formats/TDicomEcgFile.h"
#include "formats/TImportedRecording.h"
#include "hospital/TDicomLink.h"
#include "hospital/TPacsOutbox.h"
#include "hospital/TPacsSender.h"
#include "pipeline/TReviewAnalysis.h"
#include "pipeline/TStudyExport.h"
#include "pipeline/TStudyRecording.h"
#include "storage/TEcgFile.h"
#include "storage/TLocalStudyStore.h"
#include "settings/TSettings.h"
#include "storage/TStudy.h"
#include "tests/common/ecgsynth/SyntheticEcg.h"
#include "tests/settings/TempSettings.h"
#include "tests/windows/ReviewTestSupport.h"
#include "tests/windows/StudyDialogsTestSupport.h"
#include "windows/EcgReviewWindow.h"
#include "windows/HospitalSettingsPage.h"
#include "windows/OpenStudyDialog.h"
#include "windows/WorklistDialog.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTreeWidget>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// What the report stands for on its way: any bytes the archive must give
// back unchanged (an odd count, so that DICOM pads them).
QByteArray reportBytes(const char* text)
{
    return QByteArray("%PDF-1.4\n% ") + text + QByteArray("\n%%EOF\n");
}

// A store with one study recorded from 12 s of a synthetic ECG.
struct RecordedStudies
{
    RecordedStudies() : store("PulsorixVAROR", folder.path()), outbox(QDir(folder.path()).filePath(QStringLiteral("outbox"))) {}

    TStudy* record(const char* lastName)
    {
        ecgsynth::Config config;
        config.leads = 14;
        config.rate = 1000;
        config.duration = 12.0;
        TStudyInfo info;
        info.lastName = lastName;
        info.firstName = "Ana";
        info.sex = "F";
        info.birthDate = "19510502";
        info.studyType = "VA ROR";
        info.studyDateTime = "20240312103000";
        return store.openStudy(TStudyRecording::recordStudy(store, ecgsynth::synthesize(config).leads, info));
    }

    std::vector<TDicomEcgExport::Object> objects(TStudy& study, const QByteArray& report) const
    {
        TReviewAnalysis analysis(study);
        analysis.addStoredBeats();
        return TStudyExport::dicomObjects(study, analysis, report);
    }

    QTemporaryDir folder;
    TLocalStudyStore store;
    TPacsOutbox outbox;
};

class Pacs : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        server = std::make_unique<OrthancServer>();
        skipReason = server->start();
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override
    {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << skipReason.toStdString();
        if (!server->isRunning())
            ASSERT_EQ(server->start(), QString());
    }

    // The settings name the test archive, as the configuration page
    // stores them.
    static void configurePacs()
    {
        const TDicomPeer peer = server->peer();
        TSettings::setValue(TSettings::LocalAeTitle, peer.localAeTitle);
        TSettings::setValue(TSettings::PacsHost, peer.host);
        TSettings::setValue(TSettings::PacsPort, peer.port);
        TSettings::setValue(TSettings::PacsAeTitle, peer.aeTitle);
    }

    // The archive's instances, by its own ids.
    static QStringList instances()
    {
        QStringList ids;
        for (const QJsonValue& id : QJsonDocument::fromJson(server->get(QStringLiteral("/instances"))).array())
            ids.append(id.toString());
        return ids;
    }

    // The archive's id of the instance with this SOP instance UID.
    static QString instanceOf(const QString& sopInstanceUid)
    {
        for (const QString& id : instances()) {
            const QJsonObject tags =
                QJsonDocument::fromJson(server->get(QStringLiteral("/instances/%1/simplified-tags").arg(id))).object();
            if (tags.value(QStringLiteral("SOPInstanceUID")).toString() == sopInstanceUid)
                return id;
        }
        return QString();
    }

    static std::unique_ptr<OrthancServer> server;
    static QString skipReason;
};

std::unique_ptr<OrthancServer> Pacs::server;
QString Pacs::skipReason;

TEST_F(Pacs, EchoAnswersAndAnUnreachablePacsIsToldApart)
{
    EXPECT_NO_THROW(TDicomLink::echo(server->peer()));
    try {
        TDicomLink::echo(server->unreachablePeer());
        ADD_FAILURE() << "an echo to a closed port succeeded";
    } catch (const TDicomLink::Error& error) {
        EXPECT_TRUE(error.unreachable()) << error.what();
    }
    TDicomPeer wrongTitle = server->peer();
    wrongTitle.aeTitle = QStringLiteral("NOTPACS");
    try {
        TDicomLink::echo(wrongTitle);
        ADD_FAILURE() << "an echo to the wrong AE title succeeded";
    } catch (const TDicomLink::Error& error) {
        EXPECT_FALSE(error.unreachable()) << error.what();
        // A refusal, with the archive's reason, is no network failure.
        const QString message = QString::fromStdString(error.what());
        EXPECT_TRUE(message.contains(QLatin1String("refused the association"))) << error.what();
        EXPECT_TRUE(message.contains(QLatin1String("Called AE Title Not Recognized"))) << error.what();
        EXPECT_FALSE(message.contains(QLatin1String("cannot be reached"))) << error.what();
    }
}

// Sent, then fetched from the archive: its tags, the recording sample for
// sample, the measurements as we wrote them, the report byte for byte, and
// the object taken in again as a recording.
TEST_F(Pacs, SentStudyReadsBackWithItsSamplesMeasuresAndReport)
{
    RecordedStudies studies;
    TStudy* study = studies.record("Sent");
    ASSERT_NE(study, nullptr);
    const QByteArray report = reportBytes("sent study");
    const auto objects = studies.objects(*study, report);
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(studies.outbox.enqueue(study->id(), objects, now));
    EXPECT_EQ(studies.outbox.sendDue(server->peer(), now), 1);
    EXPECT_EQ(studies.outbox.status(study->id()).state, TPacsOutbox::State::Sent)
        << studies.outbox.status(study->id()).reason.toStdString();

    const QString ecg = instanceOf(objects[0].instanceUid);
    ASSERT_FALSE(ecg.isEmpty());
    const QJsonObject tags =
        QJsonDocument::fromJson(server->get(QStringLiteral("/instances/%1/simplified-tags").arg(ecg))).object();
    EXPECT_EQ(tags.value(QStringLiteral("PatientName")).toString(), QStringLiteral("Sent^Ana"));
    EXPECT_EQ(tags.value(QStringLiteral("Modality")).toString(), QStringLiteral("ECG"));
    EXPECT_EQ(tags.value(QStringLiteral("Manufacturer")).toString(), QStringLiteral("Pulsorix"));

    QTemporaryDir folder;
    const QString fetched = folder.filePath(QStringLiteral("fetched.dcm"));
    {
        QFile file(fetched);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(server->get(QStringLiteral("/instances/%1/file").arg(ecg)));
    }
    const TDicomEcgFile back = TDicomEcgFile::read(fetched);
    const TEcgFile& recorded = *study->ecgFile();
    ASSERT_EQ(back.record.millivolts.size(), std::size_t(recorded.channelCount()));
    std::vector<double> counts(std::size_t(recorded.sampleCount()));
    for (int lead = 0; lead < recorded.channelCount(); ++lead) {
        recorded.readRange(lead, 0, recorded.sampleCount(), counts.data());
        ASSERT_EQ(back.record.millivolts[std::size_t(lead)].size(), counts.size());
        for (std::size_t i = 0; i < counts.size(); ++i)
            ASSERT_NEAR(back.record.millivolts[std::size_t(lead)][i], counts[i] * recorded.lsb(), 1e-9)
                << "lead " << lead << " sample " << i;
    }
    // The annotations are those we queued: the same elements, value for value.
    const auto annotations = [](const QByteArray& bytes, const QString& path) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.close();
        DcmFileFormat format;
        format.loadFile(path.toLocal8Bit().constData());
        DcmSequenceOfItems* items = nullptr;
        format.getDataset()->findAndGetSequence(DCM_WaveformAnnotationSequence, items);
        QStringList values;
        for (unsigned long i = 0; items && i < items->card(); ++i) {
            OFString value;
            items->getItem(i)->findAndGetOFString(DCM_NumericValue, value);
            values.append(QString::fromLatin1(value.c_str()));
        }
        return values;
    };
    const QStringList sentValues = annotations(objects[0].file, folder.filePath(QStringLiteral("sent.dcm")));
    EXPECT_GE(sentValues.size(), 5);
    EXPECT_EQ(annotations(server->get(QStringLiteral("/instances/%1/file").arg(ecg)), fetched), sentValues);

    const QString pdf = instanceOf(objects[1].instanceUid);
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_EQ(server->get(QStringLiteral("/instances/%1/pdf").arg(pdf)), report);
    // The report is filed in the ECG's study.
    EXPECT_EQ(QJsonDocument::fromJson(server->get(QStringLiteral("/instances/%1/study").arg(pdf))).object().value(QStringLiteral("ID")),
              QJsonDocument::fromJson(server->get(QStringLiteral("/instances/%1/study").arg(ecg))).object().value(QStringLiteral("ID")));

    // Taken in again as a recording: the fourteen leads found by their codes.
    const TImportedRecording imported = TImportedRecording::read(fetched);
    EXPECT_EQ(imported.recording().leadMap().foundLeadNames().size(), 14);
}

// Nothing is lost while the archive is down or restarts, nothing is sent
// twice under one version, a changed study goes again.
TEST_F(Pacs, OutboxHoldsStudiesWhileThePacsIsDownAndSendsEachVersionOnce)
{
    RecordedStudies studies;
    TStudy* first = studies.record("Queued");
    TStudy* second = studies.record("Waiting");
    ASSERT_TRUE(first && second);
    const QDateTime start = QDateTime::currentDateTime();
    const auto firstObjects = studies.objects(*first, reportBytes("first"));
    ASSERT_TRUE(studies.outbox.enqueue(first->id(), firstObjects, start));
    ASSERT_TRUE(studies.outbox.enqueue(second->id(), studies.objects(*second, reportBytes("second")), start));

    // The archive is down: its port refuses connections.
    server->stop();
    const TDicomPeer down = server->unreachablePeer();
    EXPECT_EQ(studies.outbox.sendDue(down, start), 0);
    TPacsOutbox::Status status = studies.outbox.status(first->id());
    EXPECT_EQ(status.state, TPacsOutbox::State::Queued);
    EXPECT_EQ(status.attempts, 1);
    EXPECT_EQ(status.nextAttempt, start.addSecs(30));
    EXPECT_FALSE(status.reason.isEmpty());
    // Not due again before the back-off; then 60 s after a second failure.
    EXPECT_EQ(studies.outbox.sendDue(down, start.addSecs(29)), 0);
    EXPECT_EQ(studies.outbox.status(first->id()).attempts, 1);
    EXPECT_EQ(studies.outbox.sendDue(down, start.addSecs(30)), 0);
    EXPECT_EQ(studies.outbox.status(first->id()).nextAttempt, start.addSecs(90));

    // The application restarts (a new outbox on the same folder), the
    // archive comes back: both go, once.
    ASSERT_EQ(server->start(), QString());
    const int before = instances().size();
    TPacsOutbox restarted(QDir(studies.folder.path()).filePath(QStringLiteral("outbox")));
    EXPECT_EQ(restarted.status(second->id()).state, TPacsOutbox::State::Queued);
    EXPECT_EQ(restarted.sendDue(server->peer(), start.addSecs(90)), 2);
    EXPECT_EQ(instances().size(), before + 4);
    EXPECT_FALSE(restarted.enqueue(first->id(), firstObjects, start.addSecs(100)));
    EXPECT_EQ(restarted.sendDue(server->peer(), start.addSecs(100)), 0);
    EXPECT_EQ(restarted.status(first->id()).state, TPacsOutbox::State::Sent);

    // A changed conclusion changes the report: a new version, whose ECG the
    // archive already holds.
    EXPECT_TRUE(restarted.enqueue(first->id(), studies.objects(*first, reportBytes("first, revised")), start.addSecs(200)));
    EXPECT_EQ(restarted.sendDue(server->peer(), start.addSecs(200)), 1);
    EXPECT_EQ(instances().size(), before + 5);
}

TEST_F(Pacs, WorklistListsTodaysProceduresAndFindsByName)
{
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QVector<TWorklistEntry> all = TDicomLink::worklist(server->peer(), {today, QString(), QString()});
    EXPECT_EQ(all.size(), 2);
    const QVector<TWorklistEntry> found = TDicomLink::worklist(server->peer(), {today, QStringLiteral("Pere"), QString()});
    ASSERT_EQ(found.size(), 1);
    const TWorklistEntry& expected = OrthancServer::scheduled()[1];
    const TWorklistEntry& entry = found.front();
    EXPECT_EQ(entry.lastName, expected.lastName);
    EXPECT_EQ(entry.firstName, expected.firstName);
    EXPECT_EQ(entry.patientId, expected.patientId);
    EXPECT_EQ(entry.birthDate, expected.birthDate);
    EXPECT_EQ(entry.sex, expected.sex);
    EXPECT_EQ(entry.accessionNumber, expected.accessionNumber);
    EXPECT_EQ(entry.studyInstanceUid, expected.studyInstanceUid);
    EXPECT_TRUE(TDicomLink::worklist(server->peer(), {QStringLiteral("19990101"), QString(), QString()}).isEmpty());
}

} // namespace

namespace {

// varor-analyze --send with the settings pointing at the archive: the
// recording analysed, sent with its report, and said so.
TEST_F(Pacs, AnalyzeCommandSendsTheStudyWithItsReport)
{
    QTemporaryDir config;
    QTemporaryDir data;
    QDir(config.path()).mkpath(QStringLiteral("Pulsorix"));
    QFile settings(QDir(config.path()).filePath(QStringLiteral("Pulsorix/VA ROR.conf")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    const TDicomPeer peer = server->peer();
    settings.write(QStringLiteral("[Hospital]\nLocalAeTitle=%1\nPacsHost=%2\nPacsPort=%3\nPacsAeTitle=%4\n")
                       .arg(peer.localAeTitle, peer.host)
                       .arg(peer.port)
                       .arg(peer.aeTitle)
                       .toUtf8());
    settings.close();
    const int before = instances().size();

    QProcess analyze;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    analyze.setProcessEnvironment(environment);
    analyze.start(QStringLiteral(VAROR_ANALYZE_PATH), {QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea"), QStringLiteral("--send")});
    ASSERT_TRUE(analyze.waitForFinished(120000));
    ASSERT_EQ(analyze.exitCode(), 0) << analyze.readAllStandardError().constData();
    const QJsonObject pacs =
        QJsonDocument::fromJson(analyze.readAllStandardOutput()).object().value(QStringLiteral("pacs")).toObject();
    EXPECT_TRUE(pacs.value(QStringLiteral("state")).toString().startsWith(QLatin1String("sent at")))
        << pacs.value(QStringLiteral("state")).toString().toStdString();
    EXPECT_EQ(instances().size(), before + 2);
}

} // namespace

namespace {

// The configuration page: "Test connection" echoes the node typed (off the
// GUI thread) and says whether it answers; OK stores what was typed.
TEST_F(Pacs, ConfigurationPageTestsTheNodeTypedAndStoresIt)
{
    const TempSettings settings;
    HospitalSettingsPage page;
    const TDicomPeer peer = server->peer();
    page.findChild<QLineEdit*>(QStringLiteral("txtLocalAeTitle"))->setText(peer.localAeTitle);
    page.findChild<QLineEdit*>(QStringLiteral("txtPacsHost"))->setText(peer.host);
    page.findChild<QSpinBox*>(QStringLiteral("numPacsPort"))->setValue(server->unreachablePeer().port);
    page.findChild<QLineEdit*>(QStringLiteral("txtPacsAeTitle"))->setText(peer.aeTitle);
    QSignalSpy tested(&page, &HospitalSettingsPage::connectionTested);
    QPushButton* test = page.findChild<QPushButton*>(QStringLiteral("btnPacsTest"));

    test->click();
    ASSERT_TRUE(tested.wait(60000));
    EXPECT_FALSE(tested.takeFirst().at(0).toBool());
    EXPECT_TRUE(page.findChild<QLabel*>(QStringLiteral("lblPacsTestResult"))->text().contains(QLatin1String("cannot be reached")));

    page.findChild<QSpinBox*>(QStringLiteral("numPacsPort"))->setValue(peer.port);
    test->click();
    ASSERT_TRUE(tested.wait(60000));
    EXPECT_TRUE(tested.takeFirst().at(0).toBool());

    page.save();
    const TDicomPeer stored = TDicomPeer::fromSettings();
    EXPECT_EQ(stored.localAeTitle, peer.localAeTitle);
    EXPECT_EQ(stored.host, peer.host);
    EXPECT_EQ(stored.port, peer.port);
    EXPECT_EQ(stored.aeTitle, peer.aeTitle);
}

} // namespace

namespace {

// The application's sender: what a previous run left queued goes as soon
// as the event loop runs, a new study when queued, both off the GUI thread.
TEST_F(Pacs, SenderSendsInTheBackgroundWhatIsQueued)
{
    const TempSettings settings;
    configurePacs();
    RecordedStudies studies;
    TStudy* left = studies.record("Left");
    TStudy* added = studies.record("Added");
    ASSERT_TRUE(left && added);
    ASSERT_TRUE(studies.outbox.enqueue(left->id(), studies.objects(*left, reportBytes("left")), QDateTime::currentDateTime()));

    TPacsSender sender(studies.folder.path());
    QSignalSpy passes(&sender, &TPacsSender::passFinished);
    ASSERT_TRUE(passes.wait(60000));
    EXPECT_EQ(passes.takeFirst().at(0).toInt(), 1);
    EXPECT_EQ(sender.outbox().status(left->id()).state, TPacsOutbox::State::Sent);

    sender.send(added->id(), studies.objects(*added, reportBytes("added")));
    EXPECT_NE(sender.outbox().status(added->id()).state, TPacsOutbox::State::NotSent);
    ASSERT_TRUE(passes.wait(60000));
    EXPECT_EQ(sender.outbox().status(added->id()).state, TPacsOutbox::State::Sent)
        << sender.outbox().status(added->id()).reason.toStdString();
}

} // namespace

namespace {

// The open study dialog's "Send to PACS": the selected study queued with
// its report, sent in the background, its state shown in the list.
TEST_F(Pacs, OpenStudyDialogSendsTheSelectedStudyAndShowsItsState)
{
    const TempSettings settings;
    configurePacs();
    RecordedStudies studies;
    TStudy* study = studies.record("Listed");
    ASSERT_NE(study, nullptr);
    const int id = study->id();
    studies.store.closeStudy(study);
    const int before = instances().size();

    OpenStudyDialog dialog(nullptr, &studies.store);
    dialog.show();
    dialogtest::settle();
    QTreeWidget* list = dialog.findChild<QTreeWidget*>(QStringLiteral("treeStudies"));
    ASSERT_EQ(list->topLevelItemCount(), 1);
    constexpr int PacsColumn = 7;
    EXPECT_EQ(list->topLevelItem(0)->text(PacsColumn), QStringLiteral("not sent"));
    list->topLevelItem(0)->setSelected(true);
    // The outbox of the store's data folder.
    TPacsSender& sender = TPacsSender::of(QString::fromStdString(studies.store.dataPath()));
    QSignalSpy passes(&sender, &TPacsSender::passFinished);
    dialogtest::MessageBoxAnswerer answerer;
    dialog.findChild<QAction*>(QStringLiteral("actionSendToPacs"))->trigger();
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("|1 of 1 studies were queued for the PACS.")});
    // The list changes when the dialog hears of the pass, which the outbox
    // may tell of earlier.
    while (!list->topLevelItem(0)->text(PacsColumn).startsWith(QLatin1String("sent at")))
        ASSERT_TRUE(passes.wait(60000)) << list->topLevelItem(0)->text(PacsColumn).toStdString();
    EXPECT_EQ(sender.outbox().status(id).state, TPacsOutbox::State::Sent) << sender.outbox().status(id).reason.toStdString();
    EXPECT_EQ(instances().size(), before + 2);
}

} // namespace

namespace {

// The review window's "Send to PACS": the study as reviewed goes with its
// report, in the background.
TEST_F(Pacs, ReviewWindowSendsTheStudyUnderReview)
{
    reviewtest::ReviewStudy study;
    configurePacs();
    const int before = instances().size();
    const auto window = reviewtest::openReviewWindow(study);
    TPacsSender& sender = TPacsSender::of(QString::fromStdString(study.store().dataPath()));
    QSignalSpy passes(&sender, &TPacsSender::passFinished);
    dialogtest::MessageBoxAnswerer answerer;
    reviewtest::child<QPushButton>(*window, "btnSendToPacs")->click();
    EXPECT_EQ(answerer.messages, QStringList{QStringLiteral("|The study was queued for the PACS.")});
    const int id = study.study()->id();
    // The line changes when the window hears of the pass, which the outbox
    // may tell of earlier.
    const QLabel* line = reviewtest::child<QLabel>(*window, "lblPacsState");
    while (!line->text().startsWith(QLatin1String("PACS: sent at ")))
        ASSERT_TRUE(passes.wait(60000)) << line->text().toStdString();
    EXPECT_EQ(sender.outbox().status(id).state, TPacsOutbox::State::Sent) << sender.outbox().status(id).reason.toStdString();
    EXPECT_EQ(instances().size(), before + 2);
}

// A refusal's long reason on a window narrower than it: the line keeps its
// start and fits the window, the tooltip holds it whole.
TEST_F(Pacs, ReviewWindowShowsARefusalFromItsStart)
{
    reviewtest::ReviewStudy study;
    configurePacs();
    TSettings::setValue(TSettings::PacsAeTitle, QStringLiteral("NOTPACS"));
    const auto window = reviewtest::openReviewWindow(study);
    window->resize(1000, 700);
    TPacsSender& sender = TPacsSender::of(QString::fromStdString(study.store().dataPath()));
    QSignalSpy passes(&sender, &TPacsSender::passFinished);
    dialogtest::MessageBoxAnswerer answerer;
    reviewtest::child<QPushButton>(*window, "btnSendToPacs")->click();
    // The line changes when the window hears of the pass, which the outbox
    // may tell of earlier.
    const QLabel* line = reviewtest::child<QLabel>(*window, "lblPacsState");
    while (!line->text().startsWith(QLatin1String("PACS: failed: The PACS NOTPACS")))
        ASSERT_TRUE(passes.wait(60000)) << line->text().toStdString();
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->width()) << line->text().toStdString();
    EXPECT_TRUE(line->toolTip().endsWith(QLatin1String("Reason: Called AE Title Not Recognized)")))
        << line->toolTip().toStdString();
}

} // namespace

namespace {

// The worklist dialog lists today's procedures for our AE title, narrows
// them by the name typed, and the one chosen fills a new study's record.
TEST_F(Pacs, WorklistDialogFillsTheStudyWithTheChosenPatient)
{
    const TempSettings settings;
    configurePacs();
    WorklistDialog dialog;
    QTreeWidget* list = dialog.findChild<QTreeWidget*>(QStringLiteral("treeWorklist"));
    EXPECT_EQ(list->topLevelItemCount(), 2);
    dialog.findChild<QLineEdit*>(QStringLiteral("txtWorklistName"))->setText(QStringLiteral("lope"));
    dialog.findChild<QPushButton*>(QStringLiteral("btnWorklistSearch"))->click();
    ASSERT_EQ(list->topLevelItemCount(), 1);
    list->setCurrentItem(list->topLevelItem(0));

    TStudyInfo typed;
    typed.studyType = "VA ROR";
    const TStudyInfo info = dialog.fill(typed);
    const TWorklistEntry& expected = OrthancServer::scheduled()[0];
    EXPECT_EQ(info.lastName, expected.lastName.toStdString());
    EXPECT_EQ(info.firstName, expected.firstName.toStdString());
    EXPECT_EQ(info.medicalHistoryNumber, expected.patientId.toStdString());
    EXPECT_EQ(info.birthDate, expected.birthDate.toStdString());
    EXPECT_EQ(info.sex, expected.sex.toStdString());
    EXPECT_EQ(info.accessionNumber, expected.accessionNumber.toStdString());
    EXPECT_EQ(info.studyInstanceUid, expected.studyInstanceUid.toStdString());
    EXPECT_EQ(info.studyType, "VA ROR");
}

} // namespace

namespace {

// A study started from a worklist entry is filed under the order: the
// archive shows the entry's accession number and study instance UID.
TEST_F(Pacs, StudyOfAWorklistOrderIsFiledUnderIt)
{
    RecordedStudies studies;
    const TWorklistEntry& order = OrthancServer::scheduled()[1];
    ecgsynth::Config config;
    config.leads = 14;
    config.rate = 1000;
    config.duration = 12.0;
    TStudyInfo info;
    info.lastName = order.lastName.toStdString();
    info.firstName = order.firstName.toStdString();
    info.studyType = "VA ROR";
    info.studyDateTime = "20240312103000";
    info.accessionNumber = order.accessionNumber.toStdString();
    info.studyInstanceUid = order.studyInstanceUid.toStdString();
    TStudy* study = studies.store.openStudy(TStudyRecording::recordStudy(studies.store, ecgsynth::synthesize(config).leads, info));
    ASSERT_NE(study, nullptr);
    const auto objects = studies.objects(*study, reportBytes("ordered"));
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(studies.outbox.enqueue(study->id(), objects, now));
    ASSERT_EQ(studies.outbox.sendDue(server->peer(), now), 1);
    const QString ecg = instanceOf(objects[0].instanceUid);
    ASSERT_FALSE(ecg.isEmpty());
    const QJsonObject tags =
        QJsonDocument::fromJson(server->get(QStringLiteral("/instances/%1/simplified-tags").arg(ecg))).object();
    EXPECT_EQ(tags.value(QStringLiteral("AccessionNumber")).toString(), order.accessionNumber);
    EXPECT_EQ(tags.value(QStringLiteral("StudyInstanceUID")).toString(), order.studyInstanceUid);
}

} // namespace

namespace {

// A PACS that refuses us (here: we call it by a title it does not have)
// is no reason to retry: the send fails with what the PACS said.
TEST_F(Pacs, RefusedSendFailsWithThePacsReason)
{
    RecordedStudies studies;
    TStudy* study = studies.record("Refused");
    ASSERT_NE(study, nullptr);
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(studies.outbox.enqueue(study->id(), studies.objects(*study, reportBytes("refused")), now));
    TDicomPeer wrongTitle = server->peer();
    wrongTitle.aeTitle = QStringLiteral("NOTPACS");
    EXPECT_EQ(studies.outbox.sendDue(wrongTitle, now), 0);
    const TPacsOutbox::Status status = studies.outbox.status(study->id());
    EXPECT_EQ(status.state, TPacsOutbox::State::Failed);
    EXPECT_TRUE(status.reason.contains(QLatin1String("Rejected"), Qt::CaseInsensitive)) << status.reason.toStdString();
    const QString stateText = TPacsOutbox::stateText(status);
    EXPECT_TRUE(stateText.startsWith(QLatin1String("failed: The PACS NOTPACS at "))) << stateText.toStdString();
    EXPECT_TRUE(stateText.contains(QLatin1String("refused the association"))) << stateText.toStdString();
    EXPECT_TRUE(stateText.contains(QLatin1String("Called AE Title Not Recognized"))) << stateText.toStdString();
}

} // namespace

namespace {

// A study queued while no PACS is configured waits, queued, without a
// failed attempt counted, and goes once one is configured.
TEST_F(Pacs, StudyQueuedWithoutAPacsGoesOnceOneIsConfigured)
{
    RecordedStudies studies;
    TStudy* study = studies.record("Unconfigured");
    ASSERT_NE(study, nullptr);
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(studies.outbox.enqueue(study->id(), studies.objects(*study, reportBytes("waiting")), now));
    EXPECT_EQ(studies.outbox.sendDue(TDicomPeer(), now), 0);
    const TPacsOutbox::Status waiting = studies.outbox.status(study->id());
    EXPECT_EQ(waiting.state, TPacsOutbox::State::Queued);
    EXPECT_EQ(waiting.attempts, 0);
    EXPECT_EQ(waiting.reason.toStdString(), TDicomPeer::notConfiguredText().toStdString());
    EXPECT_EQ(studies.outbox.sendDue(server->peer(), waiting.nextAttempt), 1);
    EXPECT_EQ(studies.outbox.status(study->id()).state, TPacsOutbox::State::Sent);
}

// "Send to PACS" again on a study waiting for its next attempt (the PACS
// was down, or its settings wrong) tries it at once.
TEST_F(Pacs, StudyQueuedAgainIsTriedAtOnce)
{
    RecordedStudies studies;
    TStudy* study = studies.record("Again");
    ASSERT_NE(study, nullptr);
    const auto objects = studies.objects(*study, reportBytes("again"));
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(studies.outbox.enqueue(study->id(), objects, now));
    EXPECT_EQ(studies.outbox.sendDue(server->unreachablePeer(), now), 0);
    ASSERT_EQ(studies.outbox.status(study->id()).nextAttempt, now.addSecs(30));

    EXPECT_FALSE(studies.outbox.enqueue(study->id(), objects, now.addSecs(5)));
    EXPECT_EQ(studies.outbox.sendDue(server->peer(), now.addSecs(5)), 1);
    EXPECT_EQ(studies.outbox.status(study->id()).state, TPacsOutbox::State::Sent);
}

// Parallel tests each start an archive on ports probed free, which another
// may take first: the fixture then starts on fresh ones and talks to its
// own archive only.
TEST_F(Pacs, TestArchiveStartsOnFreshPortsWhenOneIsTaken)
{
    OrthancServer second(server->httpPort());
    ASSERT_EQ(second.start(), QString());
    EXPECT_NE(second.httpPort(), server->httpPort());
    EXPECT_NO_THROW(TDicomLink::echo(second.peer()));
    EXPECT_NE(second.get(QStringLiteral("/system")), server->get(QStringLiteral("/system")));
}

} // namespace
