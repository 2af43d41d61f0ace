#pragma once

#include <QTextCodec>

// The process's local 8-bit codec made lossless: UTF-8 for every valid
// sequence, and each byte that is not part of one kept as the private-use
// character U+EF80 + (byte - 0x80), which encodes back to that byte. Qt
// decodes file names, command-line arguments and directory listings with
// the local codec; with plain UTF-8 a name holding such a byte (written by
// a Latin-1 system, or a damaged one) became U+FFFD and could never be
// opened again. Valid UTF-8 text converts exactly as before.
class TFileNameCodec final : public QTextCodec
{
public:
    // Makes the codec the local one (Qt owns and deletes it at exit). Call
    // it before the first use of the command-line arguments.
    static void install();

    QByteArray name() const override;
    int mibEnum() const override;

protected:
    QString convertToUnicode(const char* in, int length, ConverterState* state) const override;
    QByteArray convertFromUnicode(const QChar* in, int length, ConverterState* state) const override;

private:
    TFileNameCodec() = default;
};
