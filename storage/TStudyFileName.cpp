#include "storage/TStudyFileName.h"

#include "storage/TStudyInfo.h"

namespace {

bool isUnsafe(QChar c)
{
    const ushort code = c.unicode();
    if (code < 0x20 || code == 0x7f)
        return true;
    switch (code) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return false;
    }
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

} // namespace

namespace TStudyFileName {

QString sanitisedPart(const QString& part, int maxBytes)
{
    // Every character takes at least one byte: look no further than that.
    const QString head = part.left(maxBytes + 1);
    QString safe;
    safe.reserve(head.size());
    for (int i = 0; i < head.size(); ++i) {
        QChar c = head.at(i);
        if (c.isHighSurrogate() && i + 1 < head.size() && head.at(i + 1).isLowSurrogate()) {
            safe.append(c);
            safe.append(head.at(++i));
            continue;
        }
        if (c.isSurrogate() || isUnsafe(c) || (c == QLatin1Char('.') && safe.endsWith(QLatin1Char('.'))))
            c = QLatin1Char('_');
        safe.append(c);
    }
    // Cut on a character boundary to the byte bound.
    while (safe.toUtf8().size() > maxBytes) {
        int cut = safe.size() - 1;
        if (cut > 0 && safe.at(cut).isLowSurrogate())
            --cut;
        safe.truncate(cut);
    }
    return safe;
}

std::string baseFilename(const TStudyInfo& info)
{
    QString name = sanitisedPart(fromUtf8(info.lastName), MaxNameBytes) + QLatin1Char('-')
                   + sanitisedPart(fromUtf8(info.firstName), MaxNameBytes) + QLatin1Char('-')
                   + sanitisedPart(fromUtf8(info.studyDateTime), MaxDateTimeBytes);
    for (int i = 0; i < name.size() && name.at(i) == QLatin1Char('.'); ++i)
        name[i] = QLatin1Char('_');
    return name.toUtf8().toStdString();
}

bool isSafeBaseFilename(const std::string& name)
{
    if (name.empty() || int(name.size()) > MaxBaseBytes)
        return false;
    const QString text = fromUtf8(name);
    if (text.toUtf8().toStdString() != name)
        return false;  // not valid UTF-8
    if (text.startsWith(QLatin1Char('.')) || text.contains(QLatin1String("..")))
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isUnsafe(c))
            return false;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            return false;
    }
    return true;
}

bool staysInFolder(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '/' || c == '\\')
            return false;
    }
    return true;
}

QString studyPath(const QString& folder, const QString& baseName, const QString& extension)
{
    return QStringLiteral("%1/%2.%3").arg(folder, baseName, extension);
}

} // namespace TStudyFileName
