// The local study store: data folder and index, create/open/save/close/
// delete/list, the rebuild of the index and its mends, atomic saves, file
// names inside the data folder, free space and the reserved operations.
#include "StoreTestSupport.h"

#include "storage/TDataFolderLock.h"
#include "storage/TStagedFiles.h"
#include "storage/TStudyFiles.h"
#include "tests/common/FileSizeLimit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>

#include <random>
#include <set>
#include <sys/stat.h>

namespace {

class StudyStoreTest : public ::testing::Test
{
protected:
    std::unique_ptr<TLocalStudyStore> makeStore()
    {
        return std::make_unique<TLocalStudyStore>("PulsorixVAROR", env.base());
    }

    QString folder() const { return dataFolder(env); }
    QString file(const std::string& base, const char* extension) const
    {
        return QStringLiteral("%1/%2.%3").arg(folder(), QString::fromStdString(base), QLatin1String(extension));
    }

    TempStorageEnvironment env;
};

TEST_F(StudyStoreTest, EmptyFolderGetsDataDatabaseAndTable)
{
    auto store = makeStore();
    EXPECT_TRUE(QFileInfo(folder()).isDir());
    EXPECT_TRUE(QFileInfo(folder() + "/data").isDir());
    EXPECT_TRUE(QFileInfo(folder() + "/data/studies.sqlite").isFile());
    EXPECT_EQ(QSqlDatabase::database().tables(), QStringList{"Study"});
    EXPECT_TRUE(store->listStudies().empty());
    EXPECT_EQ(store->dataPath(), folder().toStdString());
    EXPECT_EQ(store->riskFactorNames().size(), 11u);
    EXPECT_TRUE(store->hasFreeSpace());
}

// A writer killed part-way (a report, a study file) leaves its temporary
// beside the target; the next start clears it, and no one else's.
TEST_F(StudyStoreTest, StartClearsWhatAKilledWriterLeft)
{
    makeStore().reset();
    const QString host = TStagedFiles::hostTag();
    const QString killed = "-2147483646-0badf00d.part";
    const QStringList left{folder() + "/.s1.pxstudy." + host + killed,
                           folder() + "/reports/.s1.pdf." + host + killed};
    for (const QString& path : left)
        ASSERT_TRUE(writeAll(path, "half written"));
    const QString running = folder() + "/reports/.s2.pdf." + host + "-1-0badf00d.part";
    ASSERT_TRUE(writeAll(running, "being written"));
    auto store = makeStore();
    for (const QString& path : left)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(QFileInfo::exists(running));
}

TEST_F(StudyStoreTest, GenericDataLocationIsTheDefaultBase)
{
    // Test mode keeps this away from the user's real data folder.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    ASSERT_TRUE(base.contains(".qttest")) << base.toStdString();
    const std::string name = "PulsorixVARORTest-" + std::to_string(QCoreApplication::applicationPid());
    {
        TLocalStudyStore store(name);
        EXPECT_EQ(store.dataPath(), QString(base + "/" + QString::fromStdString(name)).toStdString());
    }
    QDir(base + "/" + QString::fromStdString(name)).removeRecursively();
}

TEST_F(StudyStoreTest, CreateStudyWritesTheThreeFilesAndTheRow)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    ASSERT_NE(study, nullptr);
    EXPECT_GE(info.id, 1);
    EXPECT_LE(info.id, 999999999);
    EXPECT_EQ(study->id(), info.id);
    EXPECT_EQ(info.baseFilename, "Garcia-Ana-20140312103000");
    EXPECT_TRUE(store->isStudyOpen(info.id));
    EXPECT_EQ(study->propertyValue("baseFilename"), info.baseFilename);
    EXPECT_EQ(study->propertyValue("patient/age"), "57");
    std::string comment;
    EXPECT_TRUE(study->riskFactor("Diabetes", comment));
    EXPECT_EQ(comment, "tipo 2");

    // The ECG file: the header area with "PXECG1" and the document.
    const QByteArray ecg = readAll(file(info.baseFilename, "pxecg"));
    ASSERT_EQ(ecg.size(), 4096);
    ASSERT_EQ(ecg.left(6), QByteArray("PXECG1"));
    const QByteArray json = ecg.mid(6, ecg.indexOf('\0') - 6);
    EXPECT_TRUE(ecg.mid(6 + json.size()) == QByteArray(4096 - 6 - json.size(), '\0'));
    const QJsonObject header = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(header.value("ecg").toObject().value("channels").toArray().size(), 14);
    EXPECT_EQ(header.value("ecg").toObject().value("channels").toArray().at(12).toString(), "CM5");
    EXPECT_EQ(header.value("ecg").toObject().value("gainMin").toDouble(), -300.0);
    EXPECT_EQ(header.value("ecg").toObject().value("samplingRate").toInt(), 1000);
    EXPECT_EQ(header.value("study").toObject().value("id").toInt(), info.id);
    EXPECT_EQ(header.value("patient").toObject().value("lastName").toString(), "Garcia");

    QByteArray beatsHeader(256, '\0');
    beatsHeader.replace(0, 8, "PXBEATS1");
    EXPECT_EQ(readAll(file(info.baseFilename, "pxbeats")), beatsHeader);
    EXPECT_EQ(readAll(file(info.baseFilename, "pxstudy")).left(8), QByteArray("PXSTUDY2"));

    // The index row: exactly six string members.
    const QJsonObject row = QJsonDocument::fromJson(indexData(info.id).toUtf8()).object();
    EXPECT_EQ(row, QJsonDocument::fromJson(R"({"baseFilename":"Garcia-Ana-20140312103000","status":"",)"
                                           R"("studyType":"VA ROR","studyDateTime":"20140312103000",)"
                                           R"("patientFirstName":"Ana","patientLastName":"Garcia"})")
                       .object());
    EXPECT_FALSE(indexData(info.id).contains(": ") || indexData(info.id).contains(", ")) << "compact";

    const std::vector<TStudyInfo> studies = store->listStudies();
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0].id, info.id);
    EXPECT_EQ(studies[0].lastName, "Garcia");
    EXPECT_EQ(studies[0].studyType, "VA ROR");
    EXPECT_EQ(studies[0].age, "") << "an index row carries six fields only";
}

TEST_F(StudyStoreTest, RecordCloseAndReopen)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    record(*study, 20000, 25);
    store->closeStudy(study);
    EXPECT_FALSE(store->isStudyOpen(info.id));

    TStudy* reopened = store->openStudy(info.id);
    ASSERT_NE(reopened, nullptr);
    EXPECT_TRUE(store->isStudyOpen(info.id));
    EXPECT_EQ(reopened->ecgFile()->sampleCount(), 20000);
    EXPECT_EQ(reopened->ecgFile()->blockCount(), 3);
    EXPECT_EQ(reopened->ecgFile()->sample(5, 19999), (19999 * 31 + 35) % 4000 - 2000);
    EXPECT_EQ(reopened->beatsFile()->count(), 25);
    TBeat beat;
    ASSERT_TRUE(reopened->beatsFile()->read(24, beat));
    EXPECT_DOUBLE_EQ(beat.windowStart(), 0.8 * 24);
    EXPECT_EQ(store->openStudy(info.id), reopened) << "an open study is answered, not replaced";
}

TEST_F(StudyStoreTest, SaveStudyWritesTheFileAndUpdatesTheRow)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    study->setProperty("status", "report");
    study->setProperty("conclusion", "Potenciales tardíos negativos");
    study->results().find("QRSOnset")->setValue(-0.045);
    store->saveStudy(study);
    store->closeStudy(study);

    EXPECT_EQ(QJsonDocument::fromJson(indexData(info.id).toUtf8()).object().value("status").toString(), "report");
    TStudy* reopened = store->openStudy(info.id);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->propertyValue("conclusion"), "Potenciales tardíos negativos");
    EXPECT_EQ(reopened->results().find("QRSOnset")->value(), -0.045);

    // Changes without saveStudy do not reach the disk.
    reopened->setProperty("conclusion", "changed");
    store->closeStudy(reopened);
    reopened = store->openStudy(info.id);
    EXPECT_EQ(reopened->propertyValue("conclusion"), "Potenciales tardíos negativos");
}

TEST_F(StudyStoreTest, StudiesNotInTheTableAreIgnored)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    const QByteArray before = readAll(file(info.baseFilename, "pxstudy"));

    TStudy stranger(info.id);
    stranger.setProperty("baseFilename", info.baseFilename);
    stranger.setProperty("conclusion", "from elsewhere");
    store->saveStudy(&stranger);
    store->closeStudy(&stranger);
    store->saveStudy(nullptr);
    store->closeStudy(nullptr);
    EXPECT_EQ(readAll(file(info.baseFilename, "pxstudy")), before);
    EXPECT_TRUE(store->isStudyOpen(info.id));
    EXPECT_EQ(study->id(), info.id);
}

TEST_F(StudyStoreTest, OpenStudyOfAMissingFileReturnsNone)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    store->closeStudy(store->createStudy(info));
    ASSERT_TRUE(QFile::remove(file(info.baseFilename, "pxstudy")));
    EXPECT_EQ(store->openStudy(info.id), nullptr);
    EXPECT_FALSE(store->isStudyOpen(info.id));
    EXPECT_EQ(store->openStudy(12345), nullptr) << "an id without a row";
    EXPECT_FALSE(store->isStudyOpen(12345));
}

TEST_F(StudyStoreTest, OpenStudyOfACutEcgFileServesTheWholeFrames)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    record(*study, 1000, 3);
    store->closeStudy(study);
    // Power loss in the middle of a frame and of a beat record.
    QFile ecg(file(info.baseFilename, "pxecg"));
    ASSERT_TRUE(ecg.resize(ecg.size() - 5));
    QFile beats(file(info.baseFilename, "pxbeats"));
    ASSERT_TRUE(beats.resize(beats.size() - 100));

    TStudy* reopened = store->openStudy(info.id);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->ecgFile()->sampleCount(), 999);
    EXPECT_EQ(reopened->beatsFile()->count(), 2);
}

TEST_F(StudyStoreTest, DeleteStudy)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    store->deleteStudy(info.id);
    EXPECT_TRUE(QFile::exists(file(info.baseFilename, "pxstudy"))) << "an open study is not deleted";
    EXPECT_TRUE(QFile::exists(file(info.baseFilename, "pxecg")));
    EXPECT_EQ(store->listStudies().size(), 1u);

    store->closeStudy(study);
    QFile::remove(file(info.baseFilename, "pxbeats"));  // a missing file is no obstacle
    store->deleteStudy(info.id);
    EXPECT_FALSE(QFile::exists(file(info.baseFilename, "pxstudy")));
    EXPECT_FALSE(QFile::exists(file(info.baseFilename, "pxecg")));
    EXPECT_TRUE(store->listStudies().empty());
    store->deleteStudy(info.id);  // no row: nothing
    store->deleteStudy(987654);
}

TEST_F(StudyStoreTest, UndefinedDataFolderThrowsBeforeTouchingAnyFile)
{
    TLocalStudyStore store("PulsorixVAROR", QString());
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    EXPECT_EQ(thrownMessage([&] { store.createStudy(info); }), "Undefined database path");
    EXPECT_EQ(info.id, 0);
    EXPECT_TRUE(QDir(env.base()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    EXPECT_EQ(store.dataPath(), "");
    EXPECT_EQ(store.openStudy(1), nullptr);
    EXPECT_TRUE(store.hasFreeSpace());
}

TEST_F(StudyStoreTest, ReservedOperationsThrowUnimplemented)
{
    auto store = makeStore();
    TStudyStore& base = *store;
    const std::vector<void (TStudyStore::*)()> reserved{
        &TStudyStore::reserved12, &TStudyStore::reserved13, &TStudyStore::reserved14, &TStudyStore::reserved15,
        &TStudyStore::reserved16, &TStudyStore::reserved17, &TStudyStore::reserved18, &TStudyStore::reserved19,
        &TStudyStore::reserved20, &TStudyStore::reserved21, &TStudyStore::reserved23, &TStudyStore::reserved27};
    for (auto operation : reserved)
        EXPECT_EQ(thrownMessage([&] { (base.*operation)(); }), "unimplemented");
}

TEST_F(StudyStoreTest, StudyFilesWithoutARowAreIndexedAtStart)
{
    std::vector<int> ids;
    {
        auto store = makeStore();
        for (const char* name : {"Ana", "Berta", "Carla"}) {
            TStudyInfo info = newStudyInfo(name, "Garcia");
            store->closeStudy(store->createStudy(info));
            ids.push_back(info.id);
        }
        TStudy* study = store->openStudy(ids[1]);
        study->setProperty("status", "report");
        store->saveStudy(study);
        store->closeStudy(study);
    }
    ASSERT_TRUE(QFile::remove(folder() + "/data/studies.sqlite"));
    // An unreadable file and a second file of an id already seen.
    ASSERT_TRUE(writeAll(folder() + "/Broken-File-1.pxstudy", QByteArray("PXSTUDY2garbage")));
    ASSERT_TRUE(QFile::copy(file("Garcia-Ana-20140312103000", "pxstudy"), folder() + "/Copy-Ana-1.pxstudy"));

    {
        auto store = makeStore();
        std::vector<TStudyInfo> studies = store->listStudies();
        ASSERT_EQ(studies.size(), 3u) << "the rest of the folder is indexed";
        std::sort(studies.begin(), studies.end(), [](const TStudyInfo& a, const TStudyInfo& b) { return a.firstName < b.firstName; });
        EXPECT_EQ(studies[0].baseFilename, "Garcia-Ana-20140312103000") << "the first file of an id wins";
        EXPECT_EQ(studies[1].status, "report");
        EXPECT_EQ(studies[2].firstName, "Carla");
        for (int id : ids)
            EXPECT_NE(store->openStudy(id), nullptr);
    }

    // With the database present, a study file that no row names is listed
    // at the next start; a copy under another name opens nothing and is not.
    ASSERT_TRUE(QFile::copy(file("Garcia-Ana-20140312103000", "pxstudy"), folder() + "/Later-1.pxstudy"));
    {
        auto store = makeStore();
        QSqlQuery remove(QSqlDatabase::database());
        ASSERT_TRUE(remove.exec(QStringLiteral("delete from Study where id = %1").arg(ids[2])));
    }
    auto store = makeStore();
    EXPECT_EQ(store->listStudies().size(), 3u);
    EXPECT_NE(store->openStudy(ids[2]), nullptr);
}

TEST_F(StudyStoreTest, ADamagedIndexIsSetAsideAndEveryStudyListedAgain)
{
    {
        auto store = makeStore();
        for (int k = 0; k < 40; ++k) {
            TStudyInfo info = newStudyInfo("Ana" + std::to_string(k), "Garcia");
            store->closeStudy(store->createStudy(info));
        }
    }
    const QString path = folder() + "/data/studies.sqlite";
    const QByteArray whole = readAll(path);
    ASSERT_GT(whole.size(), 8192);
    // Cut off; or its table's definition damaged so that every id reads as
    // nothing.
    QByteArray redefined = whole;
    redefined.replace("id integer primary key", "id integer primary kez");
    for (const QByteArray& damaged : {whole.left(whole.size() / 2), redefined}) {
        ASSERT_TRUE(writeAll(path, damaged));
        auto store = makeStore();
        std::set<int> ids;
        for (const TStudyInfo& info : store->listStudies())
            ids.insert(info.id);
        EXPECT_EQ(ids.size(), 40u);
        EXPECT_EQ(ids.count(0), 0u);
        QFile::remove(path);
    }
    EXPECT_EQ(QDir(folder() + "/data").entryList({"studies.sqlite.broken-*"}).size(), 2);
}

TEST_F(StudyStoreTest, ANameTakenWhileTheStudyIsCreatedIsNeverWrittenThrough)
{
    auto store = makeStore();
    // Another writer's file appears under the name as the study is made:
    // here a link to a file outside, which the check for a free name misses.
    ASSERT_TRUE(QFile::link(env.path("outside.pxecg"), file("Garcia-Ana-20140312103000", "pxecg")));
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    store->closeStudy(store->createStudy(info));
    EXPECT_EQ(info.baseFilename, "Garcia-Ana-20140312103000-2");
    EXPECT_FALSE(QFile::exists(env.path("outside.pxecg")));
}

TEST_F(StudyStoreTest, ASecondWriterOfTheDataFolderIsRefused)
{
    auto store = makeStore();
    const std::string inUse = QString::fromLatin1(TDataFolderLock::InUseMessage).arg(folder()).toStdString();
    EXPECT_EQ(thrownMessage([&] { makeStore(); }), inUse);
    store.reset();
    EXPECT_EQ(thrownMessage([&] { makeStore(); }), "<no exception>");
}

TEST_F(StudyStoreTest, PatientDataIsReadableByItsOwnerOnly)
{
    const auto mode = [](const QString& path) {
        struct stat status {};
        stat(QFile::encodeName(path).constData(), &status);
        return status.st_mode & 0777;
    };
    // A folder an earlier version left open to every account.
    ASSERT_TRUE(QDir().mkpath(folder() + "/reports"));
    ASSERT_TRUE(writeAll(folder() + "/reports/old.pdf", "%PDF"));
    chmod(QFile::encodeName(folder()).constData(), 0755);
    chmod(QFile::encodeName(folder() + "/reports/old.pdf").constData(), 0644);
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    store->saveStudy(study);
    for (const QString& path : QStringList{folder(), folder() + "/data", folder() + "/reports"})
        EXPECT_EQ(mode(path), 0700u) << path.toStdString();
    for (const QString& path : QStringList{file(info.baseFilename, "pxstudy"), file(info.baseFilename, "pxecg"),
                                file(info.baseFilename, "pxbeats"), folder() + "/data/studies.sqlite",
                                folder() + "/reports/old.pdf"})
        EXPECT_EQ(mode(path), 0600u) << path.toStdString();
    store->closeStudy(study);
    // A copy for sharing keeps the shared folder's own permissions.
    store->exportStudy(info.id, env.base().toStdString());
    EXPECT_EQ(mode(env.path(QString::fromStdString(info.baseFilename) + ".pxz")), 0666u & ~umask(022));
}

TEST_F(StudyStoreTest, ARecordingCutOffByACrashIsFinishedAtTheNextStart)
{
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    {
        auto store = makeStore();
        TStudy* study = store->createStudy(info);
        study->setRecordingDateTime("20140312103100");
        study->setProperty(TStudy::RecordingStateKey, TStudy::RecordingInProgress);
        store->saveStudy(study);
        record(*study, 3000, 3);
        store->closeStudy(study);  // the process ends here, without saving
    }
    // Half a frame and half a beat record were on their way.
    for (const char* extension : {"pxecg", "pxbeats"}) {
        QFile data(file(info.baseFilename, extension));
        ASSERT_TRUE(data.open(QIODevice::Append));
        data.write(QByteArray(13, '\x7f'));
    }
    auto store = makeStore();
    ASSERT_EQ(store->interruptedRecordings().size(), 1u);
    EXPECT_EQ(store->interruptedRecordings().front().id, info.id);
    TStudy* study = store->openStudy(info.id);
    ASSERT_NE(study, nullptr);
    EXPECT_EQ(study->propertyValue(TStudy::RecordingStateKey), TStudy::RecordingInterrupted);
    EXPECT_EQ(study->recordingDateTime(), "20140312103100");
    EXPECT_EQ(QFileInfo(file(info.baseFilename, "pxecg")).size(), 4096 + 3000 * 28);
    EXPECT_EQ(study->beatsFile()->count(), 3);
    EXPECT_EQ(QFileInfo(file(info.baseFilename, "pxbeats")).size(), 256 + 3 * study->beatsFile()->recordSize());
}

TEST_F(StudyStoreTest, AStudyNeverRecordedIsRemovedAtTheNextStart)
{
    TStudyInfo empty = newStudyInfo("Ana", "Garcia");
    TStudyInfo recorded = newStudyInfo("Berta", "Garcia");
    {
        auto store = makeStore();
        TStudy* monitored = store->createStudy(empty);
        monitored->setProperty(TStudy::RecordingStateKey, TStudy::RecordingInProgress);
        store->saveStudy(monitored);
        store->closeStudy(monitored);  // the process ended while monitoring
        TStudy* study = store->createStudy(recorded);
        study->setRecordingDateTime("20140312103100");
        record(*study, 100, 0);
        store->saveStudy(study);
        store->closeStudy(study);
    }
    auto store = makeStore();
    const std::vector<TStudyInfo> studies = store->listStudies();
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies.front().id, recorded.id);
    EXPECT_FALSE(QFile::exists(file(empty.baseFilename, "pxecg")));
    EXPECT_TRUE(store->interruptedRecordings().empty());
}

TEST_F(StudyStoreTest, RebuildIsOneTransaction)
{
    {
        auto store = makeStore();
        for (const char* name : {"Ana", "Berta"}) {
            TStudyInfo info = newStudyInfo(name, "Garcia");
            store->closeStudy(store->createStudy(info));
        }
    }
    ASSERT_TRUE(QFile::remove(folder() + "/data/studies.sqlite"));
    auto store = makeStore();
    EXPECT_EQ(store->listStudies().size(), 2u);
    // No transaction is left open: a new one can begin.
    EXPECT_TRUE(QSqlDatabase::database().transaction());
    QSqlDatabase::database().rollback();
}

TEST_F(StudyStoreTest, IndexRowWithBrokenJson)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    store->closeStudy(store->createStudy(info));
    QSqlQuery query(QSqlDatabase::database());
    query.prepare("update Study set data = ? where id = ?");
    query.addBindValue("{\"baseFilename\":");
    query.addBindValue(info.id);
    ASSERT_TRUE(query.exec());

    const std::vector<TStudyInfo> studies = store->listStudies();
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0].id, info.id);
    EXPECT_EQ(studies[0].baseFilename, "");
    EXPECT_EQ(store->openStudy(info.id), nullptr);
    EXPECT_FALSE(store->isStudyOpen(info.id));
    store->exportStudy(info.id, env.base().toStdString());
    EXPECT_TRUE(QDir(env.base()).entryList({"*.pxz"}).isEmpty());
    store->deleteStudy(info.id);
    EXPECT_TRUE(store->listStudies().empty());
    EXPECT_TRUE(QFile::exists(file(info.baseFilename, "pxstudy"))) << "no file was touched by the broken row";
}

// A row damaged inside its text (the database itself sound) no longer
// opens its study; at the next start the study file gives it back.
TEST_F(StudyStoreTest, ARowThatOpensNoStudyIsRepairedFromItsStudyFileAtStart)
{
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    {
        auto store = makeStore();
        store->closeStudy(store->createStudy(info));
        QSqlQuery query(QSqlDatabase::database());
        query.prepare("update Study set data = ? where id = ?");
        query.addBindValue(R"({"baseFilename":"Garcia-Ana-2014031:103000","patientFirstName":"Ana"})");
        query.addBindValue(info.id);
        ASSERT_TRUE(query.exec());
        ASSERT_EQ(store->openStudy(info.id), nullptr);
    }
    auto store = makeStore();
    ASSERT_EQ(store->listStudies().size(), 1u);
    EXPECT_EQ(store->listStudies().front().baseFilename, info.baseFilename);
    EXPECT_NE(store->openStudy(info.id), nullptr);
}

TEST_F(StudyStoreTest, IndexNamesThatLeaveTheFolderAreNeverUsed)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    store->closeStudy(store->createStudy(info));
    ASSERT_TRUE(QFile::copy(file(info.baseFilename, "pxstudy"), env.path("victim.pxstudy")));
    QSqlQuery query(QSqlDatabase::database());
    query.prepare("update Study set data = ? where id = ?");
    query.addBindValue("{\"baseFilename\":\"../victim\"}");
    query.addBindValue(info.id);
    ASSERT_TRUE(query.exec());

    EXPECT_EQ(store->openStudy(info.id), nullptr);
    store->deleteStudy(info.id);
    EXPECT_TRUE(QFile::exists(env.path("victim.pxstudy")));
}

TEST_F(StudyStoreTest, ADatabaseFileThatIsNotADatabaseIsSetAsideAndRebuilt)
{
    {
        auto store = makeStore();
        TStudyInfo info = newStudyInfo("Ana", "Garcia");
        store->closeStudy(store->createStudy(info));
    }
    ASSERT_TRUE(writeAll(folder() + "/data/studies.sqlite", QByteArray(5000, 'x')));
    auto store = makeStore();
    EXPECT_EQ(store->listStudies().size(), 1u);
    EXPECT_EQ(QDir(folder() + "/data").entryList({"studies.sqlite.broken-*"}).size(), 1);
}

TEST_F(StudyStoreTest, AnEmptyDatabaseFileGetsItsTable)
{
    {
        auto store = makeStore();
        TStudyInfo info = newStudyInfo("Ana", "Garcia");
        store->closeStudy(store->createStudy(info));
    }
    ASSERT_TRUE(writeAll(folder() + "/data/studies.sqlite", QByteArray()));
    auto store = makeStore();
    EXPECT_EQ(store->listStudies().size(), 1u);
}

TEST_F(StudyStoreTest, FailedSaveLeavesTheOldFileAndRow)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    const QByteArray before = readAll(file(info.baseFilename, "pxstudy"));
    const QString row = indexData(info.id);

    std::minstd_rand random(7);
    std::string noise(8000, ' ');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = char('a' + random() % 26);
    study->setProperty("conclusion", noise);
    study->setProperty("status", "report");
    std::string message;
    {
        const FileSizeLimit limit(1024);
        message = thrownMessage([&] { store->saveStudy(study); });
    }

    EXPECT_EQ(message, "Write error");
    EXPECT_EQ(readAll(file(info.baseFilename, "pxstudy")), before);
    EXPECT_EQ(indexData(info.id), row);
}

TEST_F(StudyStoreTest, SameNamesAndTimeNeverShareFiles)
{
    auto store = makeStore();
    TStudyInfo first = newStudyInfo("Ana", "Garcia");
    TStudy* a = store->createStudy(first);
    record(*a, 100, 1);
    TStudyInfo second = newStudyInfo("Ana", "Garcia");
    TStudy* b = store->createStudy(second);
    EXPECT_EQ(first.baseFilename, "Garcia-Ana-20140312103000");
    EXPECT_EQ(second.baseFilename, "Garcia-Ana-20140312103000-2");
    EXPECT_NE(first.id, second.id);
    EXPECT_EQ(a->ecgFile()->sampleCount(), 100);
    EXPECT_EQ(QFile(file(first.baseFilename, "pxecg")).size(), 4096 + 28 * 100);
    EXPECT_EQ(b->ecgFile()->sampleCount(), 0);
}

TEST_F(StudyStoreTest, UnsafeNamesStayInsideTheDataFolder)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("a/b:c*?\"<>|\\", "../../evil", "20140312103000");
    TStudy* study = store->createStudy(info);
    ASSERT_NE(study, nullptr);
    EXPECT_EQ(info.baseFilename.find('/'), std::string::npos);
    EXPECT_EQ(QFileInfo(file(info.baseFilename, "pxstudy")).absolutePath(), QFileInfo(folder()).absoluteFilePath());
    EXPECT_TRUE(QFile::exists(file(info.baseFilename, "pxecg")));
    EXPECT_EQ(study->propertyValue("patient/lastName"), "../../evil") << "names stay as typed";
    EXPECT_EQ(study->propertyValue("patient/firstName"), "a/b:c*?\"<>|\\");
    const QStringList outside = QDir(env.base()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    EXPECT_EQ(outside, QStringList{"PulsorixVAROR"});
    store->closeStudy(study);
    TStudy* reopened = store->openStudy(info.id);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->propertyValue("patient/lastName"), "../../evil");
}

TEST_F(StudyStoreTest, FailedCreationLeavesNothingBehind)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    info.channelCount = 17;
    EXPECT_NE(thrownMessage([&] { store->createStudy(info); }), "<no exception>");
    EXPECT_TRUE(QDir(folder()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(store->listStudies().empty());
}

TEST_F(StudyStoreTest, LongTextsStillGiveAnEcgFileThatReopens)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    info.comments = std::string(6000, 'c');
    info.address = std::string(3000, 'a');
    TStudy* study = store->createStudy(info);
    record(*study, 10, 0);
    store->closeStudy(study);
    TStudy* reopened = store->openStudy(info.id);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->ecgFile()->sampleCount(), 10);
    EXPECT_EQ(reopened->propertyValue("comments"), std::string(6000, 'c'));
}

TEST_F(StudyStoreTest, StudyInfoThroughTheStore)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    TStudy* study = store->createStudy(info);
    TStudyInfo edited = store->getStudyInfo(*study);
    EXPECT_EQ(edited.id, info.id);
    EXPECT_EQ(edited.samplingRate, 0);
    edited.doctorName = "Dr. Ruiz";
    store->setStudyInfo(*study, edited);
    store->saveStudy(study);
    store->closeStudy(study);
    EXPECT_EQ(store->openStudy(info.id)->propertyValue("doctorName"), "Dr. Ruiz");
}

TEST_F(StudyStoreTest, LoadAndSaveStudyFileThroughTheStore)
{
    auto store = makeStore();
    TStudyInfo info = newStudyInfo("Ana", "Garcia");
    store->closeStudy(store->createStudy(info));
    const std::string path = file(info.baseFilename, "pxstudy").toLocal8Bit().toStdString();
    std::unique_ptr<TStudy> study = store->loadStudyFile(path);
    ASSERT_TRUE(study);
    EXPECT_EQ(study->id(), info.id);
    study->setProperty("comments", "x");
    store->saveStudyFile(*study, path);
    EXPECT_EQ(store->loadStudyFile(path)->propertyValue("comments"), "x");
    EXPECT_FALSE(store->loadStudyFile(path + ".missing"));
}

} // namespace
