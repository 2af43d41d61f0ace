#include "report/engine/TReportAggregates.h"

TReportAggregates::TReportAggregates(QObject* parent) : QObject(parent) {}

void TReportAggregates::clear()
{
    m_values.clear();
}

void TReportAggregates::collect(int templatePage, const QString& name, int recNo, int group,
                                const QVariant& value)
{
    m_values[templatePage][name].insert(recNo, Entry{group, value});
}

void TReportAggregates::setScope(int templatePage, int group)
{
    m_templatePage = templatePage;
    m_group = group;
}

double TReportAggregates::Sum(int kind, const QString& name) const
{
    const QMap<int, Entry> records = m_values.value(m_templatePage).value(name);
    double total = 0;
    int count = 0;
    for (const Entry& entry : records) {
        if (m_group >= 0 && entry.group != m_group)
            continue;
        total += entry.value.toDouble();
        ++count;
    }
    switch (kind) {
    case Total:
        return total;
    case Mean:
        return count > 0 ? total / count : 0;
    case Count:
        return count;
    default:
        return 0;
    }
}
