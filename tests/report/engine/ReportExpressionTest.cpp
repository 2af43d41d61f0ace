#include "FakeExpressionSource.h"

#include "report/engine/TReportAggregates.h"
#include "report/engine/TReportExpression.h"

#include <QDate>
#include <QTime>

#include <gtest/gtest.h>

namespace {

class ReportExpressionTest : public ::testing::Test
{
protected:
    QString eval(const QString& text, const QString& format = QString())
    {
        return expression.evaluate(text, format);
    }

    FakeExpressionSource source;
    TReportAggregates aggregates;
    TReportExpression expression{source, &aggregates};
};

TEST_F(ReportExpressionTest, ReplacesParametersAndKeepsLiteralText)
{
    source.values[QStringLiteral("beatMeasurement/PR")] = QStringLiteral("120");
    source.values[QStringLiteral("demo/patient/lastName")] = QStringLiteral("García");
    source.values[QStringLiteral("demo/patient/firstName")] = QStringLiteral("Ana");

    EXPECT_EQ(eval(QStringLiteral("Int PR: [beatMeasurement/PR] ms.")), QStringLiteral("Int PR: 120 ms."));
    EXPECT_EQ(eval(QStringLiteral("[demo/patient/lastName], [demo/patient/firstName]")),
              QStringLiteral("García, Ana"));
    EXPECT_EQ(eval(QStringLiteral("25 mm/seg - 10 mm/mV - Filtros:")),
              QStringLiteral("25 mm/seg - 10 mm/mV - Filtros:"));
    // An unanswered parameter prints nothing; unclosed brackets stay text.
    EXPECT_EQ(eval(QStringLiteral("a[unknown]b")), QStringLiteral("ab"));
    EXPECT_EQ(eval(QStringLiteral("[open and 3 < 4")), QStringLiteral("[open and 3 < 4"));
    EXPECT_EQ(source.requested,
              QStringList({QStringLiteral("beatMeasurement/PR"), QStringLiteral("demo/patient/lastName"),
                           QStringLiteral("demo/patient/firstName"), QStringLiteral("unknown")}));
}

TEST_F(ReportExpressionTest, AnswersAreNeverReadAsTokens)
{
    source.values[QStringLiteral("name")] = QStringLiteral("<Page> [name] <1+1>");
    EXPECT_EQ(eval(QStringLiteral("[name]")), QStringLiteral("<Page> [name] <1+1>"));
}

TEST_F(ReportExpressionTest, PageCountersAreWholeTokens)
{
    source.currentPage = 1;
    source.pages = 13;
    source.line = 7;
    EXPECT_EQ(eval(QStringLiteral("Pág. <Page> de <TotalPages>")), QStringLiteral("Pág. 1 de 13"));
    EXPECT_EQ(eval(QStringLiteral("<TotalPages>")), QStringLiteral("13"));
    EXPECT_EQ(eval(QStringLiteral("<TotalPages><Page>")), QStringLiteral("131"));
    EXPECT_EQ(eval(QStringLiteral("line <LineNo>")), QStringLiteral("line 7"));
}

TEST_F(ReportExpressionTest, DateAndTimeAreNow)
{
    const QDate dayBefore = QDate::currentDate();
    const QString date = eval(QStringLiteral("<Date>"));
    const QDate dayAfter = QDate::currentDate();
    EXPECT_TRUE(date == dayBefore.toString(QStringLiteral("dd.MM.yyyy")) ||
                date == dayAfter.toString(QStringLiteral("dd.MM.yyyy")))
        << date.toStdString();

    const QTime before = QTime::currentTime().addSecs(-1);
    const QTime time = QTime::fromString(eval(QStringLiteral("<Time>")), QStringLiteral("HH:mm:ss"));
    ASSERT_TRUE(time.isValid());
    EXPECT_LE(qAbs(before.secsTo(time)), 3);
}

TEST_F(ReportExpressionTest, ScriptParametersAreQuotedUnlessNumeric)
{
    source.values[QStringLiteral("n")] = QStringLiteral("41");
    source.values[QStringLiteral("name")] = QStringLiteral("Ana");
    source.values[QStringLiteral("zeros")] = QStringLiteral("010");
    source.values[QStringLiteral("quote")] = QStringLiteral("O'Brien\\");
    source.values[QStringLiteral("attack")] = QStringLiteral("x'+(hit=1)+'");

    EXPECT_EQ(eval(QStringLiteral("<[n] + 1>")), QStringLiteral("42"));
    EXPECT_EQ(eval(QStringLiteral("<[name] + '!'>")), QStringLiteral("Ana!"));
    EXPECT_EQ(eval(QStringLiteral("<typeof [name]>")), QStringLiteral("string"));
    EXPECT_EQ(eval(QStringLiteral("<[missing] === ''>")), QStringLiteral("true"));
    // Leading zeros are a decimal number, never octal.
    EXPECT_EQ(eval(QStringLiteral("<[zeros] + 0>")), QStringLiteral("10"));
    // Quotes and backslashes in a value stay inside its literal.
    EXPECT_EQ(eval(QStringLiteral("<[quote]>")), QStringLiteral("O'Brien\\"));
    EXPECT_EQ(eval(QStringLiteral("<[attack]>")), QStringLiteral("x'+(hit=1)+'"));
    EXPECT_EQ(eval(QStringLiteral("<typeof hit>")), QStringLiteral("undefined"));
    // Literal text around an expression token stays as written.
    EXPECT_EQ(eval(QStringLiteral("QTc: <[n] * 10> ms")), QStringLiteral("QTc: 410 ms"));
}

TEST_F(ReportExpressionTest, FormatsNumericScriptResults)
{
    source.values[QStringLiteral("v")] = QStringLiteral("1234.567");
    EXPECT_EQ(eval(QStringLiteral("<[v]>"), QStringLiteral("N# ###.##2")), QStringLiteral("1 234.57"));
    EXPECT_EQ(eval(QStringLiteral("<[v]>"), QStringLiteral("N#,###.##2")), QStringLiteral("1,234.57"));
    EXPECT_EQ(eval(QStringLiteral("<[v]>"), QStringLiteral("N#.###,##1")), QStringLiteral("1.234,6"));
    const QString french = eval(QStringLiteral("<[v]>"), QStringLiteral("N# ###,##2"));
    EXPECT_TRUE(french.startsWith(QLatin1Char('1')) && french.endsWith(QStringLiteral("234,57")) &&
                french.at(1).isSpace())
        << french.toStdString();
    EXPECT_EQ(eval(QStringLiteral("<[v] * 2>"), QStringLiteral("N# ###.##0")), QStringLiteral("2 469"));
    // Other formats, parameters outside scripts and non-numbers are left alone.
    EXPECT_EQ(eval(QStringLiteral("<[v]>"), QStringLiteral("dd.MM")), QStringLiteral("1234.567"));
    EXPECT_EQ(eval(QStringLiteral("[v]"), QStringLiteral("N#,###.##2")), QStringLiteral("1234.567"));
    EXPECT_EQ(eval(QStringLiteral("<'abc'>"), QStringLiteral("N#,###.##2")), QStringLiteral("abc"));
}

TEST_F(ReportExpressionTest, AggregatesSumTheCollectedRecordValues)
{
    const QString price = QStringLiteral("price");
    aggregates.collect(0, price, 0, 0, 10);
    aggregates.collect(0, price, 1, 0, 20);
    aggregates.collect(0, price, 2, 1, 30);
    aggregates.collect(0, price, 2, 1, 30); // the same record laid out again
    aggregates.collect(1, price, 0, -1, 1000); // another template page
    aggregates.setScope(0, -1);

    EXPECT_EQ(eval(QStringLiteral("<Sum([price])>")), QStringLiteral("60"));
    EXPECT_EQ(eval(QStringLiteral("<Avg([price])>")), QStringLiteral("20"));
    EXPECT_EQ(eval(QStringLiteral("<Count([price])>")), QStringLiteral("3"));
    EXPECT_EQ(eval(QStringLiteral("<Sum('price') / Count('price')>")), QStringLiteral("20"));
    // The aggregate names its parameter: the value itself is not requested.
    EXPECT_TRUE(source.requested.isEmpty());

    aggregates.setScope(0, 1);
    EXPECT_EQ(eval(QStringLiteral("<Sum([price])>")), QStringLiteral("30"));
    aggregates.setScope(1, -1);
    EXPECT_EQ(eval(QStringLiteral("<Sum([price])>")), QStringLiteral("1000"));
}

} // namespace
