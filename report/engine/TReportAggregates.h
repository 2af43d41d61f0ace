#pragma once

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

// The parameter values answered for the records of each template page, and
// the aggregate function that template scripts call as Sum(kind, name):
// kind 0 is the total, 1 the mean and 2 the count of the values collected
// for that parameter on the current template page, limited to one group
// when a group scope is set. A value is kept once per record, so laying a
// record out several times collects it once.
class TReportAggregates : public QObject
{
    Q_OBJECT
public:
    enum Kind { Total = 0, Mean = 1, Count = 2 };

    explicit TReportAggregates(QObject* parent = nullptr);

    void clear();
    void collect(int templatePage, const QString& name, int recNo, int group, const QVariant& value);
    // The template page and group (-1 for every group) that Sum reads.
    void setScope(int templatePage, int group);

    Q_INVOKABLE double Sum(int kind, const QString& name) const;

private:
    struct Entry
    {
        int group;
        QVariant value;
    };

    QHash<int, QHash<QString, QMap<int, Entry>>> m_values;
    int m_templatePage = 0;
    int m_group = -1;
};
