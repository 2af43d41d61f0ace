// The report data provider on a real study of the demo recording: the
// values it answers, and the PDF it writes read back with poppler's tools.
#include "ReportTestSupport.h"
#include "engine/PdfTools.h"

#include "analysis/latepotentials/TLatePotentials.h"
#include "report/THRECGReport.h"
#include "settings/TSettings.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSizeF>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ReportProviderTest : public ::testing::Test
{
protected:
    std::unique_ptr<THRECGReport> makeReport(const TReportOptions& options = TReportOptions())
    {
        auto report = std::make_unique<THRECGReport>(demo.study(), &demo.latePotentials());
        report->setOptions(options);
        report->setOpenPdf(false);
        return report;
    }

    QVariant value(THRECGReport& report, const QString& name, const QVariant& initial = QVariant())
    {
        int recNo = 0;
        QString paramName = name;
        QVariant paramValue = initial;
        report.reportValue(recNo, paramName, paramValue, 0);
        return paramValue;
    }

    QStringList measurements()
    {
        const std::unique_ptr<THRECGReport> report = makeReport();
        QStringList texts;
        for (const char* key : {"PR", "QRS", "QT", "QTc", "RR"})
            texts.append(value(*report, QStringLiteral("beatMeasurement/") + QLatin1String(key)).toString());
        return texts;
    }

    // Writes the report into the temporary folder and answers its path.
    QString writePdf(const TReportOptions& options, const QString& name = QStringLiteral("report"))
    {
        const QString path = QDir(demo.reportsFolder()).filePath(name + QStringLiteral(".pdf"));
        QDir().mkpath(demo.reportsFolder());
        makeReport(options)->saveReportPdf(path);
        return path;
    }

    static TReportOptions firstPageOnly(int layout = TReportOptions::Layout12by1)
    {
        TReportOptions options;
        options.layout = layout;
        options.printAverageMeasures = false;
        options.printLeadAverage = false;
        options.printLatePotentials = false;
        return options;
    }

    static bool isLandscape(const QSizeF& size) { return size.width() > size.height(); }

    reporttest::DemoStudy demo;
};

TEST_F(ReportProviderTest, MeasurementsNeedTheirWaveMarks)
{
    const QStringList complete = measurements();
    for (const QString& text : complete)
        EXPECT_GT(text.toInt(), 0) << text.toStdString();
    EXPECT_EQ(complete[4].toInt(), int(demo.meanRr() * 1000.0));

    // Without a P wave only PR is missing: QRS and QT do not depend on it.
    const double pOnset = demo.result("POnset");
    demo.setResult("POnset", 0.0);
    EXPECT_EQ(measurements(), QStringList{QStringLiteral("--")} + complete.mid(1));
    demo.setResult("POnset", pOnset);

    demo.setResult("avgRRInterval", 0.0);
    QStringList withoutRr = measurements();
    EXPECT_EQ(withoutRr.mid(0, 3), complete.mid(0, 3));
    EXPECT_EQ(withoutRr.mid(3), (QStringList{QStringLiteral("--"), QStringLiteral("--")}));
    demo.setResult("avgRRInterval", demo.meanRr());

    // Without a T offset there is no QT to measure (nor QTc); the other
    // intervals stay.
    demo.setResult("TOffset", 0.0);
    const QStringList withoutT = measurements();
    EXPECT_EQ(withoutT[2], QStringLiteral("--"));
    EXPECT_EQ(withoutT[3], QStringLiteral("--"));
    EXPECT_EQ(withoutT[4], complete[4]);
}

TEST_F(ReportProviderTest, AnswersStudyAndReportValues)
{
    demo.study()->addRiskFactor("Diabetes", true, "tipo 2");
    demo.study()->addRiskFactor("Gota", false, "");
    demo.study()->addRiskFactor("Angor", true, "");
    TReportOptions options;
    options.headerTitle = QStringLiteral("Hospital Central");
    options.headerInfo = QStringLiteral("Cardiología\nPlanta 3");
    const std::unique_ptr<THRECGReport> report = makeReport(options);
    EXPECT_EQ(value(*report, QStringLiteral("headerTitle")), options.headerTitle);
    EXPECT_EQ(value(*report, QStringLiteral("headerInfo")), options.headerInfo);
    EXPECT_EQ(value(*report, QStringLiteral("demo/patient/lastName")).toString(), QStringLiteral("García López"));
    EXPECT_EQ(value(*report, QStringLiteral("demo/doctorName")).toString(), QStringLiteral("Dra. Marta Ruiz"));
    EXPECT_EQ(value(*report, QStringLiteral("demo/no such key"), 7), QVariant(QString()));
    EXPECT_EQ(value(*report, QStringLiteral("studyDateTime")).toString(), QStringLiteral("05/03/2024"));
    EXPECT_EQ(value(*report, QStringLiteral("patientBMI")).toString(), QStringLiteral("24.8"));
    EXPECT_EQ(value(*report, QStringLiteral("patientRiskFactors")).toString(),
              QStringLiteral("Angor\nDiabetes [tipo 2]\n"));
    EXPECT_EQ(value(*report, QStringLiteral("ecgFilters")).toString(), QStringLiteral("none"));
    EXPECT_EQ(value(*report, QStringLiteral("varorParams/HPCutoff")).toInt(), demo.latePotentials().highPassCutoff());
    EXPECT_EQ(value(*report, QStringLiteral("varorParams/LASThreshold")).toInt(), 40);
    EXPECT_EQ(value(*report, QStringLiteral("varorParams/RMSDuration")).toInt(), 40);
    EXPECT_EQ(value(*report, QStringLiteral("somethingElse"), 7), QVariant(7));

    options.notchFilter = options.muscleFilter = options.baselineFilter = true;
    EXPECT_EQ(value(*makeReport(options), QStringLiteral("ecgFilters")).toString(),
              QStringLiteral("notch 50hz, muscle noise, baseline fix"));
    demo.study()->setProperty("patient/height", "");
    demo.study()->setStudyDateTime("2024-03-05");
    EXPECT_EQ(value(*makeReport(), QStringLiteral("patientBMI")).toString(), QString());
    EXPECT_EQ(value(*makeReport(), QStringLiteral("studyDateTime")).toString(), QString());
}

TEST_F(ReportProviderTest, TemplateOneNumbersTheSectionsChosen)
{
    const QString all = writePdf(TReportOptions(), QStringLiteral("all"));
    ASSERT_EQ(PdfTools::pageCount(all), 4);
    for (int page = 1; page <= 4; ++page)
        EXPECT_TRUE(PdfTools::pageText(all, page).contains(QStringLiteral("Pág. %1 de 4").arg(page))) << page;
    const QString latePotentials = PdfTools::pageText(all, 4);
    const TLatePotentials& analysis = demo.latePotentials();
    for (const QString& result : {QStringLiteral("QRSD = %1 ms").arg(analysis.QRSD()),
                                  QStringLiteral("RMS = %1 uV").arg(analysis.RMS()),
                                  QStringLiteral("LAS = %1 ms").arg(analysis.LAS())})
        EXPECT_TRUE(latePotentials.contains(result)) << result.toStdString() << " in " << latePotentials.toStdString();

    TReportOptions withoutLatePotentials;
    withoutLatePotentials.printLatePotentials = false;
    const QString three = writePdf(withoutLatePotentials, QStringLiteral("three"));
    ASSERT_EQ(PdfTools::pageCount(three), 3);
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(PdfTools::pageText(three, page).contains(QStringLiteral("Pág. %1 de 3").arg(page))) << page;
}

TEST_F(ReportProviderTest, MultiColumnLayoutsPrintTheirEcgPageLandscape)
{
    for (const int layout : {TReportOptions::Layout6by2, TReportOptions::Layout4by3}) {
        TReportOptions options;
        options.layout = layout;
        const QString pdf = writePdf(options, QStringLiteral("layout%1").arg(layout));
        const QList<QSizeF> sizes = PdfTools::pageSizes(pdf);
        // The first page fits on one sheet: four sheets in all.
        ASSERT_EQ(sizes.size(), 4) << layout;
        EXPECT_TRUE(isLandscape(sizes[0])) << layout;
        for (int page = 1; page < 4; ++page)
            EXPECT_FALSE(isLandscape(sizes[page])) << layout << " page " << page + 1;
        EXPECT_TRUE(PdfTools::pageText(pdf, 1).contains(QStringLiteral("Pág. 1 de 4"))) << layout;
    }
}

TEST_F(ReportProviderTest, FirstPageShowsAbsentValuesAsDashes)
{
    demo.study()->setProperty("conclusion", "");
    const double qrsOnset = demo.result("QRSOnset");
    demo.setResult("QRSOnset", 0.0);
    demo.setResult("avgRRInterval", 0.0);
    const QString noQrs = PdfTools::pageText(writePdf(firstPageOnly(), QStringLiteral("noQrs")), 1);
    EXPECT_TRUE(noQrs.contains(QStringLiteral("Conclusiones")));
    for (const char* name : {"PR", "QRS", "QT", "QTc", "RR"})
        EXPECT_TRUE(noQrs.contains(QStringLiteral("Int %1: -- ms.").arg(QLatin1String(name)))) << name;
    EXPECT_TRUE(noQrs.contains(QStringLiteral("Filtros: ninguno"))) << "in the language of the template";

    demo.setResult("QRSOnset", qrsOnset);
    const QStringList expected = measurements();
    const QString noRr = PdfTools::pageText(writePdf(firstPageOnly(), QStringLiteral("noRr")), 1);
    for (const int index : {0, 1, 2})
        EXPECT_NE(expected[index], QStringLiteral("--"));
    EXPECT_TRUE(noRr.contains(QStringLiteral("Int PR: %1 ms.").arg(expected[0])));
    EXPECT_TRUE(noRr.contains(QStringLiteral("Int QRS: %1 ms.").arg(expected[1])));
    EXPECT_TRUE(noRr.contains(QStringLiteral("Int QT: %1 ms.").arg(expected[2])));
    EXPECT_TRUE(noRr.contains(QStringLiteral("Int QTc: -- ms.")));
    EXPECT_TRUE(noRr.contains(QStringLiteral("Int RR: -- ms.")));
}

// A conclusion too long for its box even at the smallest readable size
// prints whole: as far as it fits on the first page, which says that it
// continues, and the rest on an added second page.
TEST_F(ReportProviderTest, ALongConclusionPrintsWholeOnAnAddedPage)
{
    QStringList words;
    for (int word = 0; word < 150; ++word)
        words << QStringLiteral("hallazgo%1").arg(word, 3, 10, QLatin1Char('0'));
    demo.study()->setProperty("conclusion", words.join(QLatin1Char(' ')).toStdString());
    const QString pdf = writePdf(firstPageOnly(), QStringLiteral("longConclusion"));
    ASSERT_EQ(PdfTools::pageCount(pdf), 2);
    const QString first = PdfTools::pageText(pdf, 1);
    EXPECT_TRUE(first.simplified().contains(QStringLiteral("(continúa en la pág. 2)"))) << first.toStdString();
    EXPECT_TRUE(first.contains(words.front()));
    const QString text = first + PdfTools::pageText(pdf, 2);
    for (const QString& word : words)
        EXPECT_EQ(text.count(word), 1) << word.toStdString();
}

// Why the verdict cannot be given is printed in the template's language,
// beside the verdict.
TEST_F(ReportProviderTest, ReasonsSpeakTheLanguageOfTheTemplate)
{
    TSettings::setValue(TSettings::LatePotentialsMinimumBeats, 100000);
    const QString text = PdfTools::pageText(writePdf(TReportOptions(), QStringLiteral("reasons")), 4).simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("Potenciales tardíos: no valorable"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("latidos promediados, menos de 100000"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("fewer than"))) << text.toStdString();
}

TEST_F(ReportProviderTest, UnknownRhythmLeadDrawsTheFirstLead)
{
    const auto firstPage = [&](const QString& rhythmLead) {
        TReportOptions options = firstPageOnly(TReportOptions::Layout6by2);
        options.rhythmLead = rhythmLead;
        return PdfTools::renderPage(writePdf(options, rhythmLead), 1, 40);
    };
    const QImage unknown = firstPage(QStringLiteral("X9"));
    ASSERT_FALSE(unknown.isNull());
    EXPECT_EQ(unknown, firstPage(QStringLiteral("I")));
    EXPECT_NE(unknown, firstPage(QStringLiteral("II")));
}

} // namespace
