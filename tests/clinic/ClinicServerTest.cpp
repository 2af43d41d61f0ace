// The clinic server against a real PostgreSQL cluster: two stores stand for
// two workstations sharing one archive (edit lease, read-only second
// opener, refused stale save kept here in conflict, lists refreshed by
// notification, studies changed elsewhere fetched ahead); the server stopped in the middle of an upload; a study
// recorded, or a review saved, while the server is down; a recording
// imported by varor-analyze; copying in a data folder with a damaged study;
// a schema newer than the program.
#include "PostgresCluster.h"
#include "storage/StoreTestSupport.h"

#include "clinic/TClinicCopy.h"
#include "clinic/TServerStudyStore.h"
#include "storage/TStudyFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace {

class ClinicServerTest : public ::testing::Test
{
protected:
    ClinicServerTest() { qputenv("USER", "maria"); }

    std::unique_ptr<TLocalStudyStore> makeLocal() { return std::make_unique<TLocalStudyStore>("PulsorixVAROR", env.base()); }

    std::unique_ptr<TServerStudyStore> makeStore(TLocalStudyStore& local, const char* workstation)
    {
        return std::make_unique<TServerStudyStore>(cluster.address(), local,
                                                   env.path(QStringLiteral("cache-%1").arg(QLatin1String(workstation))),
                                                   QLatin1String(workstation));
    }

    // A study recorded as the monitor window records one, then closed.
    static int recordStudy(TStudyStore& store, const std::string& last, int samples = 3000)
    {
        TStudyInfo info = newStudyInfo("Ana", last);
        TStudy* study = store.createStudy(info);
        record(*study, samples, 3);
        store.closeStudy(study);
        return info.id;
    }

    // The rows the server holds of every table, as one count.
    int serverRows()
    {
        TServerDatabase database(cluster.address());
        database.connect();
        QSqlQuery query = database.exec(QStringLiteral(
            "select (select count(*) from study) + (select count(*) from study_file) + (select count(*) from study_chunk)"));
        return query.next() ? query.value(0).toInt() : -1;
    }

    // As a hung workstation's would: expired, and out of reach of the
    // renewals its store goes on making in the background.
    void lapseLeases()
    {
        TServerDatabase database(cluster.address());
        database.connect();
        database.exec(QStringLiteral(
            "update study_lease set expires_at = now() - interval '1 second', session = 'hung ' || session"));
    }

    // Runs varor-analyze with the clinic server chosen and the user's data
    // folder the one of makeLocal(); answers its exit code.
    int analyze(const QStringList& arguments, QString& output)
    {
        QTemporaryDir config;
        QSettings settings(config.path() + QStringLiteral("/Pulsorix/VA ROR.conf"), QSettings::IniFormat);
        const TServerAddress address = cluster.address();
        settings.setValue(QLatin1String(TServerAddress::StoreKind.key), QLatin1String(TServerAddress::ServerKind));
        settings.setValue(QLatin1String(TServerAddress::Host.key), address.host);
        settings.setValue(QLatin1String(TServerAddress::Port.key), address.port);
        settings.setValue(QLatin1String(TServerAddress::Database.key), address.database);
        settings.setValue(QLatin1String(TServerAddress::User.key), address.user);
        settings.sync();
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), env.base());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VAROR_ANALYZE_PATH), arguments);
        EXPECT_TRUE(program.waitForFinished(120000));
        output = QString::fromUtf8(program.readAllStandardOutput());
        return program.exitCode();
    }

    // The conclusion the server holds of a study, as a workstation opens it.
    static std::string serverConclusion(TServerStudyStore& store, int id)
    {
        TStudy* study = store.openStudy(id);
        const std::string conclusion = study ? study->propertyValue("conclusion") : "<none>";
        store.closeStudy(study);
        return conclusion;
    }

    // The lab reviews a study while its lease lapses and the office saves
    // its own review: the lab's save, from the older revision, is refused.
    // Answers the refusal.
    std::string refuseStaleReview(TServerStudyStore& lab, TServerStudyStore& office, int id)
    {
        TStudy* mine = lab.openStudy(id);
        mine->setProperty("conclusion", "late potentials");
        lapseLeases();
        TStudy* theirs = office.openStudy(id);
        theirs->setProperty("conclusion", "normal");
        office.saveStudy(theirs);
        office.closeStudy(theirs);
        mine->setProperty("conclusion", "late potentials, confirmed");
        const std::string refusal = thrownMessage([&] { lab.saveStudy(mine); });
        lab.closeStudy(mine);
        return refusal;
    }

    TempStorageEnvironment env;
    PostgresCluster cluster;
};

// The office, started after the lab's recording went up, catches up with
// it and fetches it in the background: its first opening then reads nothing
// more from the server.
TEST_F(ClinicServerTest, StudyRecordedElsewhereIsPrefetchedAndOpensWithoutDownloading)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    const int id = recordStudy(*lab, "Moreno");
    auto office = makeStore(*local, "office");
    ASSERT_TRUE(QTest::qWaitFor([&] { return office->cachedRevision(id) == 1; }, 30000));
    TStudyInfo row;
    ASSERT_TRUE(local->getIndexRow(id, row));
    EXPECT_EQ(TServerArchive::localChecksums(row.baseFilename, env.path(QStringLiteral("cache-office/%1").arg(id))),
              office->archive().storedChecksums(id));

    int chunksRead = 0;
    office->archive().setChunkObserver([&] { ++chunksRead; });
    TStudy* review = office->openStudy(id);
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->ecgFile()->sampleCount(), 3000);
    EXPECT_EQ(chunksRead, 0);
}

// A copy the office fetched as the lab's recording was announced stands for
// its revision only: once the lab changes the study, the office opens the
// lab's revision, also while its own prefetching waits (it is recording).
TEST_F(ClinicServerTest, PrefetchedOlderRevisionIsNotOpenedAfterAChangeElsewhere)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    auto office = makeStore(*local, "office");
    const int id = recordStudy(*lab, "Blanco");
    ASSERT_TRUE(QTest::qWaitFor([&] { return office->cachedRevision(id) == 1; }, 30000));

    TStudyInfo info = newStudyInfo("Ana", "Soler");
    TStudy* recording = office->createStudy(info);
    QSignalSpy announced(office.get(), &TServerStudyStore::studiesChanged);
    TStudy* mine = lab->openStudy(id);
    ASSERT_NE(mine, nullptr);
    mine->setProperty("conclusion", "late potentials");
    lab->saveStudy(mine);
    lab->closeStudy(mine);
    ASSERT_TRUE(announced.wait(5000));
    EXPECT_EQ(office->cachedRevision(id), 1);

    TStudy* review = office->openStudy(id);
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->propertyValue("conclusion"), "late potentials");
    office->closeStudy(review);
    office->closeStudy(recording);
}

std::vector<TStudyInfo> rowsOf(const std::vector<TStudyInfo>& rows, int id)
{
    std::vector<TStudyInfo> found;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(found), [id](const TStudyInfo& row) { return row.id == id; });
    return found;
}

TEST_F(ClinicServerTest, TwoWorkstationsShareStudiesUnderAnEditLease)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    auto office = makeStore(*local, "office");
    const int id = recordStudy(*lab, "Lopez");
    EXPECT_EQ(lab->waitingCount(), 0);

    TStudy* mine = lab->openStudy(id);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(lab->editLockHolder(*mine), "");
    TStudy* theirs = office->openStudy(id);
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(office->editLockHolder(*theirs), "maria on lab");
    EXPECT_EQ(thrownMessage([&] { office->saveStudy(theirs); }),
              "This study is open for editing by maria on lab; your changes were not saved");

    // The lab's save reaches the office's list through the announcement.
    QSignalSpy refreshed(office.get(), &TServerStudyStore::studiesChanged);
    TStudyInfo info = lab->getStudyInfo(*mine);
    info.status = "Reviewed";
    lab->setStudyInfo(*mine, info);
    lab->saveStudy(mine);
    ASSERT_TRUE(refreshed.wait(5000));
    const std::vector<TStudyInfo> listed = rowsOf(office->listStudies(), id);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].status, "Reviewed");

    // The lab hangs and its lease lapses: the office takes the study over
    // and saves; the lab's later save, from the older revision, is refused.
    office->closeStudy(theirs);
    lapseLeases();
    theirs = office->openStudy(id);
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(office->editLockHolder(*theirs), "");
    theirs->setProperty("conclusion", "normal");
    office->saveStudy(theirs);
    mine->setProperty("conclusion", "late potentials");
    const std::string takenOver = thrownMessage([&] { lab->saveStudy(mine); });
    EXPECT_NE(takenOver.find("taken for editing by maria on office, after"), std::string::npos) << takenOver;
    office->closeStudy(theirs);
    const std::string stale = thrownMessage([&] { lab->saveStudy(mine); });
    EXPECT_NE(stale.find("changed by maria on office at "), std::string::npos) << stale;
    EXPECT_EQ(lab->conflictCount(), 1);
    lab->closeStudy(mine);
    lapseLeases();
    TStudy* again = lab->openStudy(id);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->propertyValue("conclusion"), "normal");

    // The office keeps its closed copy; opened again after the lab's
    // save, it shows the lab's revision.
    again->setProperty("conclusion", "normal, reviewed");
    lab->saveStudy(again);
    lab->closeStudy(again);
    theirs = office->openStudy(id);
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(theirs->propertyValue("conclusion"), "normal, reviewed");

    // A study only the server holds travels as an archive as a local one does.
    const QString shared = env.path(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    office->exportStudy(id, shared.toStdString());
    TStudyInfo archived;
    ASSERT_TRUE(local->readArchiveInfo(QStringLiteral("%1/%2.pxz").arg(shared, QString::fromStdString(info.baseFilename)).toStdString(), archived));
    EXPECT_EQ(archived.lastName, "Lopez");
}

// An archive made before another workstation's edit, imported here: the
// server's newer revision is never replaced without the operator. One that
// leaves the local copy as it was brings nothing up; one changed elsewhere
// (on a workstation of its own) is refused, kept here, and goes up only
// when the operator chooses so.
TEST_F(ClinicServerTest, ArchiveImportedOverANewerRevisionIsKeptInConflict)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    auto office = makeStore(*local, "office");
    const int id = recordStudy(*lab, "Navarro");
    const QString shared = env.path(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    lab->exportStudy(id, shared.toStdString());
    TStudyInfo row;
    ASSERT_TRUE(local->getIndexRow(id, row));
    const std::string archive = QStringLiteral("%1/%2.pxz").arg(shared, QString::fromStdString(row.baseFilename)).toStdString();

    // Changed on a workstation of its own: made here through the local
    // store alone, the local copy then put back as the archive has it.
    const QString home = env.path(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    TStudy* changed = local->openStudy(id);
    ASSERT_NE(changed, nullptr);
    changed->setProperty("conclusion", "from home");
    local->saveStudy(changed);
    local->closeStudy(changed);
    local->exportStudy(id, home.toStdString());
    local->importStudyReplacing(archive);
    TStudy* reviewed = office->openStudy(id);
    ASSERT_NE(reviewed, nullptr);
    reviewed->setProperty("conclusion", "normal");
    office->saveStudy(reviewed);
    office->closeStudy(reviewed);
    const auto serverConclusion = [&] {
        TStudy* study = office->openStudy(id);
        const std::string conclusion = study ? study->propertyValue("conclusion") : "<none>";
        office->closeStudy(study);
        return conclusion;
    };

    lab->importStudy(archive);
    EXPECT_EQ(serverConclusion(), "normal");
    EXPECT_EQ(lab->waitingCount(), 0);

    const std::string fromHome = QStringLiteral("%1/%2.pxz").arg(home, QString::fromStdString(row.baseFilename)).toStdString();
    const std::string refusal = thrownMessage([&] { lab->importStudyReplacing(fromHome); });
    EXPECT_NE(refusal.find("changed by maria on office at "), std::string::npos) << refusal;
    EXPECT_EQ(serverConclusion(), "normal");
    ASSERT_EQ(lab->conflicts().size(), 1u);
    EXPECT_EQ(lab->conflicts()[0].info.id, id);
    EXPECT_EQ(lab->drainOutbox(), 1);  // not retried over the office's revision
    EXPECT_EQ(serverConclusion(), "normal");

    lab->resolveConflict(id, true);
    EXPECT_EQ(serverConclusion(), "from home");
    EXPECT_TRUE(lab->conflicts().empty());
    EXPECT_EQ(lab->waitingCount(), 0);
}

// A review's save over a newer revision is refused, but its edits stay on
// this workstation in conflict until the operator chooses which version
// the server keeps.
TEST_F(ClinicServerTest, StaleSaveOfAReviewIsKeptHereInConflict)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    auto office = makeStore(*local, "office");
    const int id = recordStudy(*lab, "Herrera");
    const std::string refusal = refuseStaleReview(*lab, *office, id);
    EXPECT_NE(refusal.find("this copy is kept on this workstation"), std::string::npos) << refusal;
    ASSERT_EQ(lab->conflicts().size(), 1u);
    EXPECT_EQ(serverConclusion(*office, id), "normal");

    lab->resolveConflict(id, true);
    EXPECT_EQ(serverConclusion(*office, id), "late potentials, confirmed");
    EXPECT_EQ(lab->waitingCount(), 0);
}

// The server's copy deleted while the conflict waits: the operator is told
// it was deleted, not changed.
TEST_F(ClinicServerTest, ConflictOfAStudyDeletedOnTheServerSaysSo)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    auto office = makeStore(*local, "office");
    const int id = recordStudy(*lab, "Ibarra");
    refuseStaleReview(*lab, *office, id);
    lapseLeases();
    office->deleteStudy(id);
    ASSERT_EQ(lab->conflicts().size(), 1u);
    const std::string message = lab->conflicts()[0].message;
    EXPECT_NE(message.find("was deleted by maria on office at "), std::string::npos) << message;
}

// A review saved while the server is away waits here and goes up when it
// answers.
TEST_F(ClinicServerTest, SaveOfAReviewWithTheServerAwayGoesUpWhenItReturns)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    const int id = recordStudy(*lab, "Jimenez");
    TStudy* review = lab->openStudy(id);
    ASSERT_NE(review, nullptr);
    review->setProperty("conclusion", "borderline");
    cluster.stop();
    const std::string refusal = thrownMessage([&] { lab->saveStudy(review); });
    EXPECT_NE(refusal.find("your changes are kept on this workstation"), std::string::npos) << refusal;
    lab->closeStudy(review);
    EXPECT_EQ(lab->waitingCount(), 1);

    cluster.start();
    ASSERT_TRUE(lab->reconnect());
    EXPECT_EQ(lab->waitingCount(), 0);
    auto office = makeStore(*local, "office");
    EXPECT_EQ(serverConclusion(*office, id), "borderline");
}

// A review left open through a recording longer than a lease: the store
// keeps off the network while recording, and the lease is renewed all the
// same, so no other workstation takes the study over.
TEST_F(ClinicServerTest, LeaseOfAReviewIsRenewedWhileAStudyIsBeingRecorded)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    const int id = recordStudy(*lab, "Castro");
    TStudy* review = lab->openStudy(id);
    ASSERT_NE(review, nullptr);
    TStudyInfo info = newStudyInfo("Ana", "Molina");
    TStudy* recording = lab->createStudy(info);

    // As after most of its time had gone.
    TServerDatabase database(cluster.address());
    database.connect();
    database.exec(QStringLiteral("update study_lease set expires_at = now() + interval '1 second'"));
    const auto secondsLeft = [&] {
        QSqlQuery lease = database.exec(
            QStringLiteral("select extract(epoch from expires_at - now()) from study_lease where study_id = ?"), {id});
        return lease.next() ? lease.value(0).toDouble() : -1.0;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return secondsLeft() > TServerLeases::LeaseSeconds / 2; }, 30000));
    auto office = makeStore(*local, "office");
    TStudy* theirs = office->openStudy(id);
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(office->editLockHolder(*theirs), "maria on lab");
    lab->closeStudy(recording);
}

// At a start, the local copies of archived studies unchanged for longer
// than the days kept go, but only where the server holds the recording
// intact; the study stays on the server.
TEST_F(ClinicServerTest, OldLocalCopiesGoOnlyWhereTheServerHoldsTheirRecording)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    const int old = recordStudy(*lab, "Ortiz");
    const int damaged = recordStudy(*lab, "Sanz");
    const int recent = recordStudy(*lab, "Leon");
    lab.reset();
    const QDateTime longAgo = QDateTime::currentDateTime().addDays(-TSettings::whole(TServerStudyStore::KeepLocalDays) - 1);
    for (const int id : {old, damaged}) {
        TStudyInfo row;
        ASSERT_TRUE(local->getIndexRow(id, row));
        QFile study(QStringLiteral("%1/%2.pxstudy").arg(local->studyDataFolder(), QString::fromStdString(row.baseFilename)));
        ASSERT_TRUE(study.open(QIODevice::ReadWrite) && study.setFileTime(longAgo, QFileDevice::FileModificationTime));
    }
    {
        TServerDatabase database(cluster.address());
        database.connect();
        database.exec(QStringLiteral("update study_chunk set data = overlay(data placing '\\x00ff'::bytea from 100) "
                                     "where study_id = ? and extension = 'pxbeats'"),
                      {damaged});
    }

    lab = makeStore(*local, "lab");
    TStudyInfo row;
    EXPECT_FALSE(local->getIndexRow(old, row));
    EXPECT_TRUE(local->getIndexRow(damaged, row));
    EXPECT_TRUE(local->getIndexRow(recent, row));
    EXPECT_EQ(rowsOf(lab->listStudies(), old).size(), 1u);
    TStudy* fetched = lab->openStudy(old);
    ASSERT_NE(fetched, nullptr);
    EXPECT_EQ(fetched->ecgFile()->sampleCount(), 3000);
}

TEST_F(ClinicServerTest, ServerStoppedInTheMiddleOfAnUploadLosesNothingAndShowsNothingHalfWay)
{
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    int chunks = 0;
    lab->archive().setChunkObserver([&] {
        if (++chunks == 2)  // the study file went up, the ECG file is on its way
            cluster.stop();
    });
    const int id = recordStudy(*lab, "Perez", 60000);
    lab->archive().setChunkObserver(nullptr);
    EXPECT_EQ(chunks, 2);
    EXPECT_EQ(lab->waitingCount(), 1);
    EXPECT_FALSE(lab->isConnected());

    cluster.start();
    EXPECT_EQ(serverRows(), 0);
    QSignalSpy waiting(lab.get(), &TServerStudyStore::outboxChanged);
    QSignalSpy caughtUp(lab.get(), &TServerStudyStore::studiesChanged);
    ASSERT_TRUE(lab->reconnect());
    EXPECT_FALSE(caughtUp.isEmpty());  // what was announced meanwhile is lost: lists are read anew
    EXPECT_EQ(lab->waitingCount(), 0);
    ASSERT_FALSE(waiting.isEmpty());
    EXPECT_EQ(waiting.last().at(0).toInt(), 0);
    TStudyInfo row;
    ASSERT_TRUE(local->getIndexRow(id, row));
    EXPECT_EQ(lab->archive().storedChecksums(id), TServerArchive::localChecksums(row.baseFilename, local->studyDataFolder()));
}

TEST_F(ClinicServerTest, StudyRecordedWithTheServerDownGoesUpAfterARestart)
{
    cluster.stop();
    int id = 0;
    {
        auto local = makeLocal();
        auto lab = makeStore(*local, "lab");
        EXPECT_FALSE(lab->isConnected());
        id = recordStudy(*lab, "Gomez");
        EXPECT_EQ(lab->waitingCount(), 1);
        TStudy* review = lab->openStudy(id);  // from the local data folder
        ASSERT_NE(review, nullptr);
        lab->closeStudy(review);
    }
    cluster.start();
    auto local = makeLocal();
    auto lab = makeStore(*local, "lab");
    EXPECT_EQ(lab->waitingCount(), 0);
    EXPECT_EQ(rowsOf(lab->listStudies(), id).size(), 1u);
    TStudy* review = lab->openStudy(id);
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->ecgFile()->sampleCount(), 3000);
}

// varor-analyze --to-server copies a data folder in, as the open study
// dialog does; a second copy finds the studies there.
TEST_F(ClinicServerTest, CopyInReportsADamagedStudyAndCopiesTheOthersOnce)
{
    auto local = makeLocal();
    recordStudy(*local, "Ruiz");
    const int damaged = recordStudy(*local, "Diaz");
    recordStudy(*local, "Vega");
    TStudyInfo row;
    ASSERT_TRUE(local->getIndexRow(damaged, row));
    const QString ecgPath = QStringLiteral("%1/%2.pxecg").arg(local->studyDataFolder(), QString::fromStdString(row.baseFilename));
    QByteArray ecg = readAll(ecgPath);
    ecg.replace(0, 6, "XXXXXX");
    ASSERT_TRUE(writeAll(ecgPath, ecg));
    const QString folder = local->studyDataFolder();
    local.reset();  // the program takes the data folder's lock

    QString output;
    EXPECT_EQ(analyze({QStringLiteral("--to-server"), folder}, output), 1) << output.toStdString();
    EXPECT_TRUE(output.startsWith(QStringLiteral("Copied: 2, already there: 0, not copied: 1\nDiaz, Ana"))) << output.toStdString();
    EXPECT_EQ(readAll(ecgPath), ecg);  // nothing local changed

    local = makeLocal();
    TServerDatabase database(cluster.address());
    database.connect();
    TServerArchive archive(database, "maria on lab");
    EXPECT_EQ(archive.list().size(), 2u);
    const TClinicCopyReport again = copyLocalStudies(*local, archive);
    EXPECT_TRUE(again.copied.empty());
    EXPECT_EQ(again.skipped.size(), 2u);
    ASSERT_EQ(again.failed.size(), 1u);
    EXPECT_EQ(again.failed[0].first.id, damaged);
}

// A recording taken in with the clinic server chosen goes up as a recorded
// study does, not only into the local data folder.
TEST_F(ClinicServerTest, RecordingImportedByVarorAnalyzeGoesUpToTheServer)
{
    QString output;
    ASSERT_EQ(analyze({QStringLiteral(VAROR_DATA_DIR "/ptb/s0010_re.hea"), QStringLiteral("--import")}, output), 0)
        << output.toStdString();
    const int id = QJsonDocument::fromJson(output.toUtf8()).object().value(QStringLiteral("importedStudy")).toInt(-1);
    ASSERT_GT(id, 0) << output.toStdString();
    auto local = makeLocal();
    TStudyInfo row;
    ASSERT_TRUE(local->getIndexRow(id, row));
    TServerDatabase database(cluster.address());
    database.connect();
    EXPECT_EQ(TServerArchive(database, "maria on lab").storedChecksums(id),
              TServerArchive::localChecksums(row.baseFilename, local->studyDataFolder()));
    EXPECT_TRUE(TStudyOutbox(local->studyDataFolder()).isArchived(id));
}

// A stored chunk altered on the server: the check after an upload and
// every fetch refuse the study.
TEST_F(ClinicServerTest, StudyDamagedOnTheServerIsCaughtByTheChecks)
{
    auto local = makeLocal();
    const int id = recordStudy(*local, "Rios");
    TStudyInfo row;
    ASSERT_TRUE(local->getIndexRow(id, row));
    TServerDatabase database(cluster.address());
    database.connect();
    TServerArchive archive(database, "maria on lab");
    archive.uploadVerified(row, local->studyDataFolder(), 0);
    database.exec(QStringLiteral("update study_chunk set data = overlay(data placing '\\x00ff'::bytea from 5000) "
                                 "where study_id = ? and extension = 'pxecg'"),
                  {id});
    EXPECT_EQ(thrownMessage([&] { archive.verify(row, local->studyDataFolder()); }), TServerArchive::MismatchMessage);
    const QString into = env.path(QStringLiteral("fetched"));
    ASSERT_TRUE(QDir().mkpath(into));
    TStudyInfo fetched;
    int revision = 0;
    EXPECT_EQ(thrownMessage([&] { archive.download(id, into, fetched, revision); }), TServerArchive::DamagedMessage);
}

TEST_F(ClinicServerTest, ArchiveOfANewerProgramIsRefused)
{
    {
        TServerDatabase database(cluster.address());
        database.connect();
        EXPECT_EQ(database.storedSchemaVersion(), TServerDatabase::SchemaVersion);
        database.exec(QStringLiteral("insert into varor_schema(version) values (?)"), {TServerDatabase::SchemaVersion + 1});
    }
    TServerDatabase database(cluster.address());
    EXPECT_EQ(thrownMessage([&] { database.connect(); }), TServerDatabase::NewerSchemaMessage);
    EXPECT_FALSE(database.isConnected());
}

} // namespace
