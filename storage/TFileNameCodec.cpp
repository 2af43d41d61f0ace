#include "storage/TFileNameCodec.h"

#include <QString>

namespace {

// Byte b (>= 0x80) outside a valid sequence <-> the private-use character
// U+EF00 + b. Being valid UTF-16, such names also match wildcard filters.
// A valid sequence for one of those characters is itself escaped byte by
// byte, so that decoding stays one to one.
constexpr char16_t EscapeBase = 0xEF00;
constexpr char32_t FirstEscape = EscapeBase + 0x80;
constexpr char32_t LastEscape = EscapeBase + 0xFF;

// The length of the valid UTF-8 sequence starting at `in` (at most `length`
// bytes available): 1 to 4, 0 when it is invalid, -1 when it is a valid
// prefix cut off by the end of the input.
int sequenceLength(const unsigned char* in, int length, char32_t& codePoint)
{
    const unsigned char lead = in[0];
    int needed = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    for (int k = 1; k <= needed; ++k) {
        if (k >= length)
            return -1;
        if ((in[k] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (in[k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are invalid.
    if (codePoint < minimum || (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
        return 0;
    return needed + 1;
}

void appendCodePoint(QString& out, char32_t codePoint)
{
    if (codePoint >= 0x10000) {
        out += QChar(QChar::highSurrogate(codePoint));
        out += QChar(QChar::lowSurrogate(codePoint));
    } else {
        out += QChar(char16_t(codePoint));
    }
}

void appendUtf8(QByteArray& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += char(0xE0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xF0 | (codePoint >> 18));
        out += char(0x80 | ((codePoint >> 12) & 0x3F));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

} // namespace

void TFileNameCodec::install()
{
    setCodecForLocale(new TFileNameCodec);
}

QByteArray TFileNameCodec::name() const
{
    return QByteArrayLiteral("UTF-8 with escaped bytes");
}

int TFileNameCodec::mibEnum() const
{
    return -0x5558; // registered nowhere, so no other codec claims it
}

// A stateful conversion (a stream read in pieces) keeps a valid sequence
// cut off at the end of a piece, up to 3 bytes, for the next piece.
QString TFileNameCodec::convertToUnicode(const char* in, int length, ConverterState* state) const
{
    QByteArray bytes;
    if (state != nullptr && state->remainingChars > 0) {
        for (int k = 0; k < state->remainingChars; ++k)
            bytes += char(state->state_data[k]);
        state->remainingChars = 0;
    }
    bytes.append(in, length);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int size = bytes.size();
    QString out;
    out.reserve(size);
    for (int at = 0; at < size;) {
        char32_t codePoint = 0;
        const int sequence = sequenceLength(data + at, size - at, codePoint);
        if (sequence > 0 && (codePoint < FirstEscape || codePoint > LastEscape)) {
            appendCodePoint(out, codePoint);
            at += sequence;
        } else if (sequence < 0 && state != nullptr) {
            state->remainingChars = size - at;
            for (int k = 0; at < size; ++k, ++at)
                state->state_data[k] = data[at];
        } else {
            out += QChar(char16_t(EscapeBase + data[at]));
            ++at;
        }
    }
    return out;
}

// A stateful conversion keeps a high surrogate that ends a piece for the
// low one that starts the next.
QByteArray TFileNameCodec::convertFromUnicode(const QChar* in, int length, ConverterState* state) const
{
    QString text;
    if (state != nullptr && state->remainingChars > 0) {
        text += QChar(char16_t(state->state_data[0]));
        state->remainingChars = 0;
    }
    text.append(in, length);
    QByteArray out;
    out.reserve(text.size() * 3);
    for (int at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
            appendUtf8(out, QChar::surrogateToUcs4(c, text.at(at + 1)));
            ++at;
        } else if (c.isHighSurrogate() && at + 1 == text.size() && state != nullptr) {
            state->remainingChars = 1;
            state->state_data[0] = c.unicode();
        } else if (c.unicode() >= FirstEscape && c.unicode() <= LastEscape) {
            out += char(c.unicode() - EscapeBase);
        } else if (c.isSurrogate()) {
            out += state != nullptr && state->flags & ConvertInvalidToNull ? '\0' : '?';
            if (state != nullptr)
                ++state->invalidChars;
        } else {
            appendUtf8(out, c.unicode());
        }
    }
    return out;
}
