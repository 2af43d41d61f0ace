// Full reports of the demo-recording study in the three layouts, every
// page rendered to PNG in the build folder ("renderings") for inspection.
#include "ReportTestSupport.h"
#include "engine/PdfTools.h"

#include "report/THRECGReport.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

namespace {

// Share of the page's pixels that are not white.
double inkShare(const QImage& page)
{
    qint64 ink = 0;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x)
            ink += page.pixelColor(x, y) != QColor(Qt::white) ? 1 : 0;
    }
    return double(ink) / (double(page.width()) * page.height());
}

TEST(ReportRenderingTest, FullReportsOfTheDemoStudyRenderEveryPage)
{
    reporttest::DemoStudy demo;
    demo.study()->addRiskFactor("Diabetes", true, "tipo 2");
    const QDir renderings(QStringLiteral(VAROR_RENDER_DIR));
    renderings.mkpath(QStringLiteral("."));
    // The layouts with and without the average column, the combined
    // averaged beat of two leads and of one (with its P amplitude).
    const struct
    {
        int layout;
        bool showAverage;
        int averageLeadMask;
    } reports[] = {{TReportOptions::Layout12by1, true, (1 << 1) | (1 << 10)},
                   {TReportOptions::Layout6by2, true, 1 << 1},
                   {TReportOptions::Layout4by3, false, 1 << 10}};
    for (const auto& choice : reports) {
        const int layout = choice.layout;
        TReportOptions options;
        options.layout = layout;
        options.showAverage = choice.showAverage;
        options.muscleFilter = true;
        options.baselineFilter = true;
        options.startTime = 3.0;
        options.averageLeadMask = choice.averageLeadMask;
        options.headerTitle = QStringLiteral("Hospital Central");
        options.headerInfo = QStringLiteral("Unidad de Cardiología\nPlanta 3");
        options.logoFileName = QStringLiteral(":/res/logo-pulsorix-report.png");
        THRECGReport report(demo.study(), &demo.latePotentials());
        report.setOptions(options);
        report.setOpenPdf(false);
        const QString pdf = renderings.filePath(QStringLiteral("report-layout%1.pdf").arg(layout));
        report.saveReportPdf(pdf);
        ASSERT_EQ(PdfTools::pageCount(pdf), 4) << layout;
        for (int page = 1; page <= 4; ++page) {
            const QImage image = PdfTools::renderPage(pdf, page, 150);
            ASSERT_FALSE(image.isNull()) << layout << " page " << page;
            EXPECT_GT(inkShare(image), 0.03) << layout << " page " << page;
            EXPECT_TRUE(image.save(renderings.filePath(QStringLiteral("report-layout%1-page%2.png").arg(layout).arg(page))));
        }
    }
}

} // namespace
