// Zip access: archives written by QZipFileCreator and read back by
// QZipFileExtractor, the archive comment, chunking, missing members and
// every failure message for damaged archives.
#include "StorageTestSupport.h"

#include "storage/QZipFileCreator.h"
#include "storage/QZipFileExtractor.h"

#include <QBuffer>
#include <QtEndian>

#include <memory>

namespace {

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

QByteArray extracted(QZipFileExtractor& zip, const QString& member)
{
    QBuffer buffer;
    EXPECT_TRUE(zip.extract(member, &buffer));
    return buffer.data();
}

// Offset of the central directory, from the end-of-central-directory record.
int centralDirectoryOffset(const QByteArray& archive)
{
    const int end = archive.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0)
        return -1;
    return int(qFromLittleEndian<quint32>(archive.constData() + end + 16));
}

// Replaces the stored CRC-32 of the first member in its local header and in
// its central directory entry, leaving the data as it was.
QByteArray withBrokenFirstChecksum(QByteArray archive)
{
    const int central = centralDirectoryOffset(archive);
    const quint32 crc = qFromLittleEndian<quint32>(archive.constData() + 14);
    qToLittleEndian<quint32>(crc ^ 0x5a5a5a5au, archive.data() + 14);
    qToLittleEndian<quint32>(crc ^ 0x5a5a5a5au, archive.data() + central + 16);
    return archive;
}

class ZipTest : public ::testing::Test
{
protected:
    TempStorageEnvironment env;
};

TEST_F(ZipTest, MembersAndCommentRoundTrip)
{
    const QString source = env.path("source.bin");
    const QByteArray content = patterned(100000);
    ASSERT_TRUE(writeAll(source, content));

    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.setComment(QStringLiteral("PXZIP1"));
        zip.addFile(source, QStringLiteral("pxecg"));
        zip.addData(QByteArray("{\"a\":1}"), QStringLiteral("info"));
        zip.addData(QByteArray(), QStringLiteral("empty"));
        zip.close();
        EXPECT_FALSE(zip.isOpen());
    }

    QZipFileExtractor zip(archive);
    EXPECT_EQ(zip.comment(), QStringLiteral("PXZIP1"));
    EXPECT_EQ(zip.memberCount(), 3);
    EXPECT_EQ(extracted(zip, QStringLiteral("pxecg")), content);
    EXPECT_EQ(extracted(zip, QStringLiteral("info")), QByteArray("{\"a\":1}"));
    EXPECT_EQ(extracted(zip, QStringLiteral("empty")), QByteArray());

    const QString target = env.path("out.bin");
    ASSERT_TRUE(writeAll(target, QByteArray(500000, 'x')));
    EXPECT_TRUE(zip.extract(QStringLiteral("pxecg"), target));
    EXPECT_EQ(readAll(target), content) << "an existing target is overwritten";
}

TEST_F(ZipTest, MembersAreDeflated)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.addData(QByteArray(200000, 'a'), QStringLiteral("pxstudy"));
        zip.close();
    }
    const QByteArray bytes = readAll(archive);
    EXPECT_LT(bytes.size(), 10000);
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 8), 8) << "method 8 (deflate)";
    EXPECT_EQ(bytes.mid(30, 7), QByteArray("pxstudy")) << "bare member name in the local header";
}

TEST_F(ZipTest, NonAsciiMemberNameIsUtf8)
{
    const QString archive = env.path("a.zip");
    const QString name = QString::fromUtf8("Hipertensi\xc3\xb3n");
    {
        QZipFileCreator zip(archive);
        zip.addData(QByteArray("x"), name);
        zip.close();
    }
    QZipFileExtractor zip(archive);
    EXPECT_EQ(extracted(zip, name), QByteArray("x"));
}

TEST_F(ZipTest, EmptyCommentReadsEmpty)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.addData(QByteArray("x"), QStringLiteral("info"));
        zip.close();
    }
    QZipFileExtractor zip(archive);
    EXPECT_TRUE(zip.comment().isEmpty());
}

TEST_F(ZipTest, DestructorClosesTheArchive)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.setComment(QStringLiteral("PXZIP1"));
        zip.addData(QByteArray("x"), QStringLiteral("info"));
    }
    QZipFileExtractor zip(archive);
    EXPECT_EQ(zip.comment(), QStringLiteral("PXZIP1"));
    EXPECT_EQ(extracted(zip, QStringLiteral("info")), QByteArray("x"));
}

TEST_F(ZipTest, AnExistingFileIsReplaced)
{
    const QString archive = env.path("a.zip");
    ASSERT_TRUE(writeAll(archive, patterned(300000)));
    {
        QZipFileCreator zip(archive);
        zip.addData(QByteArray("x"), QStringLiteral("info"));
        zip.close();
    }
    EXPECT_LT(QFile(archive).size(), 1000);
    QZipFileExtractor zip(archive);
    EXPECT_EQ(zip.memberCount(), 1);
}

TEST_F(ZipTest, FileOfOneChunkIsWrittenAsOneChunk)
{
    const QString archive = env.path("a.zip");
    QZipFileCreator zip(archive);
    const struct {
        int size;
        int chunks;
    } cases[] = {{0, 0}, {1, 1}, {32767, 1}, {32768, 1}, {32769, 2}, {65536, 2}, {65537, 3}};
    for (const auto& c : cases) {
        const QString source = env.path(QStringLiteral("s%1").arg(c.size));
        ASSERT_TRUE(writeAll(source, patterned(c.size)));
        zip.addFile(source, QStringLiteral("m%1").arg(c.size));
        EXPECT_EQ(zip.lastChunkCount(), c.chunks) << c.size << " bytes";
    }
    zip.close();

    QZipFileExtractor reader(archive);
    for (const auto& c : cases)
        EXPECT_EQ(extracted(reader, QStringLiteral("m%1").arg(c.size)), patterned(c.size));
}

TEST_F(ZipTest, MissingMemberAnswersFalseAndLeavesTheDeviceAlone)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.addData(QByteArray("x"), QStringLiteral("info"));
        zip.close();
    }
    QZipFileExtractor zip(archive);
    QBuffer buffer;
    EXPECT_FALSE(zip.extract(QStringLiteral("pxstudy"), &buffer));
    EXPECT_FALSE(buffer.isOpen());
    EXPECT_FALSE(zip.extract(QStringLiteral("INFO"), &buffer)) << "names compare case-sensitively";
    EXPECT_FALSE(zip.extract(QString(), &buffer));

    const QString target = env.path("target");
    EXPECT_FALSE(zip.extract(QStringLiteral("pxstudy"), target));
    EXPECT_FALSE(QFile::exists(target)) << "the target file is not even created";
}

TEST_F(ZipTest, ChecksumMismatchWritesTheDataThenThrows)
{
    const QString archive = env.path("a.zip");
    const QByteArray content = patterned(70000);
    {
        QZipFileCreator zip(archive);
        zip.addData(content, QStringLiteral("pxecg"));
        zip.addData(QByteArray("fine"), QStringLiteral("info"));
        zip.close();
    }
    ASSERT_TRUE(writeAll(archive, withBrokenFirstChecksum(readAll(archive))));

    QZipFileExtractor zip(archive);
    QBuffer buffer;
    EXPECT_EQ(thrownMessage([&] { zip.extract(QStringLiteral("pxecg"), &buffer); }),
              "Corrupt file read from zip archive");
    EXPECT_EQ(buffer.data(), content);
    EXPECT_FALSE(buffer.isOpen()) << "the device is closed again";
    EXPECT_EQ(extracted(zip, QStringLiteral("info")), QByteArray("fine"))
        << "the archive stays usable after a corrupt member";
}

TEST_F(ZipTest, DamagedCompressedDataFailsToRead)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.addData(QByteArray(100000, 'a') + patterned(1000), QStringLiteral("pxecg"));
        zip.close();
    }
    QByteArray bytes = readAll(archive);
    const int data = 30 + 5;
    for (int i = data + 2; i < data + 40; ++i)
        bytes[i] = char(0xff);
    ASSERT_TRUE(writeAll(archive, bytes));
    QZipFileExtractor zip(archive);
    QBuffer buffer;
    const std::string message = thrownMessage([&] { zip.extract(QStringLiteral("pxecg"), &buffer); });
    EXPECT_TRUE(message == "Cannot read file in zip archive" || message == "Corrupt file read from zip archive")
        << message;
}

TEST_F(ZipTest, OpeningFailures)
{
    EXPECT_EQ(thrownMessage([&] { QZipFileExtractor zip(env.path("missing.zip")); }), "Cannot open zip archive");

    ASSERT_TRUE(writeAll(env.path("garbage.zip"), patterned(5000)));
    EXPECT_EQ(thrownMessage([&] { QZipFileExtractor zip(env.path("garbage.zip")); }), "Cannot open zip archive");

    ASSERT_TRUE(writeAll(env.path("empty.zip"), QByteArray()));
    EXPECT_EQ(thrownMessage([&] { QZipFileExtractor zip(env.path("empty.zip")); }), "Cannot open zip archive");

    EXPECT_EQ(thrownMessage([&] { QZipFileCreator zip(env.path("no/such/folder/a.zip")); }),
              "Cannot create zip archive");
    ASSERT_TRUE(QDir(env.base()).mkdir(QStringLiteral("folder.zip")));
    EXPECT_EQ(thrownMessage([&] { QZipFileCreator zip(env.path("folder.zip")); }), "Cannot create zip archive");
}

TEST_F(ZipTest, UnreadableSourceAddsNoMember)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        EXPECT_EQ(thrownMessage([&] { zip.addFile(env.path("missing"), QStringLiteral("pxecg")); }),
                  "Cannot write data in zip file");
        zip.addData(QByteArray("x"), QStringLiteral("info"));
        zip.close();
    }
    QZipFileExtractor zip(archive);
    EXPECT_EQ(zip.memberCount(), 1);
    QBuffer buffer;
    EXPECT_FALSE(zip.extract(QStringLiteral("pxecg"), &buffer));
}

TEST_F(ZipTest, AddingAfterCloseFails)
{
    QZipFileCreator zip(env.path("a.zip"));
    zip.close();
    EXPECT_EQ(thrownMessage([&] { zip.addData(QByteArray("x"), QStringLiteral("info")); }),
              "Cannot open new file in zip");
    zip.close();  // a second close does nothing
}

TEST_F(ZipTest, UnwritableTargetThrowsWriteError)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.addData(QByteArray("x"), QStringLiteral("info"));
        zip.close();
    }
    QZipFileExtractor zip(archive);
    EXPECT_EQ(thrownMessage([&] { zip.extract(QStringLiteral("info"), env.path("no/such/folder/x")); }),
              "Write error");
}

TEST_F(ZipTest, TruncatedArchivesNeverCrash)
{
    const QString archive = env.path("a.zip");
    {
        QZipFileCreator zip(archive);
        zip.setComment(QStringLiteral("PXZIP1"));
        zip.addData(patterned(5000), QStringLiteral("pxstudy"));
        zip.addData(QByteArray("info"), QStringLiteral("info"));
        zip.close();
    }
    const QByteArray whole = readAll(archive);
    const QString cut = env.path("cut.zip");
    for (int size = 0; size < whole.size(); size += 7) {
        ASSERT_TRUE(writeAll(cut, whole.left(size)));
        try {
            QZipFileExtractor zip(cut);
            QBuffer buffer;
            zip.extract(QStringLiteral("pxstudy"), &buffer);
        } catch (const std::runtime_error&) {
        }
    }
}

} // namespace
