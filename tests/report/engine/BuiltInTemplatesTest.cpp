#include "FakeReportProvider.h"
#include "PdfTools.h"

#include "report/engine/QReportEngine.h"

#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The answers a study gives, in the form the report data provider uses.
QMap<QString, QVariant> studyValues()
{
    return {
        {QStringLiteral("headerTitle"), QStringLiteral("Hospital Central")},
        {QStringLiteral("headerInfo"), QStringLiteral("Unidad de Cardiología\nPlanta 3")},
        {QStringLiteral("demo/patient/lastName"), QStringLiteral("García López")},
        {QStringLiteral("demo/patient/firstName"), QStringLiteral("Ana")},
        {QStringLiteral("demo/patient/age"), QStringLiteral("54")},
        {QStringLiteral("demo/patient/weight"), QStringLiteral("70")},
        {QStringLiteral("demo/patient/height"), QStringLiteral("168")},
        {QStringLiteral("demo/technicianName"), QStringLiteral("Luis Pérez")},
        {QStringLiteral("demo/doctorName"), QStringLiteral("Dra. Marta Ruiz")},
        {QStringLiteral("demo/conclusion"), QStringLiteral("Ritmo sinusal. Sin potenciales tardíos.")},
        {QStringLiteral("studyDateTime"), QStringLiteral("05/03/2024")},
        {QStringLiteral("ecgFilters"), QStringLiteral("none")},
        {QStringLiteral("beatMeasurement/PR"), QStringLiteral("160")},
        {QStringLiteral("beatMeasurement/QRS"), QStringLiteral("96")},
        {QStringLiteral("beatMeasurement/QT"), QStringLiteral("380")},
        {QStringLiteral("beatMeasurement/QTc"), QStringLiteral("412")},
        {QStringLiteral("beatMeasurement/RR"), QStringLiteral("850")},
        {QStringLiteral("varorParams/HPCutoff"), QStringLiteral("40")},
        {QStringLiteral("varorParams/LASThreshold"), QStringLiteral("40")},
        {QStringLiteral("varorParams/RMSDuration"), QStringLiteral("40")},
        {QStringLiteral("varorQuality/Noise"), QStringLiteral("0.82")},
        {QStringLiteral("varorQuality/NoiseLimit"), QStringLiteral("1.0")},
        {QStringLiteral("varorQuality/BeatsAveraged"), QStringLiteral("150")},
        {QStringLiteral("varorQuality/MinimumBeats"), QStringLiteral("100")},
        {QStringLiteral("varorCriteria/QRSDValue"), QStringLiteral("120")},
        {QStringLiteral("varorCriteria/QRSDHolds"), QStringLiteral("1")},
        {QStringLiteral("varorCriteria/RMSValue"), QStringLiteral("15")},
        {QStringLiteral("varorCriteria/RMSHolds"), QStringLiteral("1")},
        {QStringLiteral("varorCriteria/LASValue"), QStringLiteral("30")},
        {QStringLiteral("varorCriteria/LASHolds"), QStringLiteral("0")},
        {QStringLiteral("varorCriteria/Verdict"), QStringLiteral("1")},
        {QStringLiteral("varorCriteria/Reasons"), QString()},
        {QStringLiteral("varorCriteria/LimitsByHand"), QString()},
        {QStringLiteral("ecgElectrodesOff"), QString()},
    };
}

class BuiltInTemplatesTest : public ::testing::Test
{
protected:
    BuiltInTemplatesTest() { provider.values = studyValues(); }

    // Prepares a built-in template the way the report is built: page 0
    // always, page 1 (the continuation of a long conclusion) when asked,
    // pages 2 to 4 when kept, one record each; then writes the PDF.
    QString render(int templateNumber, const QList<bool>& keepPages = {true, true, true}, bool continuation = false)
    {
        const QString resource = QStringLiteral(":/res/ecgreport%1.xml").arg(templateNumber);
        EXPECT_TRUE(engine.loadTemplate(resource)) << resource.toStdString();
        engine.pageRecordCounts.append(1);
        QList<int> removed;
        if (continuation)
            engine.pageRecordCounts.append(1);
        else
            removed.append(1);
        for (int page = 2; page <= 4; ++page) {
            if (keepPages.value(page - 2))
                engine.pageRecordCounts.append(1);
            else
                removed.append(page);
        }
        engine.removeTemplatePages(removed);
        const QString path = dir.filePath(QStringLiteral("report%1.pdf").arg(templateNumber));
        engine.printToPdfFile(path, false);
        return path;
    }

    static bool isLandscape(const QSizeF& size) { return size.width() > size.height(); }

    QTemporaryDir dir;
    QReportEngine engine;
    FakeReportProvider provider{engine};
};

TEST_F(BuiltInTemplatesTest, TemplateOneNumbersItsFourPortraitPages)
{
    const QString pdf = render(1);
    ASSERT_EQ(PdfTools::pageCount(pdf), 4);
    for (int page = 1; page <= 4; ++page)
        EXPECT_TRUE(PdfTools::pageText(pdf, page).contains(QStringLiteral("Pág. %1 de 4").arg(page)))
            << page;
    for (const QSizeF& size : PdfTools::pageSizes(pdf))
        EXPECT_FALSE(isLandscape(size));
    EXPECT_EQ(provider.progressCalls,
              (QList<QPair<int, int>>{{0, 0}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

TEST_F(BuiltInTemplatesTest, RemovedSectionsLeaveFewerNumberedPages)
{
    const QString withoutLatePotentials = render(1, {true, true, false});
    ASSERT_EQ(PdfTools::pageCount(withoutLatePotentials), 3);
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(PdfTools::pageText(withoutLatePotentials, page)
                        .contains(QStringLiteral("Pág. %1 de 3").arg(page)));
    EXPECT_FALSE(PdfTools::pageText(withoutLatePotentials, 3).contains(QStringLiteral("Potenciales tardíos")));
}

TEST_F(BuiltInTemplatesTest, OnlyTheEcgPageLeavesOnePage)
{
    const QString pdf = render(2, {false, false, false});
    ASSERT_EQ(PdfTools::pageCount(pdf), 1);
    EXPECT_TRUE(PdfTools::pageText(pdf, 1).contains(QStringLiteral("Pág. 1 de 1")));
}

TEST_F(BuiltInTemplatesTest, MultiColumnLayoutsStartLandscapeThenTurnPortrait)
{
    for (int templateNumber : {2, 3}) {
        const QString pdf = render(templateNumber);
        const QList<QSizeF> sizes = PdfTools::pageSizes(pdf);
        // The first page fits on one sheet, so there are exactly four.
        ASSERT_EQ(sizes.size(), 4) << templateNumber;
        EXPECT_TRUE(isLandscape(sizes[0])) << templateNumber;
        for (int page = 1; page < 4; ++page)
            EXPECT_FALSE(isLandscape(sizes[page])) << templateNumber << " page " << page + 1;
        // A4 either way round.
        EXPECT_NEAR(sizes[0].width(), 841.9, 1);
        EXPECT_NEAR(sizes[1].height(), 841.9, 1);
        EXPECT_TRUE(PdfTools::pageText(pdf, 1).contains(QStringLiteral("Pág. 1 de 4")));
        engine.pageRecordCounts.clear();
        provider.progressCalls.clear();
    }
}

TEST_F(BuiltInTemplatesTest, FirstPagePrintsTheStudyHeader)
{
    provider.values[QStringLiteral("demo/conclusion")] = QString();
    provider.values[QStringLiteral("beatMeasurement/QTc")] = QStringLiteral("--");
    for (int templateNumber : {1, 2, 3}) {
        const QString text = PdfTools::pageText(render(templateNumber, {false, false, false}), 1);
        for (const char* expected :
             {"García López, Ana", "Informe ZID OR :: Pulsorix", "Fecha", "05/03/2024", "Edad", "54",
              "Peso", "70 kg.", "Talla", "168 cm.", "Técnico", "Luis Pérez", "Médico", "Dra. Marta Ruiz",
              "Conclusiones", "Mediciones", "Int PR: 160 ms.", "Int QRS: 96 ms.", "Int QT: 380 ms.",
              "Int QTc: -- ms.", "Int RR: 850 ms.", "25 mm/seg - 10 mm/mV - Filtros: none",
              "Hospital Central", "Unidad de Cardiología"})
            EXPECT_TRUE(text.contains(QString::fromUtf8(expected)))
                << templateNumber << ": " << expected << " in " << text.toStdString();
        engine.pageRecordCounts.clear();
    }
}

TEST_F(BuiltInTemplatesTest, LaterPagesCarryHeaderAndLatePotentialParameters)
{
    const QString pdf = render(1);
    for (int page = 2; page <= 4; ++page)
        EXPECT_TRUE(PdfTools::pageText(pdf, page)
                        .contains(QStringLiteral("García López, Ana - Informe ECG de alta resolución")));
    const QString latePotentials = PdfTools::pageText(pdf, 4);
    for (const char* expected : {"Potenciales tardíos", "Corte filtro: 40 Hz", "Umbral LAS: 40 uV",
                                 "Duración RMS: 40 ms"})
        EXPECT_TRUE(latePotentials.contains(QString::fromUtf8(expected))) << expected;
}

// The names each template asks the report data provider for.
TEST_F(BuiltInTemplatesTest, TemplatesAskForTheProviderNames)
{
    const QStringList valueNames = studyValues().keys();
    const QSet<QString> values(valueNames.cbegin(), valueNames.cend());
    QStringList later = {QStringLiteral("beatGraphic"), QStringLiteral("varorGraphic")};
    for (int lead = 0; lead < 12; ++lead)
        later.append(QStringLiteral("beatGraphic/%1").arg(lead));
    const QMap<int, QStringList> ecgDrawings = {
        {1, {QStringLiteral("ecgGraphic/12by1")}},
        {2, {QStringLiteral("ecgGraphic/6by2/1"), QStringLiteral("ecgGraphic/6by2/2"),
             QStringLiteral("ecgGraphic/rhythm")}},
        {3, {QStringLiteral("ecgGraphic/3by4/1"), QStringLiteral("ecgGraphic/3by4/2"),
             QStringLiteral("ecgGraphic/3by4/3"), QStringLiteral("ecgGraphic/3by4/4"),
             QStringLiteral("ecgGraphic/rhythm")}},
    };
    for (int templateNumber : {1, 2, 3}) {
        provider.requestedNames.clear();
        provider.drawings.clear();
        render(templateNumber);
        const QStringList requested = provider.requestedNames;
        EXPECT_EQ(QSet<QString>(requested.cbegin(), requested.cend()), values) << templateNumber;

        QSet<QString> drawn;
        for (const FakeReportProvider::Drawing& drawing : provider.drawings)
            drawn.insert(drawing.name);
        QStringList expected = later + ecgDrawings.value(templateNumber);
        expected << QStringLiteral("headerLogo") << QStringLiteral("brandLogo");
        EXPECT_EQ(drawn, QSet<QString>(expected.cbegin(), expected.cend())) << templateNumber;
        engine.pageRecordCounts.clear();
    }
}

} // namespace
