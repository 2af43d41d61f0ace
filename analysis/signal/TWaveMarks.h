#pragma once

#include "analysis/signal/TWaveMark.h"

#include <QString>

#include <map>
#include <memory>
#include <string>

// The named results of an averaged beat, ordered by byte-wise comparison of
// the names' UTF-8 form. A new registry holds the eight single-value entries
// "POnset", "POffset", "PPeak", "QRSOnset", "QRSOffset", "TOnset", "TOffset"
// and "avgRRInterval", all 0. Copies are deep.
class TWaveMarks
{
    using Map = std::map<std::string, std::unique_ptr<TWaveMark>>;

public:
    // Iterates the marks in name order.
    class const_iterator
    {
    public:
        explicit const_iterator(Map::const_iterator at) : m_at(at) {}
        const TWaveMark& operator*() const { return *m_at->second; }
        const TWaveMark* operator->() const { return m_at->second.get(); }
        const_iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }
        bool operator!=(const const_iterator& other) const { return m_at != other.m_at; }

    private:
        Map::const_iterator m_at;
    };

    TWaveMarks();
    TWaveMarks(const TWaveMarks& other);
    TWaveMarks& operator=(const TWaveMarks& other);
    TWaveMarks(TWaveMarks&&) noexcept = default;
    TWaveMarks& operator=(TWaveMarks&&) noexcept = default;
    ~TWaveMarks();

    int count() const { return int(m_marks.size()); }
    // nullptr when no entry has that name.
    TWaveMark* find(const QString& name);
    const TWaveMark* find(const QString& name) const;
    // Adds an entry, replacing any entry of the same name.
    TWaveMark& insert(const QString& name, TWaveMark::Kind kind);

    const_iterator begin() const { return const_iterator(m_marks.begin()); }
    const_iterator end() const { return const_iterator(m_marks.end()); }

    // Cursor over the names in order: firstName() restarts it, nextName()
    // moves on; both answer an empty name past the last entry.
    QString firstName() const;
    QString nextName() const;

private:
    QString nameAt(Map::const_iterator at) const;

    Map m_marks;
    // The name the cursor stands on, so copies and insertions never leave
    // it dangling.
    mutable std::string m_cursor;
};
