#pragma once

#include <QJSEngine>
#include <QJSValue>
#include <QString>

class TReportAggregates;

// Evaluates the texts of report template fields. A text is read left to
// right as literal text, parameter tokens "[name]" (replaced by the value
// the source answers) and expression tokens "<...>": "<Page>",
// "<TotalPages>", "<Date>", "<Time>" and "<LineNo>" are the counters, any
// other content is an ECMAScript expression whose parameters are
// substituted as literals before it runs.
class TReportExpression
{
public:
    // What the texts refer to: parameter values and the current counters.
    class Source
    {
    public:
        virtual ~Source() = default;
        virtual QString parameterText(const QString& name) = 0;
        virtual int page() const = 0;
        virtual int totalPages() const = 0;
        virtual int lineNo() const = 0;
    };

    // Script calls Sum(kind, name) reach `aggregates`, which must outlive
    // this object.
    TReportExpression(Source& source, TReportAggregates* aggregates);

    // The text with every token replaced; script results are formatted
    // with `format` (see formatNumber).
    QString evaluate(const QString& text, const QString& format = QString());
    // Runs a script after rewriting the aggregate calls and substituting
    // its parameters; numeric values are inserted as numbers, any other
    // value as a quoted string literal.
    QJSValue script(const QString& code);

    // "N" + pattern + decimals formats a number in fixed notation:
    // "# ###.##" (C locale, spaces between groups), "#,###.##" (C locale),
    // "# ###,##" (French) or "#.###,##" (German). Any other format, or a
    // text that is not a number, is returned unchanged.
    static QString formatNumber(const QString& text, const QString& format);

private:
    QString expressionToken(const QString& content, const QString& format);
    QString substituteParameters(const QString& code);

    Source& m_source;
    QJSEngine m_script;
};
