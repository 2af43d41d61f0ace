#include "report/engine/TReportExpression.h"

#include "report/engine/TReportAggregates.h"

#include <QDateTime>
#include <QLocale>
#include <QQmlEngine>
#include <QRegularExpression>

#include <cmath>

namespace {

// A JavaScript string literal holding `text` verbatim, so that a value
// such as a patient's name can never end the literal and inject script.
QString stringLiteral(const QString& text)
{
    QString literal = QStringLiteral("'");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': literal += QLatin1String("\\\\"); break;
        case '\'': literal += QLatin1String("\\'"); break;
        case '\n': literal += QLatin1String("\\n"); break;
        case '\r': literal += QLatin1String("\\r"); break;
        case 0x2028: literal += QLatin1String("\\u2028"); break;
        case 0x2029: literal += QLatin1String("\\u2029"); break;
        default: literal += c;
        }
    }
    return literal + QLatin1Char('\'');
}

// A parameter value as script source: a finite number as a number literal
// (written out in full, so that leading zeros never read as octal), any
// other value as a string literal.
QString scriptLiteral(const QString& value)
{
    bool numeric = false;
    const double number = value.toDouble(&numeric);
    if (numeric && std::isfinite(number))
        return QString::number(number, 'g', 17);
    return stringLiteral(value);
}

// "Sum(", "Avg(" and "Count(" become "Sum(0,", "Sum(1," and "Sum(2,"; a
// parameter written as the first argument, as in Sum([price]), names the
// parameter and becomes its name as a string.
QString rewriteAggregates(const QString& code)
{
    static const QRegularExpression call(
        QStringLiteral("(?<![\\w.$])(Sum|Avg|Count)\\(\\s*(?:\\[([^\\]]*)\\])?"));
    QString result;
    int copied = 0;
    auto matches = call.globalMatch(code);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString function = match.captured(1);
        const int kind = function == QLatin1String("Sum") ? TReportAggregates::Total
                         : function == QLatin1String("Avg") ? TReportAggregates::Mean
                                                             : TReportAggregates::Count;
        result += code.midRef(copied, match.capturedStart() - copied);
        result += QStringLiteral("Sum(%1,").arg(kind);
        if (match.capturedStart(2) >= 0)
            result += stringLiteral(match.captured(2));
        copied = match.capturedEnd();
    }
    return result + code.midRef(copied);
}

QString formatWithLocale(double number, int decimals, const QString& pattern)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::NumberOptions());
    if (pattern == QLatin1String("# ###.##"))
        return c.toString(number, 'f', decimals).replace(c.groupSeparator(), QLatin1String(" "));
    if (pattern == QLatin1String("#,###.##"))
        return c.toString(number, 'f', decimals);
    if (pattern == QLatin1String("# ###,##"))
        return QLocale(QLocale::French, QLocale::France).toString(number, 'f', decimals);
    if (pattern == QLatin1String("#.###,##"))
        return QLocale(QLocale::German, QLocale::Germany).toString(number, 'f', decimals);
    return QString();
}

} // namespace

TReportExpression::TReportExpression(Source& source, TReportAggregates* aggregates)
    : m_source(source)
{
    // The aggregates belong to the caller; the script engine must never
    // collect them.
    QQmlEngine::setObjectOwnership(aggregates, QQmlEngine::CppOwnership);
    m_script.globalObject().setProperty(QStringLiteral("__aggregates"),
                                        m_script.newQObject(aggregates));
    m_script.evaluate(
        QStringLiteral("function Sum(kind, name) { return __aggregates.Sum(kind, name); }"));
}

QString TReportExpression::evaluate(const QString& text, const QString& format)
{
    QString result;
    int at = 0;
    while (at < text.size()) {
        const QChar c = text.at(at);
        const QChar closing = c == QLatin1Char('[')   ? QLatin1Char(']')
                              : c == QLatin1Char('<') ? QLatin1Char('>')
                                                      : QChar();
        const int end = closing.isNull() ? -1 : text.indexOf(closing, at + 1);
        if (end < 0) {
            result += c;
            ++at;
            continue;
        }
        const QString content = text.mid(at + 1, end - at - 1);
        result += c == QLatin1Char('[') ? m_source.parameterText(content)
                                        : expressionToken(content, format);
        at = end + 1;
    }
    return result;
}

QJSValue TReportExpression::script(const QString& code)
{
    return m_script.evaluate(substituteParameters(rewriteAggregates(code)));
}

QString TReportExpression::expressionToken(const QString& content, const QString& format)
{
    const QString name = content.trimmed();
    if (name == QLatin1String("Page"))
        return QString::number(m_source.page());
    if (name == QLatin1String("TotalPages"))
        return QString::number(m_source.totalPages());
    if (name == QLatin1String("Date"))
        return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    if (name == QLatin1String("Time"))
        return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    if (name == QLatin1String("LineNo"))
        return QString::number(m_source.lineNo());
    return formatNumber(script(content).toString(), format);
}

QString TReportExpression::substituteParameters(const QString& code)
{
    QString result;
    int at = 0;
    while (at < code.size()) {
        const int open = code.indexOf(QLatin1Char('['), at);
        const int close = open < 0 ? -1 : code.indexOf(QLatin1Char(']'), open + 1);
        if (close < 0)
            break;
        result += code.midRef(at, open - at);
        result += scriptLiteral(m_source.parameterText(code.mid(open + 1, close - open - 1)));
        at = close + 1;
    }
    return result + code.midRef(at);
}

QString TReportExpression::formatNumber(const QString& text, const QString& format)
{
    static const QRegularExpression numberFormat(QStringLiteral("^N(.+)(\\d)$"));
    const QRegularExpressionMatch match = numberFormat.match(format);
    bool numeric = false;
    const double number = text.toDouble(&numeric);
    if (!match.hasMatch() || !numeric)
        return text;
    const QString formatted = formatWithLocale(number, match.captured(2).toInt(), match.captured(1));
    return formatted.isEmpty() ? text : formatted;
}
