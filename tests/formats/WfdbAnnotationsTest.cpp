// MIT-format annotation files: a file built here word by word, what the
// writer emits for intervals, fields and aux text, round trips through a
// file, mnemonics, and malformed files and annotations.
#include "storage/StorageTestSupport.h"

#include "formats/TWfdbAnnotations.h"

#include <QTemporaryDir>

#include <limits>
#include <stdexcept>
#include <vector>

namespace {

// Annotation file bytes spelled out: 16-bit little-endian words, code in
// the top 6 bits, value in the low 10.
class AnnotationBytes
{
public:
    AnnotationBytes& word(int code, int value)
    {
        const int w = (code << 10) | (value & 0x3FF);
        m_bytes.append(char(w & 0xFF)).append(char(w >> 8));
        return *this;
    }
    // SKIP: high 16-bit word first, each little-endian.
    AnnotationBytes& skip(unsigned interval)
    {
        word(59, 0);
        for (unsigned half : {interval >> 16, interval & 0xFFFFu})
            m_bytes.append(char(half & 0xFF)).append(char(half >> 8));
        return *this;
    }
    AnnotationBytes& aux(const QByteArray& text)
    {
        word(63, text.size());
        m_bytes.append(text);
        if (text.size() % 2)
            m_bytes.append('\0');
        return *this;
    }
    QByteArray end() const { return QByteArray(m_bytes).append(2, '\0'); }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

TWfdbAnnotation annotation(qint64 sample, int code, int subtype = 0, int channel = 0, int number = 0,
                           const QString& aux = QString())
{
    return {sample, code, subtype, channel, number, aux};
}

} // namespace

TEST(WfdbAnnotations, DecodesAFileBuiltWordByWord)
{
    const QByteArray bytes = AnnotationBytes()
                                 .word(1, 100)               // N at 100
                                 .aux("(AFIB")               // odd length, padded
                                 .skip(70000)                // 100 + 70000 ...
                                 .word(5, 5)                 // ... + 5: V at 70105
                                 .word(61, 2)                // its subtype
                                 .word(62, 1)                // its channel, kept on
                                 .word(60, 3)                // its number, kept on
                                 .word(1, 20)                // N at 70125
                                 .word(61, 0x3FF)            // subtype -1
                                 .aux(QByteArray("(N\0", 3)) // C string end dropped
                                 .word(28, 1023)             // + at 71148
                                 .end();
    const std::vector<TWfdbAnnotation> expected = {
        annotation(100, 1, 0, 0, 0, QStringLiteral("(AFIB")),
        annotation(70105, 5, 2, 1, 3),
        annotation(70125, 1, -1, 1, 3, QStringLiteral("(N")),
        annotation(71148, 28, 0, 1, 3),
    };
    EXPECT_EQ(TWfdbAnnotations::decode(bytes, QStringLiteral("100.atr")), expected);
    // Without the end word, and with bytes after it.
    EXPECT_EQ(TWfdbAnnotations::decode(bytes.left(bytes.size() - 2), QStringLiteral("100.atr")), expected);
    EXPECT_EQ(TWfdbAnnotations::decode(bytes + "junk", QStringLiteral("100.atr")), expected);
}

TEST(WfdbAnnotations, EncodesIntervalsFieldsAndAuxTextInTheStandardOrder)
{
    const std::vector<TWfdbAnnotation> annotations = {
        annotation(1023, 1),                                        // largest step of a word
        annotation(2047, 5, 0, 0, 0, QStringLiteral("ab")),         // 1024: SKIP
        annotation(2047, 8, -3, 2, 0),                              // same sample; subtype, channel
        annotation(2050, 1, 0, 2, 7, QStringLiteral("abc")),        // number changes
        annotation(2051, 1, 0, 0, 7),                               // channel back to 0
    };
    const QByteArray expected = AnnotationBytes()
                                    .word(1, 1023)
                                    .skip(1024)
                                    .word(5, 0)
                                    .aux("ab")
                                    .word(8, 0)
                                    .word(61, -3)
                                    .word(62, 2)
                                    .word(1, 3)
                                    .word(60, 7)
                                    .aux("abc")
                                    .word(1, 1)
                                    .word(62, 0)
                                    .end();
    EXPECT_EQ(TWfdbAnnotations::encode(annotations).toHex(' '), expected.toHex(' '));
    EXPECT_EQ(TWfdbAnnotations::encode({}), QByteArray(2, '\0'));
}

TEST(WfdbAnnotations, RoundTripThroughAFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rec.qrs"));
    const std::vector<TWfdbAnnotation> annotations = {
        annotation(0, 1),
        annotation(360, 1, 0, 0, 0, QStringLiteral("(N")),
        annotation(5000, 5, 1, 0, 0),                                   // gap of 4640: SKIP
        annotation(5000, 14, 0, 3, -2, QStringLiteral("noise in lead 3")), // same time, other channel
        annotation(5300, 9, 0, 3, -2),
        annotation(3000000000LL, 28, 0, 0, 0, QStringLiteral("(AB")),  // beyond a 32-bit interval
        annotation(3000000400LL, 16, -128, 255, 127, QString::fromLatin1("caf\xe9")),
    };
    TWfdbAnnotations::write(path, annotations);
    EXPECT_EQ(TWfdbAnnotations::read(path), annotations);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("rec.qrs")});
}

TEST(WfdbAnnotations, MnemonicsOfTheStandardCodes)
{
    const std::pair<int, const char*> codes[] = {{1, "N"},  {2, "L"},  {3, "R"},  {5, "V"},  {6, "F"},
                                                 {8, "A"},  {9, "S"},  {12, "/"}, {13, "Q"}, {14, "~"},
                                                 {16, "|"}, {22, "\""}, {28, "+"}, {41, "r"}};
    for (const auto& [code, symbol] : codes)
        EXPECT_EQ(TWfdbAnnotations::symbol(code), QLatin1String(symbol)) << code;
    for (int unnamed : {0, 15, 17, 42, 59, -1})
        EXPECT_EQ(TWfdbAnnotations::symbol(unnamed), QString()) << unnamed;
}

TEST(WfdbAnnotations, MalformedFilesAreRefusedWithTheirName)
{
    const struct {
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {AnnotationBytes().word(1, 5).bytes().append('\x01'), "100.atr, byte 2: the file ends inside a word"},
        {AnnotationBytes().word(59, 0).bytes().append(3, '\0'), "100.atr, byte 2: the file ends inside a SKIP interval"},
        {AnnotationBytes().word(1, 5).word(63, 4).bytes().append("abc"), "the file ends inside AUX text"},
        {AnnotationBytes().word(61, 1).end(), "100.atr, byte 2: SUB before the first annotation"},
        {AnnotationBytes().aux("x").end(), "AUX before the first annotation"},
    };
    for (const auto& c : cases) {
        const std::string message = thrownMessage([&] { TWfdbAnnotations::decode(c.bytes, QStringLiteral("100.atr")); });
        EXPECT_NE(message.find(c.message), std::string::npos) << c.bytes.toHex(' ').toStdString() << "\n  gave: " << message;
    }
    const std::string missing = thrownMessage([] { TWfdbAnnotations::read(QStringLiteral("/nonexistent/100.atr")); });
    EXPECT_NE(missing.find("Cannot open WFDB annotation file /nonexistent/100.atr"), std::string::npos) << missing;
}

TEST(WfdbAnnotations, InvalidAnnotationsAreNotWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rec.atr"));
    const std::vector<TWfdbAnnotation> good = {annotation(10, 1)};
    TWfdbAnnotations::write(path, good);
    const QByteArray before = readAll(path);

    const struct {
        std::vector<TWfdbAnnotation> annotations;
        const char* message;
    } cases[] = {
        {{annotation(10, 1), annotation(9, 1)}, "annotation 2: sample 9 comes before the previous annotation's 10"},
        {{annotation(-1, 1)}, "annotation 1: sample -1 comes before"},
        {{annotation(1, 0)}, "annotation 1: code 0 is not between 1 and 58"},
        {{annotation(1, 59)}, "code 59 is not between 1 and 58"},
        {{annotation(1, 1, 128)}, "subtype 128 is not between -128 and 127"},
        {{annotation(1, 1, 0, 256)}, "channel 256 is not between 0 and 255"},
        {{annotation(1, 1, 0, 0, -129)}, "number -129 is not between -128 and 127"},
        {{annotation(1, 1, 0, 0, 0, QString(256, QLatin1Char('x')))}, "aux text is not Latin-1 text of up to 255 bytes"},
        {{annotation(1, 1, 0, 0, 0, QString::fromUtf8("\xe2\x82\xac"))}, "aux text is not Latin-1"},
    };
    for (const auto& c : cases) {
        const std::string message = thrownMessage([&] { TWfdbAnnotations::write(path, c.annotations); });
        EXPECT_NE(message.find(c.message), std::string::npos) << c.message << "\n  gave: " << message;
        EXPECT_EQ(readAll(path), before);
    }
    const std::string unwritable =
        thrownMessage([&] { TWfdbAnnotations::write(dir.filePath(QStringLiteral("no/such/folder/x.atr")), good); });
    EXPECT_NE(unwritable.find("Cannot write WFDB annotation file"), std::string::npos) << unwritable;
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("rec.atr")});
}
