#include "FuzzMutator.h"

#include <QList>

#include <algorithm>

namespace {

// EDF header: 256 bytes of fixed fields, then 256 per signal. Offsets and
// widths of the numeric fields worth breaking.
struct EdfField
{
    int offset;
    int width;
};
constexpr EdfField EdfFields[] = {{184, 8}, {236, 8}, {244, 8}, {252, 4}};
// Per-signal numeric fields, as offsets from the start of their block for
// ns signals: physical min/max, digital min/max (8 wide) and samples per
// record (8 wide), counted in blocks of ns entries.
constexpr int EdfSignalFieldBlocks[] = {104, 112, 120, 128, 216};
constexpr int EdfReservedOffset = 192;
constexpr int EdfReservedWidth = 44;
constexpr int EdfDurationOffset = 244;
// Physical minimum and maximum, in blocks of ns entries.
constexpr int EdfPhysicalBlocks[] = {104, 112};

// Values that no field of a recording's header may hold.
const char* const ExtremeGains[] = {"nan", "inf", "-inf", "1e-300", "1e308", "-200"};
const char* const ExtremeOffsets[] = {"4294967196", "2147483648", "4294967295", "99999999999"};
const char* const ExtremeBaselines[] = {"99999999999", "-99999999999", "4294967296"};
const char* const ExtremeEdfNumbers[] = {"1e308", "-1e308", "nan", "inf"};

template <std::size_t N>
QByteArray pick(FuzzMutator& mutator, const char* const (&values)[N])
{
    return QByteArray(values[mutator.below(int(N))]);
}

} // namespace

int FuzzMutator::below(int bound)
{
    return bound <= 0 ? 0 : int(m_random() % unsigned(bound));
}

QByteArray FuzzMutator::randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    for (char& byte : bytes)
        byte = char(below(256));
    return bytes;
}

QByteArray FuzzMutator::hostileNumber()
{
    static const char* const values[] = {"0", "-1", "1", "-2147483648", "2147483647", "2147483648",
                                         "99999999999999999999", "1e308", "-1e308", "nan", "inf", "0.0000001",
                                         "", "x", "1/0", "16x99999", "4294967296", "65536", "3", "7"};
    return QByteArray(values[below(int(std::size(values)))]);
}

QByteArray FuzzMutator::mutateBytes(QByteArray bytes, int hotEnd)
{
    const int rounds = 1 + below(3);
    for (int round = 0; round < rounds; ++round) {
        const int span = bytes.isEmpty() ? 1 : (below(4) == 0 ? bytes.size() : std::min(bytes.size(), std::max(1, hotEnd)));
        const int at = below(span);
        switch (below(6)) {
        case 0:
            bytes.truncate(at);
            break;
        case 1:
            for (int flips = 1 + below(8); flips > 0 && !bytes.isEmpty(); --flips) {
                const int where = below(span);
                if (where < bytes.size())
                    bytes[where] = char(bytes[where] ^ (1 << below(8)));
            }
            break;
        case 2:
            for (int i = at, n = 1 + below(16); i < bytes.size() && n > 0; ++i, --n)
                bytes[i] = char(below(256));
            break;
        case 3:
            bytes.insert(at, randomBytes(1 + below(32)));
            break;
        case 4:
            bytes.remove(at, 1 + below(32));
            break;
        default:
            // An extreme length or count: four bytes of all ones or zeros.
            for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
                bytes[at + i] = char(below(2) ? 0xff : 0x00);
            break;
        }
    }
    return bytes;
}

QByteArray FuzzMutator::mutateFields(const QByteArray& text)
{
    if (chance(20))
        return mutateBytes(text, text.size());
    QList<QByteArray> lines = text.split('\n');
    const int line = below(std::min(int(lines.size()), 4) > 0 && chance(50) ? 1 : int(lines.size()));
    switch (below(4)) {
    case 0:
        lines.insert(line, lines.value(line));
        break;
    case 1:
        if (!lines.isEmpty())
            lines.removeAt(line);
        break;
    default: {
        QList<QByteArray> fields = lines.value(line).split(' ');
        const int field = below(int(fields.size()));
        if (field < fields.size())
            fields[field] = chance(70) ? hostileNumber() : fields[field] + "/" + hostileNumber();
        if (line < lines.size())
            lines[line] = fields.join(' ');
        break;
    }
    }
    return lines.join('\n');
}

QByteArray FuzzMutator::extremeWfdbHeader(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    // A signal line: after the record line, not a comment.
    QList<int> signalLines;
    for (int i = 1; i < lines.size(); ++i) {
        if (!lines[i].startsWith('#') && lines[i].split(' ').size() >= 3)
            signalLines << i;
    }
    if (signalLines.isEmpty())
        return text;
    const int line = signalLines[below(int(signalLines.size()))];
    QList<QByteArray> fields = lines[line].split(' ');
    switch (below(3)) {
    case 0:
        fields[2] = pick(*this, ExtremeGains);
        break;
    case 1:
        fields[1] += (chance(50) ? ":" : "+") + pick(*this, ExtremeOffsets);
        break;
    default:
        fields[2] += "(" + pick(*this, ExtremeBaselines) + ")";
        break;
    }
    lines[line] = fields.join(' ');
    return lines.join('\n');
}

QByteArray FuzzMutator::extremeEdf(const QByteArray& file)
{
    if (file.size() < 256)
        return file;
    QByteArray bytes = file;
    const int signals = std::max(1, bytes.mid(252, 4).trimmed().toInt());
    int offset = EdfDurationOffset;
    if (chance(70))
        offset = 256 + EdfPhysicalBlocks[below(2)] * signals + 8 * below(signals);
    QByteArray value = pick(*this, ExtremeEdfNumbers);
    value.append(QByteArray(8 - value.size(), ' '));
    if (offset + 8 <= bytes.size())
        bytes.replace(offset, 8, value);
    return bytes;
}

QByteArray FuzzMutator::plainEdf(QByteArray file)
{
    if (file.size() >= EdfReservedOffset + EdfReservedWidth)
        file.replace(EdfReservedOffset, EdfReservedWidth, QByteArray(EdfReservedWidth, ' '));
    return file;
}

QByteArray FuzzMutator::appendGarbage(QByteArray bytes, int unit)
{
    const int count = chance(50) ? unit * (1 + below(3)) : 1 + below(4 * unit);
    switch (below(3)) {
    case 0:
        return bytes.append(QByteArray(count, char(0xff)));
    case 1:
        return bytes.append(QByteArray(count, '\0'));
    default:
        return bytes.append(randomBytes(count));
    }
}

QByteArray FuzzMutator::mutateEdf(const QByteArray& file)
{
    if (file.size() < 256 || chance(30))
        return mutateBytes(file, std::min(file.size(), 256 + 256 * 16));
    QByteArray bytes = file;
    const int signals = std::max(1, bytes.mid(252, 4).trimmed().toInt());
    EdfField field = EdfFields[below(int(std::size(EdfFields)))];
    if (chance(50)) {
        const int block = EdfSignalFieldBlocks[below(int(std::size(EdfSignalFieldBlocks)))];
        field = {256 + block * signals + 8 * below(signals), 8};
    }
    QByteArray value = hostileNumber().left(field.width);
    value.append(QByteArray(field.width - value.size(), ' '));
    if (field.offset + field.width <= bytes.size())
        bytes.replace(field.offset, field.width, value);
    return bytes;
}
