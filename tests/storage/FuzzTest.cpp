// Corrupt input never crashes: valid study files and archives are mutated a
// few thousand times in all (truncation, bit flips, random bytes, inserted
// and removed runs) and opened. Nothing may crash or hang, and the only
// exceptions allowed are the messages of Parts 4.3 and 4.4 (plus the
// store's refusals of imports). The generator is seeded, so a failure
// names the case that reproduces it.
#include "StoreTestSupport.h"

#include "storage/TStudyFiles.h"

#include <QElapsedTimer>

#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <set>

namespace {

const std::set<std::string>& allowedMessages()
{
    static const std::set<std::string> messages{
        "Cannot open zip archive",
        "Cannot read zip archive",
        "Cannot read comment in zip archive",
        "Cannot get file info from zip archive",
        "Cannot open file in zip archive",
        "Cannot read file in zip archive",
        "Corrupt file read from zip archive",
        "File is not a valid Pulsorix study Zip archive",
        TLocalStudyStore::ImportClashMessage,
        TImportConflict::Message,
    };
    return messages;
}

class Mutator
{
public:
    explicit Mutator(unsigned seed) : m_random(seed) {}

    int below(int bound) { return bound <= 0 ? 0 : int(m_random() % unsigned(bound)); }

    // One to three mutations, most of them near `hotEnd` (the interesting
    // part of the file: headers, JSON, zip directories).
    QByteArray mutate(QByteArray bytes, int hotEnd)
    {
        const int rounds = 1 + below(3);
        for (int round = 0; round < rounds; ++round) {
            const int span = bytes.isEmpty() ? 1 : (below(4) == 0 ? bytes.size() : std::min(bytes.size(), hotEnd));
            const int at = below(span);
            switch (below(6)) {
            case 0:  // truncation
                bytes.truncate(at);
                break;
            case 1:  // bit flips
                for (int flips = 1 + below(8); flips > 0 && !bytes.isEmpty(); --flips) {
                    const int where = below(span);
                    if (where < bytes.size())
                        bytes[where] = char(bytes[where] ^ (1 << below(8)));
                }
                break;
            case 2:  // random bytes over a run
                for (int i = at, n = 1 + below(16); i < bytes.size() && n > 0; ++i, --n)
                    bytes[i] = char(below(256));
                break;
            case 3:  // inserted random bytes
                bytes.insert(at, randomBytes(1 + below(32)));
                break;
            case 4:  // removed run
                bytes.remove(at, 1 + below(32));
                break;
            default:  // an extreme value over a run of four bytes
                for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
                    bytes[at + i] = char(below(2) ? 0xff : 0x00);
                break;
            }
        }
        return bytes;
    }

private:
    QByteArray randomBytes(int count)
    {
        QByteArray bytes(count, '\0');
        for (char& byte : bytes)
            byte = char(below(256));
        return bytes;
    }

    std::mt19937 m_random;
};

class FuzzTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        shared = env.path("shared");
        ASSERT_TRUE(QDir().mkpath(shared));
        {
            auto store = std::make_unique<TLocalStudyStore>("PulsorixVAROR", env.base());
            TStudyInfo info = newStudyInfo("Ana", "Garcia");
            info.comments = "Ñandú – «comillas» \"quoted\" \\ and more";
            TStudy* study = store->createStudy(info);
            record(*study, 9000, 6);
            study->results().find("QRSOnset")->setValue(-0.04);
            store->saveStudy(study);
            store->closeStudy(study);
            store->exportStudy(info.id, shared.toLocal8Bit().toStdString());
            base = QString::fromStdString(info.baseFilename);
        }
        const QString folder = dataFolder(env);
        studyBytes = readAll(folder + "/" + base + ".pxstudy");
        ecgBytes = readAll(folder + "/" + base + ".pxecg");
        beatsBytes = readAll(folder + "/" + base + ".pxbeats");
        archiveBytes = readAll(shared + "/" + base + ".pxz");
        ASSERT_FALSE(studyBytes.isEmpty());
        ASSERT_FALSE(archiveBytes.isEmpty());
        work = env.path("work");
        ASSERT_TRUE(QDir().mkpath(work));
        timer.start();
    }

    void TearDown() override
    {
        EXPECT_LT(timer.elapsed(), 60000) << "the cases must stay quick (no hang)";
        // What the cases met, so a run shows that the mutations reach past
        // the first check.
        std::cout << "outcomes:";
        for (const auto& [outcome, count] : outcomes)
            std::cout << " [" << outcome << "] " << count;
        std::cout << std::endl;
    }

    void count(const std::string& outcome) { ++outcomes[outcome]; }

    // Runs an operation on corrupt input: only the allowed messages may leave it.
    void expectAllowed(const char* what, int iteration, const std::function<void()>& operation)
    {
        try {
            operation();
            count("no exception");
        } catch (const std::exception& error) {
            count(error.what());
            EXPECT_TRUE(allowedMessages().count(error.what())) << what << " case " << iteration << ": " << error.what();
        } catch (...) {
            ADD_FAILURE() << what << " case " << iteration << ": a non-standard exception";
        }
    }

    TempStorageEnvironment env;
    QString shared;
    QString work;
    QString base;
    QByteArray studyBytes;
    QByteArray ecgBytes;
    QByteArray beatsBytes;
    QByteArray archiveBytes;
    QElapsedTimer timer;
    std::map<std::string, int> outcomes;
};

TEST_F(FuzzTest, StudyFiles)
{
    Mutator mutator(1001);
    ASSERT_TRUE(writeAll(work + "/s.pxecg", ecgBytes));
    ASSERT_TRUE(writeAll(work + "/s.pxbeats", beatsBytes));
    QJsonDocument document;
    ASSERT_TRUE(TStudyFiles::readStudyDocument(dataFolder(env) + "/" + base + ".pxstudy", document));
    const QByteArray plain = QByteArray("PXSTUDY1") + document.toJson(QJsonDocument::Compact);
    for (int i = 0; i < 1200; ++i) {
        const QByteArray& original = i % 2 ? studyBytes : plain;
        ASSERT_TRUE(writeAll(work + "/s.pxstudy", mutator.mutate(original, original.size())));
        expectAllowed("pxstudy", i, [&] {
            QJsonDocument read;
            TStudyFiles::readStudyDocument(work + "/s.pxstudy", read);
            std::unique_ptr<TStudy> study = TStudyFiles::loadStudyFile(work + "/s.pxstudy");
            count(study ? "loaded" : "refused");
            if (study)
                TStudyFiles::saveStudyFile(*study, work + "/copy.pxstudy");
        });
    }
}

TEST_F(FuzzTest, EcgFiles)
{
    Mutator mutator(2002);
    const int jsonEnd = ecgBytes.indexOf('\0') + 8;
    std::vector<double> range(64);
    for (int i = 0; i < 1200; ++i) {
        ASSERT_TRUE(writeAll(work + "/e.pxecg", mutator.mutate(ecgBytes, jsonEnd)));
        expectAllowed("pxecg", i, [&] {
            std::unique_ptr<TEcgFile> ecg = TStudyFiles::openEcgFile(work + "/e.pxecg");
            count(ecg ? "opened" : "refused");
            if (!ecg)
                return;
            const int n = ecg->sampleCount();
            for (int k = 0; k < 8; ++k) {
                const int channel = mutator.below(ecg->channelCount() + 2) - 1;
                const int index = mutator.below(n + 20000) - 10000;
                ecg->sample(channel, index);
                ecg->readRange(channel, index, int(range.size()), range.data());
                if (qint16* block = ecg->readBlock(channel, mutator.below(ecg->blockCount() + 2) - 1))
                    ecg->releaseBlock(block);
            }
            std::unique_ptr<TBeatsFile> beats = TStudyFiles::openBeatsFile(ecg.get(), dataFolder(env) + "/" + base + ".pxbeats");
            (void)beats;
        });
    }
}

TEST_F(FuzzTest, BeatsFiles)
{
    Mutator mutator(3003);
    std::unique_ptr<TEcgFile> ecg = TStudyFiles::openEcgFile(dataFolder(env) + "/" + base + ".pxecg");
    ASSERT_TRUE(ecg);
    for (int i = 0; i < 600; ++i) {
        ASSERT_TRUE(writeAll(work + "/b.pxbeats", mutator.mutate(beatsBytes, beatsBytes.size())));
        expectAllowed("pxbeats", i, [&] {
            std::unique_ptr<TBeatsFile> beats = TStudyFiles::openBeatsFile(ecg.get(), work + "/b.pxbeats");
            count(beats ? "opened" : "refused");
            if (!beats)
                return;
            TBeat beat;
            for (int k = -1; k <= beats->count(); ++k) {
                if (beats->read(k, beat))
                    beats->update(beat);
            }
            beats->exclude(mutator.below(beats->count() + 1));
            beats->include(mutator.below(beats->count() + 1));
        });
    }
}

TEST_F(FuzzTest, Archives)
{
    Mutator mutator(4004);
    auto store = std::make_unique<TLocalStudyStore>("PulsorixVAROR", env.path("importer"));
    const std::string path = (work + "/a.pxz").toLocal8Bit().toStdString();
    for (int i = 0; i < 1500; ++i) {
        ASSERT_TRUE(writeAll(work + "/a.pxz", mutator.mutate(archiveBytes, archiveBytes.size())));
        expectAllowed("pxz", i, [&] {
            TStudyInfo info;
            count(store->readArchiveInfo(path, info) ? "info read" : "info refused");
        });
        expectAllowed("pxz import", i, [&] { store->importStudy(path); });
    }
    expectAllowed("pxz listing", 0, [&] { store->listArchives(work.toLocal8Bit().toStdString()); });
    // Whatever was imported stays inside the importer's data folder and
    // leaves no temporary file behind.
    EXPECT_TRUE(QDir(env.path("importer/PulsorixVAROR")).entryList({".import-*"}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(QDir(env.base()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"PulsorixVAROR", "importer", "shared", "work"}));
    for (const TStudyInfo& info : store->listStudies()) {
        if (TStudy* study = store->openStudy(info.id))
            store->closeStudy(study);
    }
}

} // namespace
