// The lossless local codec: any bytes come back unchanged, valid UTF-8
// decodes as UTF-8 does, and a stream decoded piece by piece (as
// QTextStream does with the local codec) gives what decoding it whole gives.
#include "storage/TFileNameCodec.h"

#include <QTextDecoder>
#include <QTextEncoder>

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(FileNameCodec, BytesComeBackAndUtf8DecodesAsUtf8WholeOrInPieces)
{
    TFileNameCodec::install();
    QTextCodec* codec = QTextCodec::codecForLocale();
    const QByteArray utf8 = QStringLiteral("N\u00fa\u00f1ez \u20ac \U0001F600 rec").toUtf8();
    EXPECT_EQ(codec->toUnicode(utf8), QString::fromUtf8(utf8));
    // A name holding the private-use character the escapes use is kept too.
    const QByteArray samples[] = {utf8, QByteArrayLiteral("s\xff\xe9-rec"), QByteArrayLiteral("\xee\xbe\x80\xed\xb2\x80"),
                                  QByteArrayLiteral("\xf0\x9f\x98"), QByteArrayLiteral("\xc0\xaf\xe0\x80\xaf")};
    std::mt19937 random(7);
    std::vector<QByteArray> inputs(std::begin(samples), std::end(samples));
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes(int(random() % 24), '\0');
        for (char& byte : bytes)
            byte = char(random() % 4 == 0 ? 0xC0 + random() % 0x40 : random() % 256);
        inputs.push_back(bytes + utf8.left(int(random() % utf8.size())));
    }
    for (const QByteArray& bytes : inputs) {
        const QString whole = codec->toUnicode(bytes);
        EXPECT_EQ(codec->fromUnicode(whole), bytes) << bytes.toHex().constData();
        // A stream ends with a complete sequence, else its cut tail waits.
        const QByteArray stream = bytes + '.';
        QTextDecoder decoder(codec);
        QTextEncoder encoder(codec);
        QString pieces;
        QByteArray encoded;
        for (int at = 0; at < stream.size(); at += 3)
            pieces += decoder.toUnicode(stream.mid(at, 3));
        EXPECT_EQ(pieces, whole + QLatin1Char('.')) << bytes.toHex().constData();
        for (int at = 0; at < pieces.size(); at += 3)
            encoded += encoder.fromUnicode(pieces.mid(at, 3));
        EXPECT_EQ(encoded, stream) << bytes.toHex().constData();
    }
}

} // namespace
