#include "FakeReportProvider.h"
#include "PdfTools.h"
#include "TestTemplates.h"

#include "report/engine/QReportEngine.h"

#include <QApplication>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace TestTemplates;

namespace {

using Progress = QList<QPair<int, int>>;

QString footer(const QString& text = QStringLiteral("FOOT <Page>/<TotalPages>"))
{
    return band(QStringLiteral("PageFooter"), 33, label(0, 5, text));
}

class ReportEngineTest : public ::testing::Test
{
protected:
    // Loads the pages as a template with these record counts.
    void load(const QString& pages, const QList<int>& counts)
    {
        ASSERT_TRUE(engine.loadTemplate(write(dir, pages)));
        engine.pageRecordCounts = counts;
    }

    QString renderPdf(const QString& pages, const QList<int>& counts)
    {
        load(pages, counts);
        return renderPdf();
    }

    QString renderPdf()
    {
        const QString path = dir.filePath(QStringLiteral("report%1.pdf").arg(++outputs));
        engine.printToPdfFile(path, false);
        return path;
    }

    QTemporaryDir dir;
    QReportEngine engine;
    FakeReportProvider provider{engine};
    int outputs = 0;
};

// The printable height is 1108 units; a 33-unit footer leaves 1075.
TEST_F(ReportEngineTest, BandExactlyFillingTheSpaceAboveTheFooterStaysOnThePage)
{
    const auto pages = [](int height) {
        return page(band(QStringLiteral("MasterData"), height, label(0, 0, QStringLiteral("DATA [recNo]"))) +
                    footer());
    };

    const QString fits = renderPdf(pages(1075), {1});
    EXPECT_EQ(PdfTools::pageCount(fits), 1);
    EXPECT_EQ(PdfTools::pageText(fits, 1), QStringLiteral("DATA 0 FOOT 1/1"));

    provider.progressCalls.clear();
    const QString breaks = renderPdf(pages(1076), {1});
    EXPECT_EQ(PdfTools::pageCount(breaks), 2);
    EXPECT_EQ(PdfTools::pageText(breaks, 1), QStringLiteral("FOOT 1/2"));
    EXPECT_EQ(PdfTools::pageText(breaks, 2), QStringLiteral("DATA 0 FOOT 2/2"));
    EXPECT_EQ(provider.progressCalls, Progress({{0, 0}, {1, 2}, {2, 2}}));

    // Two records of 537 units end at 1074, of 538 at 1076.
    EXPECT_EQ(PdfTools::pageCount(renderPdf(pages(537), {2})), 1);
    const QString second = renderPdf(pages(538), {2});
    EXPECT_EQ(PdfTools::pageCount(second), 2);
    EXPECT_EQ(PdfTools::pageText(second, 2), QStringLiteral("DATA 1 FOOT 2/2"));
}

TEST_F(ReportEngineTest, ContinuationSheetsRepeatPageHeaderAndMasterHeaderButNotTitle)
{
    const QString pages =
        page(band(QStringLiteral("ReportTitle"), 40, label(0, 0, QStringLiteral("TITLE"))) +
             band(QStringLiteral("PageHeader"), 40, label(0, 0, QStringLiteral("HEADER"))) +
             band(QStringLiteral("MasterHeader"), 40, label(0, 0, QStringLiteral("COLUMNS"))) +
             band(QStringLiteral("MasterData"), 400, label(0, 0, QStringLiteral("ROW [recNo]"))) +
             band(QStringLiteral("MasterFooter"), 40, label(0, 0, QStringLiteral("END"))) + footer());
    const QString pdf = renderPdf(pages, {3});
    ASSERT_EQ(PdfTools::pageCount(pdf), 2);
    EXPECT_EQ(PdfTools::pageText(pdf, 1), QStringLiteral("TITLE HEADER COLUMNS ROW 0 ROW 1 FOOT 1/2"));
    EXPECT_EQ(PdfTools::pageText(pdf, 2), QStringLiteral("HEADER COLUMNS ROW 2 END FOOT 2/2"));
}

TEST_F(ReportEngineTest, RemovedPagesAreCountedInTheOrderBeforeRemoval)
{
    QString pages;
    for (const char* name : {"PAGE-A", "PAGE-B", "PAGE-C", "PAGE-D"})
        pages += page(band(QStringLiteral("MasterData"), 100, label(0, 0, QLatin1String(name))));

    for (const QList<int>& removed : {QList<int>{1, 3}, QList<int>{3, 1}}) {
        load(pages, {1, 1});
        engine.removeTemplatePages(removed);
        const QString pdf = renderPdf();
        ASSERT_EQ(PdfTools::pageCount(pdf), 2);
        EXPECT_EQ(PdfTools::pageText(pdf, 1), QStringLiteral("PAGE-A"));
        EXPECT_EQ(PdfTools::pageText(pdf, 2), QStringLiteral("PAGE-C"));
    }
}

TEST_F(ReportEngineTest, PageWithoutRecordsPrintsOnlyTitleHeaderAndFooter)
{
    const QString body =
        band(QStringLiteral("ReportTitle"), 40, label(0, 0, QStringLiteral("TITLE"))) +
        band(QStringLiteral("PageHeader"), 40, label(0, 0, QStringLiteral("HEADER"))) +
        band(QStringLiteral("MasterHeader"), 40, label(0, 0, QStringLiteral("COLUMNS"))) +
        band(QStringLiteral("MasterData"), 40, label(0, 0, QStringLiteral("ROW"))) +
        band(QStringLiteral("MasterFooter"), 40, label(0, 0, QStringLiteral("END"))) + footer();
    // Page 0 has a count of 0, page 1 a count, page 2 no entry at all.
    const QString pdf = renderPdf(page(body) + page(body) + page(body), {0, 1});
    ASSERT_EQ(PdfTools::pageCount(pdf), 3);
    EXPECT_EQ(PdfTools::pageText(pdf, 1), QStringLiteral("TITLE HEADER FOOT 1/3"));
    EXPECT_EQ(PdfTools::pageText(pdf, 2), QStringLiteral("TITLE HEADER COLUMNS ROW END FOOT 2/3"));
    EXPECT_EQ(PdfTools::pageText(pdf, 3), QStringLiteral("TITLE HEADER FOOT 3/3"));
}

TEST_F(ReportEngineTest, PageRangeStillCountsEveryPage)
{
    QString pages;
    for (int i = 0; i < 4; ++i)
        pages += page(footer(QStringLiteral("Pág. <Page> de <TotalPages>")));
    load(pages, {});
    const QString path = dir.filePath(QStringLiteral("range.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setFromTo(2, 3);
    engine.printPreview(&printer);

    ASSERT_EQ(PdfTools::pageCount(path), 2);
    EXPECT_EQ(PdfTools::pageText(path, 1), QStringLiteral("Pág. 2 de 4"));
    EXPECT_EQ(PdfTools::pageText(path, 2), QStringLiteral("Pág. 3 de 4"));
    EXPECT_EQ(provider.progressCalls, Progress({{0, 0}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

TEST_F(ReportEngineTest, RecordsAreNumberedAndAskedForByRecord)
{
    const QString pages =
        page(band(QStringLiteral("MasterData"), 30, label(0, 0, QStringLiteral("rec [recNo] line <LineNo>")))) +
        page(band(QStringLiteral("MasterData"), 300,
                  QStringLiteral("<TContainerField type=\"labelImage\" left=\"100\" top=\"10\" "
                                 "width=\"401\" height=\"200\" value=\"[ecg/strip]\"/>")));
    const QString pdf = renderPdf(pages, {3, 1});
    EXPECT_EQ(PdfTools::pageText(pdf, 1), QStringLiteral("rec 0 line 1 rec 1 line 2 rec 2 line 3"));

    // The drawing is asked for once, in the drawing pass, clipped to the
    // field, with the template page it belongs to.
    ASSERT_EQ(provider.drawings.size(), 1);
    const FakeReportProvider::Drawing& drawing = provider.drawings.first();
    EXPECT_EQ(drawing.name, QStringLiteral("ecg/strip"));
    EXPECT_EQ(drawing.reportPage, 1);
    EXPECT_EQ(drawing.clip, drawing.bounds);
    // Units scale alike in both directions on a page with equal margins.
    EXPECT_NEAR(double(drawing.bounds.width()) / drawing.bounds.left(), 4.0, 0.01);
    EXPECT_NEAR(double(drawing.bounds.height()) / drawing.bounds.width(), 0.5, 0.01);
}

TEST_F(ReportEngineTest, BordersOnThePrintedPage)
{
    // A black block with a label over it: top border white, bottom border
    // white with alpha 0, left border absent.
    const QString fields =
        QStringLiteral("<TContainerField type=\"reactangle\" left=\"100\" top=\"100\" width=\"400\" "
                       "height=\"200\" backgroundColor=\"rgba(0,0,0,255)\" borderColor=\"rgba(0,0,0,255)\"/>"
                       "<TContainerField type=\"label\" left=\"150\" top=\"150\" width=\"200\" height=\"100\" "
                       "value=\"\" backgroundColor=\"rgba(255,255,255,0)\" borderWidth=\"8px\" "
                       "borderTop=\"rgba(255,255,255,255)\" borderBottom=\"rgba(255,255,255,0)\"/>");
    const QString pdf = renderPdf(page(band(QStringLiteral("MasterData"), 400, fields)), {1});
    const int dpi = 150;
    const QImage image = PdfTools::renderPage(pdf, 1, dpi);
    ASSERT_FALSE(image.isNull());
    const double margin = 10.01 / 25.4 * dpi;
    const double unit = 0.25 / 25.4 * dpi;
    const auto brightestAround = [&](int xUnits, int yUnits) {
        const int x = int(margin + xUnits * unit);
        const int y = int(margin + yUnits * unit);
        int brightest = 0;
        for (int dy = -6; dy <= 6; ++dy)
            brightest = qMax(brightest, qGray(image.pixel(x, y + dy)));
        return brightest;
    };
    EXPECT_GT(brightestAround(250, 150), 240); // top: white line
    EXPECT_LT(brightestAround(250, 250), 15);  // bottom: no line
    EXPECT_LT(brightestAround(150, 200), 15);  // left: invisible line
    EXPECT_LT(brightestAround(250, 200), 15);  // inside: no fill
}

TEST_F(ReportEngineTest, AutoHeightLabelsGrowTheirBand)
{
    const QString text = QString(QStringLiteral("word ")).repeated(300);
    const auto pages = [&](int autoHeight) {
        return page(band(QStringLiteral("MasterData"), 20,
                         label(0, 0, text, QStringLiteral("autoHeight=\"%1\"").arg(autoHeight))));
    };
    EXPECT_EQ(PdfTools::pageCount(renderPdf(pages(0), {4})), 1);
    EXPECT_EQ(PdfTools::pageCount(renderPdf(pages(1), {4})), 2);
}

// A label of fixed height keeps a long text inside its box, smaller or cut
// short, and leaves what lies below the box clear; the application learns
// which before printing.
TEST_F(ReportEngineTest, FixedHeightLabelsKeepTheirTextInsideTheirBox)
{
    // 100 x 10 mm at 10 pt, 10 mm from the page's top left corner.
    const QString field = QStringLiteral("<TContainerField type=\"label\" left=\"0\" top=\"0\" width=\"400\" "
                                         "height=\"40\" fontSize=\"10\" value=\"[text]\"/>");
    load(page(band(QStringLiteral("MasterData"), 400, field)), {1});
    const QString word = QStringLiteral("palabra ");
    provider.values.insert(QStringLiteral("text"), word);
    EXPECT_EQ(engine.labelFit(QStringLiteral("text")), TReportTextFit::Fits);
    provider.values.insert(QStringLiteral("text"), word.repeated(20));
    EXPECT_EQ(engine.labelFit(QStringLiteral("text")), TReportTextFit::Shrunk);
    provider.values.insert(QStringLiteral("text"), word.repeated(200));
    EXPECT_EQ(engine.labelFit(QStringLiteral("text")), TReportTextFit::Cut);

    const int dpi = 100;
    const QImage image = PdfTools::renderPage(renderPdf(), 1, dpi);
    ASSERT_FALSE(image.isNull());
    const auto darkPixels = [&](double topMm, double bottomMm) {
        int count = 0;
        for (int y = int(topMm / 25.4 * dpi); y < int(bottomMm / 25.4 * dpi); ++y) {
            for (int x = int(10.0 / 25.4 * dpi); x < int(110.0 / 25.4 * dpi); ++x)
                count += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        }
        return count;
    };
    EXPECT_GT(darkPixels(10.0, 20.0), 0) << "the text is printed";
    EXPECT_EQ(darkPixels(20.5, 60.0), 0) << "and nothing of it below its box";
}

TEST_F(ReportEngineTest, GroupsFrameRecordsAndLimitTheirAggregates)
{
    provider.perRecord[QStringLiteral("group")] = {QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("B")};
    provider.perRecord[QStringLiteral("price")] = {10, 20, 30};
    const auto pages = [](int startNewPage) {
        return page(
            band(QStringLiteral("MasterData"), 30, label(0, 0, QStringLiteral("item <LineNo> [price]"))) +
            QStringLiteral("<ReportBand type=\"DataGroupHeader\" height=\"30\" groupingField=\"[group]\" "
                           "startNewNumeration=\"1\" startNewPage=\"%1\">%2</ReportBand>")
                .arg(startNewPage)
                .arg(label(0, 0, QStringLiteral("Group [group]"))) +
            QStringLiteral("<ReportBand type=\"DataGroupFooter\" height=\"30\" showInGroup=\"1\">%1</ReportBand>")
                .arg(label(0, 0, QStringLiteral("subtotal <Sum([price])>"))) +
            band(QStringLiteral("MasterFooter"), 30, label(0, 0, QStringLiteral("total <Sum([price])>"))));
    };
    const QString together = renderPdf(pages(0), {3});
    EXPECT_EQ(PdfTools::pageText(together, 1),
              QStringLiteral("Group A item 1 10 item 2 20 subtotal 30 Group B item 1 30 subtotal 30 total 60"));

    const QString apart = renderPdf(pages(1), {3});
    ASSERT_EQ(PdfTools::pageCount(apart), 2);
    EXPECT_EQ(PdfTools::pageText(apart, 2), QStringLiteral("Group B item 1 30 subtotal 30 total 60"));
}

TEST_F(ReportEngineTest, DiagramsAreFilledByTheApplicationOrFromTheTemplate)
{
    provider.diagramGraphs = {{5, {Qt::red, QStringLiteral("Fives")}}, {15, {Qt::blue, QStringLiteral("Fifteens")}}};
    const QString byApplication = QStringLiteral(
        "<TContainerField type=\"diagram\" left=\"0\" top=\"0\" width=\"700\" height=\"400\" "
        "caption=\"Supplied\"/>");
    const QString fromTemplate = QStringLiteral(
        "<TContainerField type=\"diagram\" left=\"0\" top=\"500\" width=\"700\" height=\"400\" "
        "autoFillData=\"1\" caption=\"Written\" showPercent=\"0\">"
        "<graph color=\"rgba(0,128,0,255)\" value=\"&lt;2 * 3&gt;\" caption=\"Alpha\"/>"
        "<graph color=\"rgba(0,0,128,255)\" value=\"9\" caption=\"Beta\"/></TContainerField>");
    const QString pdf = renderPdf(page(band(QStringLiteral("MasterData"), 1000, byApplication + fromTemplate)), {1});
    EXPECT_EQ(provider.diagramRequests, 1);
    const QString text = PdfTools::pageText(pdf, 1);
    for (const char* expected : {"Supplied", "Fives (25.0 %)", "Fifteens (75.0 %)", "Written", "Alpha", "Beta"})
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << " in " << text.toStdString();
    EXPECT_FALSE(text.contains(QLatin1String("Graph 1")));
    EXPECT_FALSE(text.contains(QLatin1String("Alpha (")));
}

TEST_F(ReportEngineTest, TemplatesThatCannotBeReadAreRefused)
{
    EXPECT_FALSE(engine.loadTemplate(dir.filePath(QStringLiteral("missing.xml"))));
    QFile broken(dir.filePath(QStringLiteral("broken.xml")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<Reports><Report></Reports>");
    broken.close();
    EXPECT_FALSE(engine.loadTemplate(broken.fileName()));
    EXPECT_TRUE(engine.loadTemplate(write(dir, page(footer()))));
    EXPECT_TRUE(engine.loadTemplate(write(dir, QString(), QStringLiteral("empty.xml"))));
    EXPECT_THROW(engine.printToPdfFile(dir.filePath(QStringLiteral("empty.pdf")), false),
                 std::runtime_error);
}

TEST_F(ReportEngineTest, PdfThatCannotBeWrittenRaisesAnError)
{
    load(page(footer()), {});
    const QString unreachable = dir.filePath(QStringLiteral("no/such/folder/report.pdf"));
    try {
        engine.printToPdfFile(unreachable, false);
        FAIL() << "no error for an unwritable path";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("The PDF file could not be written: ") + unreachable);
    }
    // A device that accepts the file but not its data, like a full disk.
    if (QFileInfo::exists(QStringLiteral("/dev/full"))) {
        EXPECT_THROW(engine.printToPdfFile(QStringLiteral("/dev/full"), false), std::runtime_error);
    }
}

TEST_F(ReportEngineTest, DirectPrintingWithoutAPrinterRaisesAnError)
{
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "this machine has a printer";
    load(page(footer()), {});
    try {
        engine.printToPrinter(false, true, QString());
        FAIL() << "printing reported success without a printer";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No printer is available");
    }
    EXPECT_THROW(engine.printToPrinter(false, true, QStringLiteral("no such printer")),
                 std::runtime_error);
    EXPECT_TRUE(provider.progressCalls.isEmpty());
}

TEST_F(ReportEngineTest, PreviewShowsEveryPageFromTheFirst)
{
    load(page(footer()) + page(footer()), {});
    int pageCount = -1;
    int currentPage = -1;
    QTimer::singleShot(0, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(window);
            if (!dialog)
                continue;
            if (auto* preview = dialog->findChild<QPrintPreviewWidget*>()) {
                pageCount = preview->pageCount();
                currentPage = preview->currentPage();
            }
            dialog->reject();
        }
    });
    engine.printToPrinter(true, false, QString());
    EXPECT_EQ(pageCount, 2);
    EXPECT_EQ(currentPage, 1);
}

} // namespace
