#include "analysis/signal/TWaveMarks.h"

namespace {

std::string keyOf(const QString& name)
{
    return name.toStdString();
}

} // namespace

TWaveMarks::TWaveMarks()
{
    for (const char* name : {"POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset", "TOnset", "TOffset", "avgRRInterval"})
        insert(QString::fromLatin1(name), TWaveMark::SingleValue);
}

TWaveMarks::TWaveMarks(const TWaveMarks& other)
{
    for (const auto& [key, mark] : other.m_marks)
        m_marks.emplace(key, std::make_unique<TWaveMark>(*mark));
}

TWaveMarks& TWaveMarks::operator=(const TWaveMarks& other)
{
    if (this != &other) {
        TWaveMarks copy(other);
        m_marks.swap(copy.m_marks);
        m_cursor.clear();
    }
    return *this;
}

TWaveMarks::~TWaveMarks() = default;

TWaveMark* TWaveMarks::find(const QString& name)
{
    const auto at = m_marks.find(keyOf(name));
    return at != m_marks.end() ? at->second.get() : nullptr;
}

const TWaveMark* TWaveMarks::find(const QString& name) const
{
    return const_cast<TWaveMarks*>(this)->find(name);
}

TWaveMark& TWaveMarks::insert(const QString& name, TWaveMark::Kind kind)
{
    std::unique_ptr<TWaveMark>& slot = m_marks[keyOf(name)];
    slot = std::make_unique<TWaveMark>(name, kind);
    return *slot;
}

QString TWaveMarks::firstName() const
{
    return nameAt(m_marks.begin());
}

QString TWaveMarks::nextName() const
{
    return nameAt(m_marks.upper_bound(m_cursor));
}

QString TWaveMarks::nameAt(Map::const_iterator at) const
{
    if (at == m_marks.end()) {
        // Past the end: park the cursor beyond every key.
        m_cursor.assign(1, '\xff');
        return QString();
    }
    m_cursor = at->first;
    return at->second->name();
}
