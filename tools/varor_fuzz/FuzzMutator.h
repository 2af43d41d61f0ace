#pragma once

#include <QByteArray>
#include <QString>

#include <random>

// Mutations of real inputs as users and their machines damage them: bytes
// flipped, runs overwritten or cut, files truncated, extreme values in the
// length and count fields of headers. Seeded, so a case number names its
// input.
class FuzzMutator
{
public:
    explicit FuzzMutator(unsigned seed) : m_random(seed) {}

    // 0 .. bound - 1 (0 for a bound not above 0).
    int below(int bound);
    bool chance(int percent) { return below(100) < percent; }

    // One to three byte-level mutations, most of them within the first
    // `hotEnd` bytes (headers, JSON, directories).
    QByteArray mutateBytes(QByteArray bytes, int hotEnd);
    // A text of lines and blank-separated fields (a WFDB header): a field
    // replaced by a hostile value, a line doubled or dropped, or bytes
    // mutated.
    QByteArray mutateFields(const QByteArray& text);
    // An EDF/BDF file: a fixed-width header field overwritten with a hostile
    // number, or bytes mutated.
    QByteArray mutateEdf(const QByteArray& file);

    // A value meant to break a parser: zero, negative, huge, not a number.
    QByteArray hostileNumber();

    // Header values no recording has, which must be refused, never taken
    // in: a WFDB signal line with an extreme or non-finite gain, a skew or
    // byte offset beyond any file, a baseline beyond 32 bits; an EDF file
    // with such a physical range or record duration.
    QByteArray extremeWfdbHeader(const QByteArray& text);
    QByteArray extremeEdf(const QByteArray& file);
    // An EDF+ file made plain EDF: its reserved field ("EDF+C") blanked,
    // so that its annotation signal reads as a signal of another rate.
    static QByteArray plainEdf(QByteArray file);
    // Bytes appended to a file: a run of 0xFF, of zeros or random bytes,
    // as a copy that went on too long or a foreign tail leaves them.
    QByteArray appendGarbage(QByteArray bytes, int unit);

private:
    QByteArray randomBytes(int count);

    std::mt19937 m_random;
};
