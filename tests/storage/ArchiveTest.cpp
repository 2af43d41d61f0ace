// Study archives: export and import through the store, archive info and
// listing, foreign and damaged archives, untrusted names, imports over open
// studies.
#include "StoreTestSupport.h"

#include "storage/QZipFileCreator.h"
#include "storage/QZipFileExtractor.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <utility>

namespace {

const std::string NotAnArchive = "File is not a valid Pulsorix study Zip archive";

// A path in the local 8-bit encoding, as the store takes it.
std::string local(const QString& path)
{
    return path.toLocal8Bit().toStdString();
}

// Member names in central directory order.
QStringList memberNames(const QByteArray& archive)
{
    QStringList names;
    const int end = archive.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0)
        return names;
    int at = int(qFromLittleEndian<quint32>(archive.constData() + end + 16));
    const int count = qFromLittleEndian<quint16>(archive.constData() + end + 10);
    for (int i = 0; i < count; ++i) {
        const int nameLength = qFromLittleEndian<quint16>(archive.constData() + at + 28);
        const int extraLength = qFromLittleEndian<quint16>(archive.constData() + at + 30);
        const int commentLength = qFromLittleEndian<quint16>(archive.constData() + at + 32);
        names << QString::fromUtf8(archive.mid(at + 46, nameLength));
        at += 46 + nameLength + extraLength + commentLength;
    }
    return names;
}

QByteArray member(const QString& archive, const QString& name)
{
    QZipFileExtractor zip(archive);
    QBuffer buffer;
    if (!zip.extract(name, &buffer))
        return QByteArray("<missing>");
    return buffer.data();
}

void makeArchive(const QString& path, const QString& comment, const QList<QPair<QString, QByteArray>>& members)
{
    QZipFileCreator zip(path);
    zip.setComment(comment);
    for (const auto& entry : members)
        zip.addData(entry.second, entry.first);
    zip.close();
}

// Replaces the stored CRC-32 of the member at central directory position
// `index` (in its local header and its central directory entry).
QByteArray withBrokenChecksum(QByteArray archive, int index)
{
    const int end = archive.lastIndexOf(QByteArray("PK\x05\x06", 4));
    int at = int(qFromLittleEndian<quint32>(archive.constData() + end + 16));
    for (int i = 0; i < index; ++i)
        at += 46 + qFromLittleEndian<quint16>(archive.constData() + at + 28)
              + qFromLittleEndian<quint16>(archive.constData() + at + 30)
              + qFromLittleEndian<quint16>(archive.constData() + at + 32);
    const int local = int(qFromLittleEndian<quint32>(archive.constData() + at + 42));
    const quint32 crc = qFromLittleEndian<quint32>(archive.constData() + at + 16) ^ 0x01010101u;
    qToLittleEndian<quint32>(crc, archive.data() + at + 16);
    qToLittleEndian<quint32>(crc, archive.data() + local + 14);
    return archive;
}

QStringList hiddenImports(const QString& folder)
{
    return QDir(folder).entryList({".import-*"}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The files of a data folder besides its lock.
QStringList dataFiles(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(QStringLiteral(".lock"));
    return names;
}

// A study edited, saved and closed as the review window does it.
void setProperty(TLocalStudyStore& store, int id, const std::string& key, const std::string& value)
{
    TStudy* study = store.openStudy(id);
    study->setProperty(key, value);
    store.saveStudy(study);
    store.closeStudy(study);
}

class ArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        shared = env.path("shared");
        ASSERT_TRUE(QDir().mkpath(shared));
        ASSERT_TRUE(QDir().mkpath(other.base()));
    }

    std::unique_ptr<TLocalStudyStore> makeStore(const TempStorageEnvironment& where)
    {
        return std::make_unique<TLocalStudyStore>("PulsorixVAROR", where.base());
    }

    QString file(const TempStorageEnvironment& where, const std::string& base, const char* extension) const
    {
        return QStringLiteral("%1/%2.%3").arg(dataFolder(where), QString::fromStdString(base), QLatin1String(extension));
    }

    // A recorded study in `env`, exported to the shared folder.
    TStudyInfo exportedStudy()
    {
        auto store = makeStore(env);
        TStudyInfo info = newStudyInfo("Ana", "Garcia");
        TStudy* study = store->createStudy(info);
        record(*study, 40000, 30);
        study->setProperty("conclusion", "Normal");
        store->saveStudy(study);
        store->closeStudy(study);
        store->exportStudy(info.id, shared.toStdString());
        return info;
    }

    QString archivePath(const TStudyInfo& info) const { return shared + "/" + QString::fromStdString(info.baseFilename) + ".pxz"; }

    TempStorageEnvironment env;
    TempStorageEnvironment other;  // a second computer
    QString shared;
};

TEST_F(ArchiveTest, ExportWritesTheFourMembersAndTheComment)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    ASSERT_TRUE(QFile::exists(archive));
    EXPECT_EQ(QDir(shared).entryList(QDir::Files | QDir::Hidden), QStringList{"Garcia-Ana-20140312103000.pxz"});
    EXPECT_EQ(memberNames(readAll(archive)), (QStringList{"pxstudy", "pxecg", "pxbeats", "info"}));
    EXPECT_EQ(QZipFileExtractor(archive).comment(), "PXZIP1");
    for (const char* extension : {"pxstudy", "pxecg", "pxbeats"})
        EXPECT_TRUE(member(archive, extension) == readAll(file(env, info.baseFilename, extension))) << extension;
    QJsonObject infoObject = QJsonDocument::fromJson(member(archive, "info")).object();
    EXPECT_EQ(infoObject.take("exportDateTime").toString().size(), 14) << "dated yyyyMMddHHmmss";
    EXPECT_EQ(infoObject,
              QJsonDocument::fromJson(R"({"baseFilename":"Garcia-Ana-20140312103000","studyDateTime":"20140312103000",)"
                                      R"("studyType":"VA ROR","patient":{"lastName":"Garcia","firstName":"Ana"}})")
                  .object());
    EXPECT_FALSE(member(archive, "info").contains(": ")) << "compact";
}

TEST_F(ArchiveTest, RoundTripPreservesEveryByteAndTheRow)
{
    const TStudyInfo info = exportedStudy();
    QByteArray files[3];
    QString row;
    {
        auto store = makeStore(env);
        row = indexData(info.id);
        int i = 0;
        for (const char* extension : {"pxstudy", "pxecg", "pxbeats"})
            files[i++] = readAll(file(env, info.baseFilename, extension));
    }

    auto store = makeStore(other);
    EXPECT_EQ(store->importStudy(archivePath(info).toStdString()), info.id);
    int i = 0;
    for (const char* extension : {"pxstudy", "pxecg", "pxbeats"})
        EXPECT_TRUE(readAll(file(other, info.baseFilename, extension)) == files[i++]) << extension;
    EXPECT_EQ(indexData(info.id), row);
    EXPECT_TRUE(hiddenImports(dataFolder(other)).isEmpty());

    TStudy* study = store->openStudy(info.id);
    ASSERT_NE(study, nullptr);
    EXPECT_EQ(study->propertyValue("conclusion"), "Normal");
    EXPECT_EQ(study->ecgFile()->sampleCount(), 40000);
    EXPECT_EQ(study->beatsFile()->count(), 30);
}

TEST_F(ArchiveTest, ImportOverAnIndexedStudyUpdatesItsRowFromTheInfo)
{
    const TStudyInfo info = exportedStudy();
    auto store = makeStore(env);
    setProperty(*store, info.id, "status", "report");
    // Changed since the export: replaced only as the operator chooses.
    EXPECT_EQ(store->importStudyReplacing(archivePath(info).toStdString()), info.id);
    const std::vector<TStudyInfo> studies = store->listStudies();
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0].status, "") << "the row comes from the archive's info";
    EXPECT_EQ(studies[0].lastName, "Garcia");
}

TEST_F(ArchiveTest, ExportingTwiceLeavesOneArchive)
{
    const TStudyInfo info = exportedStudy();
    auto store = makeStore(env);
    TStudy* study = store->openStudy(info.id);
    study->setProperty("conclusion", "Second");
    store->saveStudy(study);
    store->closeStudy(study);
    store->exportStudy(info.id, shared.toStdString());
    EXPECT_EQ(QDir(shared).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_TRUE(member(archivePath(info), "pxstudy") == readAll(file(env, info.baseFilename, "pxstudy")));

    store->exportStudy(424242, shared.toStdString());  // no such study: nothing
    EXPECT_EQ(QDir(shared).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(ArchiveTest, ArchiveInfoAndListing)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    ASSERT_TRUE(QFile::copy(archive, shared + "/copy.pxz"));
    const QByteArray bytes = readAll(archive);
    makeArchive(shared + "/foreign.pxz", "PXZIP2", {{"info", member(archive, "info")}});
    makeArchive(shared + "/lower.pxz", "pxzip1", {{"info", member(archive, "info")}});
    makeArchive(shared + "/nocomment.pxz", "", {{"info", member(archive, "info")}});
    makeArchive(shared + "/noinfo.pxz", "PXZIP1", {{"pxstudy", "x"}});
    makeArchive(shared + "/nopatient.pxz", "PXZIP1", {{"info", R"({"baseFilename":"A-B-1","patient":{}})"}});
    makeArchive(shared + "/nobase.pxz", "PXZIP1", {{"info", R"({"baseFilename":"","patient":{"lastName":"A"}})"}});
    makeArchive(shared + "/brokeninfo.pxz", "PXZIP1", {{"info", R"({"baseFilename":"A-B-1","patie)"}});
    makeArchive(shared + "/huge.pxz", "PXZIP1", {{"info", QByteArray(3 * 1024 * 1024, ' ') + R"({"baseFilename":"A-B-1","patient":{"lastName":"A"}})"}});
    ASSERT_TRUE(writeAll(shared + "/garbage.pxz", QByteArray(3000, 'g')));
    ASSERT_TRUE(writeAll(shared + "/truncated.pxz", bytes.left(bytes.size() / 2)));
    ASSERT_TRUE(QFile::copy(archive, shared + "/other.zip"));

    auto store = makeStore(other);
    TStudyInfo read;
    read.id = 99;
    ASSERT_TRUE(store->readArchiveInfo(archive.toStdString(), read));
    EXPECT_EQ(read.id, 0);
    EXPECT_EQ(read.baseFilename, info.baseFilename);
    EXPECT_EQ(read.studyDateTime, "20140312103000");
    EXPECT_EQ(read.studyType, "VA ROR");
    EXPECT_EQ(read.lastName, "Garcia");
    EXPECT_EQ(read.firstName, "Ana");
    for (const char* name : {"foreign", "lower", "nocomment", "noinfo", "nopatient", "nobase", "brokeninfo", "huge"})
        EXPECT_FALSE(store->readArchiveInfo(local(shared + "/" + name + ".pxz"), read)) << name;
    EXPECT_EQ(thrownMessage([&] { store->readArchiveInfo(local(shared + "/garbage.pxz"), read); }),
              "Cannot open zip archive");

    const std::vector<TStudyStore::ArchiveEntry> archives = store->listArchives(shared.toStdString());
    ASSERT_EQ(archives.size(), 2u);
    EXPECT_EQ(archives[0].first, "copy.pxz") << "in the folder listing's default order by name";
    EXPECT_EQ(archives[1].first, "Garcia-Ana-20140312103000.pxz");
    EXPECT_EQ(archives[0].second.lastName, "Garcia");
    EXPECT_TRUE(store->listArchives(local(shared + "/missing")).empty());
}

TEST_F(ArchiveTest, ForeignCommentIsRefused)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    QList<QPair<QString, QByteArray>> members;
    for (const char* name : {"pxstudy", "pxecg", "pxbeats", "info"})
        members.append({name, member(archive, name)});
    makeArchive(shared + "/foreign.pxz", "PXZIP1 ", members);
    auto store = makeStore(other);
    EXPECT_EQ(thrownMessage([&] { store->importStudy(local(shared + "/foreign.pxz")); }), NotAnArchive);
    EXPECT_TRUE(store->listStudies().empty());
    EXPECT_TRUE(dataFiles(dataFolder(other)).isEmpty());
}

TEST_F(ArchiveTest, ContentFailuresAreNotAValidArchive)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    const QByteArray study = member(archive, "pxstudy");
    const QByteArray ecg = member(archive, "pxecg");
    const QByteArray beats = member(archive, "pxbeats");
    const QByteArray infoJson = member(archive, "info");
    const QList<QPair<const char*, QList<QPair<QString, QByteArray>>>> cases{
        {"no pxbeats", {{"pxstudy", study}, {"pxecg", ecg}, {"info", infoJson}}},
        {"no pxstudy", {{"pxecg", ecg}, {"pxbeats", beats}, {"info", infoJson}}},
        {"garbage study", {{"pxstudy", "PXSTUDY2garbage"}, {"pxecg", ecg}, {"pxbeats", beats}, {"info", infoJson}}},
        {"no study object", {{"pxstudy", R"(PXSTUDY1{"patient":{"a":"b"}})"}, {"pxecg", ecg}, {"pxbeats", beats}, {"info", infoJson}}},
        {"empty study", {{"pxstudy", R"(PXSTUDY1{"study":{}})"}, {"pxecg", ecg}, {"pxbeats", beats}, {"info", infoJson}}},
        {"no patient", {{"pxstudy", R"(PXSTUDY1{"study":{"id":7,"baseFilename":"Garcia-Ana-20140312103000"}})"},
                        {"pxecg", ecg}, {"pxbeats", beats}, {"info", infoJson}}},
        {"broken ecg", {{"pxstudy", study}, {"pxecg", "PXECG1{"}, {"pxbeats", beats}, {"info", infoJson}}},
        {"broken beats", {{"pxstudy", study}, {"pxecg", ecg}, {"pxbeats", "PXBEATS2"}, {"info", infoJson}}},
    };
    auto store = makeStore(other);
    for (const auto& c : cases) {
        makeArchive(shared + "/case.pxz", "PXZIP1", c.second);
        EXPECT_EQ(thrownMessage([&] { store->importStudy(local(shared + "/case.pxz")); }), NotAnArchive)
            << c.first;
        EXPECT_TRUE(dataFiles(dataFolder(other)).isEmpty()) << c.first;
    }
    EXPECT_TRUE(store->listStudies().empty());
    EXPECT_EQ(thrownMessage([&] { store->importStudy(local(shared + "/missing.pxz")); }),
              "Cannot open zip archive");
}

TEST_F(ArchiveTest, UntrustedBaseFilenamesAreRefused)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    auto store = makeStore(other);
    for (const char* name : {"../../evil", "../evil", "a/b", "a\\\\b", "", ".hidden", "..", "x..y", "/tmp/evil",
                             "c:evil", "bad\\u0001name"}) {
        const QByteArray infoJson = QByteArray(R"({"baseFilename":")") + name
                                    + R"(","studyDateTime":"1","studyType":"VA ROR","patient":{"lastName":"G"}})";
        makeArchive(shared + "/evil.pxz", "PXZIP1",
                    {{"pxstudy", member(archive, "pxstudy")}, {"pxecg", member(archive, "pxecg")},
                     {"pxbeats", member(archive, "pxbeats")}, {"info", infoJson}});
        EXPECT_EQ(thrownMessage([&] { store->importStudy(local(shared + "/evil.pxz")); }), NotAnArchive) << name;
    }
    EXPECT_TRUE(dataFiles(dataFolder(other)).isEmpty());
    EXPECT_EQ(QDir(other.base()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"PulsorixVAROR"});
    EXPECT_FALSE(QFile::exists(env.path("evil.pxstudy")));
    EXPECT_FALSE(QFile::exists(other.path("evil.pxstudy")));
    EXPECT_TRUE(store->listStudies().empty());
}

TEST_F(ArchiveTest, CorruptMemberThrowsAndLeavesTheLocalStudy)
{
    const TStudyInfo info = exportedStudy();
    const QString broken = shared + "/broken.pxz";
    ASSERT_TRUE(writeAll(broken, withBrokenChecksum(readAll(archivePath(info)), 1)));

    auto store = makeStore(env);
    const QByteArray ecgBefore = readAll(file(env, info.baseFilename, "pxecg"));
    EXPECT_EQ(thrownMessage([&] { store->importStudy(broken.toStdString()); }), "Corrupt file read from zip archive");
    EXPECT_TRUE(readAll(file(env, info.baseFilename, "pxecg")) == ecgBefore);
    EXPECT_TRUE(hiddenImports(dataFolder(env)).isEmpty());
    EXPECT_NE(store->openStudy(info.id), nullptr);
}

TEST_F(ArchiveTest, ImportOverAnOpenStudyIsRefused)
{
    const TStudyInfo info = exportedStudy();
    auto store = makeStore(env);
    TStudy* study = store->openStudy(info.id);
    ASSERT_NE(study, nullptr);
    const QByteArray before = readAll(file(env, info.baseFilename, "pxstudy"));
    EXPECT_EQ(thrownMessage([&] { store->importStudy(archivePath(info).toStdString()); }),
              TLocalStudyStore::ImportOpenMessage);
    EXPECT_EQ(readAll(file(env, info.baseFilename, "pxstudy")), before);
    EXPECT_EQ(study->ecgFile()->sampleCount(), 40000);
    EXPECT_TRUE(hiddenImports(dataFolder(env)).isEmpty());
    store->closeStudy(study);
    EXPECT_EQ(store->importStudy(archivePath(info).toStdString()), info.id);
}

TEST_F(ArchiveTest, ImportNeverOverwritesAnotherStudysFiles)
{
    const TStudyInfo info = exportedStudy();
    auto store = makeStore(other);
    // A different local study that happens to use the same file names.
    TStudyInfo local = newStudyInfo("Ana", "Garcia");
    store->closeStudy(store->createStudy(local));
    ASSERT_EQ(local.baseFilename, info.baseFilename);
    ASSERT_NE(local.id, info.id);
    const QByteArray before = readAll(file(other, local.baseFilename, "pxecg"));
    EXPECT_EQ(thrownMessage([&] { store->importStudy(archivePath(info).toStdString()); }),
              TLocalStudyStore::ImportClashMessage);
    EXPECT_EQ(readAll(file(other, local.baseFilename, "pxecg")), before);
    EXPECT_EQ(store->listStudies().size(), 1u);
}

TEST_F(ArchiveTest, ImportOverALocalCopyChangedSinceTheExportIsTheOperatorsChoice)
{
    const TStudyInfo info = exportedStudy();
    auto store = makeStore(env);
    setProperty(*store, info.id, "conclusion", "Late potentials: positive");
    // Edited a minute after the archive was made.
    QFile edited(file(env, info.baseFilename, "pxstudy"));
    ASSERT_TRUE(edited.open(QIODevice::ReadWrite));
    ASSERT_TRUE(edited.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
    edited.close();
    const QByteArray localCopy = readAll(file(env, info.baseFilename, "pxstudy"));

    try {
        store->importStudy(local(archivePath(info)));
        ADD_FAILURE() << "the changed local copy was replaced without asking";
    } catch (const TImportConflict& conflict) {
        EXPECT_GT(conflict.localChanged, conflict.archiveMade);
        EXPECT_EQ(conflict.archiveMade.size(), 14u);
    }
    EXPECT_EQ(readAll(file(env, info.baseFilename, "pxstudy")), localCopy);
    EXPECT_EQ(store->importStudyReplacing(local(archivePath(info))), info.id);
    EXPECT_EQ(store->openStudy(info.id)->propertyValue("conclusion"), "Normal");
}

// A volume with 60 MiB free, of which a recording needs 50.
class SmallVolumeStore : public TLocalStudyStore
{
public:
    using TLocalStudyStore::TLocalStudyStore;

protected:
    qint64 availableBytes() const override { return 60 << 20; }
};

// An archive of a few kilobytes whose ECG member inflates to 12 MiB of
// zeros: nothing is inflated into the data folder.
TEST_F(ArchiveTest, AMemberThatWouldFillTheVolumeIsNeverInflated)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    makeArchive(shared + "/bomb.pxz", "PXZIP1",
                {{"pxstudy", member(archive, "pxstudy")}, {"pxecg", member(archive, "pxecg").left(4096) + QByteArray(12 << 20, '\0')},
                 {"pxbeats", member(archive, "pxbeats")}, {"info", member(archive, "info")}});
    ASSERT_LT(QFileInfo(shared + "/bomb.pxz").size(), 100000);
    SmallVolumeStore store("PulsorixVAROR", other.base());
    EXPECT_EQ(thrownMessage([&] { store.importStudy(local(shared + "/bomb.pxz")); }),
              TLocalStudyStore::ImportSpaceMessage);
    EXPECT_TRUE(dataFiles(dataFolder(other)).isEmpty());
    EXPECT_TRUE(hiddenImports(dataFolder(other)).isEmpty());
}

// The archive's claims (its export date, its names) never decide alone
// whether a local study is replaced.
TEST_F(ArchiveTest, AnArchiveNeverReplacesALocalStudyUnasked)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    auto store = makeStore(env);
    setProperty(*store, info.id, "conclusion", "Late potentials: positive");
    const QByteArray localCopy = readAll(file(env, info.baseFilename, "pxstudy"));

    QJsonObject future = QJsonDocument::fromJson(member(archive, "info")).object();
    future.insert("exportDateTime", "99991231235959");
    makeArchive(shared + "/future.pxz", "PXZIP1",
                {{"pxstudy", member(archive, "pxstudy")}, {"pxecg", member(archive, "pxecg")},
                 {"pxbeats", member(archive, "pxbeats")}, {"info", QJsonDocument(future).toJson()}});
    EXPECT_THROW(store->importStudy(local(shared + "/future.pxz")), TImportConflict);
    EXPECT_EQ(readAll(file(env, info.baseFilename, "pxstudy")), localCopy);

    // A study file naming other files than the archive's: a save of it
    // would write over that other study.
    QJsonObject renamed = future;
    renamed.insert("baseFilename", "Lopez-Eva-20150101000000");
    makeArchive(shared + "/renamed.pxz", "PXZIP1",
                {{"pxstudy", member(archive, "pxstudy")}, {"pxecg", member(archive, "pxecg")},
                 {"pxbeats", member(archive, "pxbeats")}, {"info", QJsonDocument(renamed).toJson()}});
    auto elsewhere = makeStore(other);
    EXPECT_EQ(thrownMessage([&] { elsewhere->importStudy(local(shared + "/renamed.pxz")); }),
              TLocalStudyStore::ImportForeignNameMessage);
    EXPECT_TRUE(dataFiles(dataFolder(other)).isEmpty());
}

TEST_F(ArchiveTest, AMemberBeyondWhatItsHeaderAllowsIsRefused)
{
    const TStudyInfo info = exportedStudy();
    const QString archive = archivePath(info);
    // One lead at 50 Hz: a day of it, the longest study, holds 8.64 MB.
    QByteArray ecg = R"(PXECG1{"ecg":{"sampleFormat":"short","samplingRate":50,"resolution":16,)"
                     R"("gainMin":-300,"gainMax":300,"channels":["I"]}})";
    ecg += QByteArray(4096 - ecg.size(), '\0') + QByteArray(9 << 20, '\0');
    makeArchive(shared + "/inflated.pxz", "PXZIP1",
                {{"pxstudy", member(archive, "pxstudy")}, {"pxecg", ecg},
                 {"pxbeats", member(archive, "pxbeats")}, {"info", member(archive, "info")}});
    auto store = makeStore(other);
    EXPECT_EQ(thrownMessage([&] { store->importStudy(local(shared + "/inflated.pxz")); }),
              TLocalStudyStore::ImportOversizeMessage);
    EXPECT_TRUE(dataFiles(dataFolder(other)).isEmpty());
    EXPECT_TRUE(hiddenImports(dataFolder(other)).isEmpty());
}

TEST_F(ArchiveTest, AnImportCutOffByACrashIsUndoneAtTheNextStart)
{
    const TStudyInfo info = exportedStudy();
    const QString ecg = file(env, info.baseFilename, "pxecg");
    const QByteArray before = readAll(ecg);
    // As a crash leaves it: the new ECG file moved into place, the old one
    // aside in the import's work folder with its journal.
    const QString work = dataFolder(env) + "/.import-0000dead";
    ASSERT_TRUE(QDir().mkpath(work));
    const QString temporary = work + "/" + QString::fromStdString(info.baseFilename) + ".pxecg";
    ASSERT_TRUE(QFile::rename(ecg, temporary + ".old"));
    ASSERT_TRUE(writeAll(ecg, "PXECG1 a newer recording"));
    ASSERT_TRUE(writeAll(temporary + ".undo", "existed\n" + QFile::encodeName(ecg)));
    ASSERT_TRUE(writeAll(dataFolder(env) + "/.import-1234abcd.pxbeats", "left by an older version"));

    auto store = makeStore(env);
    EXPECT_EQ(readAll(ecg), before);
    EXPECT_TRUE(hiddenImports(dataFolder(env)).isEmpty());
    EXPECT_NE(store->openStudy(info.id), nullptr);
}

} // namespace
