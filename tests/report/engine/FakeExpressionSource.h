#pragma once

#include "report/engine/TReportExpression.h"

#include <QMap>
#include <QStringList>

// Parameter values and counters for expression tests, recording which
// parameters were requested.
class FakeExpressionSource : public TReportExpression::Source
{
public:
    QString parameterText(const QString& name) override
    {
        requested.append(name);
        return values.value(name);
    }
    int page() const override { return currentPage; }
    int totalPages() const override { return pages; }
    int lineNo() const override { return line; }

    QMap<QString, QString> values;
    QStringList requested;
    int currentPage = 1;
    int pages = 1;
    int line = 1;
};
