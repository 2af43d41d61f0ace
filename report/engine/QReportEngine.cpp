#include "report/engine/QReportEngine.h"

#include "report/engine/Chart.h"
#include "report/engine/TReportAggregates.h"
#include "report/engine/TReportColor.h"
#include "report/engine/TReportField.h"
#include "report/engine/TReportTextFit.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QUrl>

#include <cmath>
#include <stdexcept>

namespace {

QList<QDomElement> templatePages(const QDomDocument& document)
{
    QList<QDomElement> pages;
    const QDomElement root = document.documentElement();
    for (QDomElement page = root.firstChildElement(QStringLiteral("Report")); !page.isNull();
         page = page.nextSiblingElement(QStringLiteral("Report")))
        pages.append(page);
    return pages;
}

QList<QDomElement> childElements(const QDomElement& parent, const QString& name = QString())
{
    QList<QDomElement> children;
    for (QDomElement child = parent.firstChildElement(name); !child.isNull();
         child = child.nextSiblingElement(name))
        children.append(child);
    return children;
}

int realHeight(const QDomElement& band)
{
    return band.attribute(QStringLiteral("realHeight")).toInt();
}

// Ends the painter when rendering is left by an exception, so that the
// printer is released.
class PainterGuard
{
public:
    explicit PainterGuard(QPainter& painter) : m_painter(painter) {}
    ~PainterGuard()
    {
        if (m_painter.isActive())
            m_painter.end();
    }
    PainterGuard(const PainterGuard&) = delete;
    PainterGuard& operator=(const PainterGuard&) = delete;

private:
    QPainter& m_painter;
};

// The PDF writer ends a document with its trailer; a file without one was
// cut short (a full disk, a device that refused the data).
bool isCompletePdf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 5)
        return false;
    file.seek(qMax<qint64>(0, file.size() - 1024));
    return file.readAll().contains("%%EOF");
}

// Templates name the Windows dialog font "MS Shell Dlg 2" (Tahoma there).
// Where it is missing, a sans-serif of similar width stands in, so that
// labels sized for it do not wrap.
void substituteTemplateFonts()
{
    const QString dialogFont = QStringLiteral("MS Shell Dlg 2");
    if (QFont::substitutes(dialogFont).isEmpty())
        QFont::insertSubstitutions(dialogFont, {QStringLiteral("Tahoma"),
                                                QStringLiteral("DejaVu Sans Condensed"),
                                                QStringLiteral("Liberation Sans Narrow"),
                                                QStringLiteral("Arial Narrow")});
}

bool desktopSessionPresent()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

QReportEngine::QReportEngine(QWidget* parent)
    : QWidget(parent),
      m_aggregates(new TReportAggregates(this)),
      m_expression(*this, m_aggregates)
{
    substituteTemplateFonts();
}

QReportEngine::~QReportEngine() = default;

bool QReportEngine::loadTemplate(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDomDocument document;
    if (!document.setContent(&file))
        return false;
    m_document = document;
    m_aggregates->clear();
    return true;
}

void QReportEngine::removeTemplatePages(const QList<int>& indices)
{
    const QList<QDomElement> pages = templatePages(m_document);
    QList<QDomElement> removed;
    for (const int index : indices) {
        if (index >= 0 && index < pages.size())
            removed.append(pages[index]);
    }
    QDomElement root = m_document.documentElement();
    for (const QDomElement& page : removed)
        root.removeChild(page);
}

QString QReportEngine::templateLanguage() const
{
    return m_document.documentElement().attribute(QStringLiteral("language"));
}

template <typename Measure, typename Answer>
Answer QReportEngine::measureLabel(const QString& parameter, Measure measure, Answer absent)
{
    const QList<QDomElement> pages = templatePages(m_document);
    if (pages.isEmpty())
        return absent;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer = &printer;
    setUpPage(0);
    m_printer = nullptr;
    const QString token = QLatin1Char('[') + parameter + QLatin1Char(']');
    for (const QDomElement& band : childElements(pages.first(), QStringLiteral("ReportBand"))) {
        for (const QDomElement& element : childElements(band, QStringLiteral("TContainerField"))) {
            const TReportField field(element, m_expression);
            if (field.type() != TReportField::Label || field.autoHeight() || !field.value().contains(token))
                continue;
            const int bandHeight = band.attribute(QStringLiteral("height")).toInt();
            const QRect rect = field.deviceRect(m_scaleX, m_scaleY, 0, bandHeight);
            const QString text = m_expression.evaluate(field.value(), field.format());
            return measure(field.font(), text, TReportField::textRect(rect), field.textFlags(), printer);
        }
    }
    return absent;
}

TReportTextFit::Outcome QReportEngine::labelFit(const QString& parameter)
{
    return measureLabel(
        parameter,
        [](const QFont& font, const QString& text, const QRect& rect, int flags, const QPrinter& printer) {
            return TReportTextFit::fit(font, text, rect, flags, &printer).outcome;
        },
        TReportTextFit::Fits);
}

int QReportEngine::labelFittingLength(const QString& parameter, const QString& suffix)
{
    return measureLabel(
        parameter,
        [&suffix](const QFont& font, const QString& text, const QRect& rect, int flags, const QPrinter& printer) {
            return TReportTextFit::fittingLength(font, text, suffix, rect, flags, &printer);
        },
        -1);
}

void QReportEngine::printToPrinter(bool maximisedPreview, bool direct, const QString& printerName)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!printerName.isEmpty()) {
        printer.setPrinterName(printerName);
        if (!printer.isValid())
            printer.setPrinterName(QPrinterInfo::defaultPrinterName());
    }
    if (direct)
        printDirect(printer);
    else
        showPreview(printer, maximisedPreview);
}

bool QReportEngine::printToPdfFile(const QString& path, bool open)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printPreview(&printer);
    if (!isCompletePdf(path))
        throw std::runtime_error(outputError(printer).toStdString());
    return open && desktopSessionPresent() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// Without a printer the output would go nowhere (or into an unnamed PDF)
// while the caller believes it printed.
void QReportEngine::printDirect(QPrinter& printer)
{
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty() ||
        !printer.isValid())
        throw std::runtime_error(tr("No printer is available").toStdString());
    printPreview(&printer);
    if (printer.printerState() == QPrinter::Error)
        throw std::runtime_error(tr("No printer is available").toStdString());
}

void QReportEngine::showPreview(QPrinter& printer, bool maximised)
{
    QPrintPreviewDialog dialog(&printer, this, Qt::Window);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        area.setLeft(5);
        area.setTop(30);
        area.adjust(0, 0, -6, -6);
        dialog.setGeometry(area);
    }
    // Rendering runs inside the dialog's event loop, which must not be left
    // by an exception: the error closes the dialog and is raised after it.
    QString error;
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* target) {
        try {
            printPreview(target);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
            dialog.reject();
        }
    });
    m_previewWidget = dialog.findChild<QPrintPreviewWidget*>();
    if (m_previewWidget) {
        if (maximised)
            m_previewWidget->setZoomMode(QPrintPreviewWidget::FitToWidth);
        m_previewWidget->installEventFilter(this);
    }
    dialog.exec();
    m_previewWidget = nullptr;
    if (!error.isEmpty())
        throw std::runtime_error(error.toStdString());
}

bool QReportEngine::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_previewWidget && event->type() == QEvent::Show)
        m_previewWidget->setCurrentPage(1);
    return QWidget::eventFilter(watched, event);
}

QString QReportEngine::outputError(const QPrinter& printer) const
{
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return tr("The PDF file could not be written: %1").arg(printer.outputFileName());
    return tr("No printer is available");
}

void QReportEngine::printPreview(QPrinter* printer)
{
    if (templatePages(m_document).isEmpty())
        throw std::runtime_error(tr("The report template has no pages").toStdString());
    m_printer = printer;
    setUpPage(0);
    if (!m_painter.begin(printer))
        throw std::runtime_error(outputError(*printer).toStdString());
    const PainterGuard guard(m_painter);
    m_fromPage = printer->fromPage();
    m_toPage = printer->toPage();
    emit progress(0, 0);
    runPass(false);
    m_totalPages = m_curPage;
    emit progress(1, m_totalPages);
    m_painter.resetTransform();
    runPass(true);
    m_painter.end();
}

void QReportEngine::runPass(bool drawing)
{
    m_drawing = drawing;
    m_curPage = 1;
    m_lineCounter = 0;
    m_sheetUsed = inRange(1);
    const int count = templatePages(m_document).size();
    for (int i = 0; i < count; ++i) {
        startTemplatePage(i);
        placeBody();
        if (!m_page.band(TReportPage::ReportSummary).isNull())
            placeFitting(TReportPage::ReportSummary,
                         m_page.printableHeight() - m_page.bandHeight(TReportPage::PageFooter),
                         false);
    }
}

void QReportEngine::setUpPage(int templatePage)
{
    m_page = TReportPage(templatePages(m_document).at(templatePage));
    m_page.applyTo(*m_printer, m_painter.isActive());
    const QRect area = m_printer->pageLayout().paintRectPixels(m_printer->resolution());
    m_scaleX = float(area.width()) / float(m_page.printableWidth());
    m_scaleY = float(area.height()) / float(m_page.printableHeight());
}

// Every template page starts a printed page: the first on the sheet the
// painter began with, the others on a new sheet (set up before the sheet
// starts, so a change of orientation applies to it).
void QReportEngine::startTemplatePage(int templatePage)
{
    m_group = -1;
    m_recNo = 0;
    m_templatePage = templatePage;
    setUpPage(templatePage);
    if (templatePage > 0)
        startSheet();
    m_y = 0;
    if (m_drawing)
        m_painter.setBackgroundMode(Qt::TransparentMode);
    placeBand(TReportPage::ReportTitle);
    placeBand(TReportPage::PageHeader);
    placePageFooter();
}

// Moves on to the next printed page. Pages outside the printer's range
// are laid out but get no sheet, so a range never yields blank sheets.
void QReportEngine::startSheet()
{
    const int next = m_curPage + 1;
    if (m_drawing) {
        emit progress(next, m_totalPages);
        if (inRange(next)) {
            if (m_sheetUsed)
                m_printer->newPage();
            m_sheetUsed = true;
        }
    }
    m_curPage = next;
}

void QReportEngine::startContinuationSheet()
{
    startSheet();
    m_y = 0;
    placeBand(TReportPage::PageHeader);
    placePageFooter();
}

bool QReportEngine::inRange(int page) const
{
    return page >= m_fromPage && (m_toPage == 0 || m_toPage >= page);
}

void QReportEngine::placeBand(TReportPage::BandType type)
{
    if (!m_page.band(type).isNull())
        m_y += layOutBand(type, m_y, drawsNow());
}

void QReportEngine::placePageFooter()
{
    if (m_page.band(TReportPage::PageFooter).isNull())
        return;
    layOutBand(TReportPage::PageFooter,
               m_page.printableHeight() - m_page.bandHeight(TReportPage::PageFooter), drawsNow());
}

// The records with their master header and footer; a page without records
// prints none of them.
void QReportEngine::placeBody()
{
    const int count = pageRecordCounts.value(m_templatePage, 0);
    if (count <= 0 || m_page.band(TReportPage::MasterData).isNull())
        return;
    placeBand(TReportPage::MasterHeader);
    if (m_page.band(TReportPage::DataGroupHeader).isNull())
        placeRecords(count);
    else
        placeGroupedRecords(count);
    placeBand(TReportPage::MasterFooter);
}

void QReportEngine::placeRecords(int count)
{
    for (int recNo = 0; recNo < count; ++recNo)
        placeRecord(recNo);
}

// Consecutive records with the same value of the group header's
// "groupingField" expression form a group, framed by the group header and
// footer; "startNewPage" 1 starts each further group on a new sheet and
// "startNewNumeration" 1 restarts "<LineNo>" in each group.
void QReportEngine::placeGroupedRecords(int count)
{
    const QDomElement header = m_page.band(TReportPage::DataGroupHeader);
    const QString groupingField = header.attribute(QStringLiteral("groupingField"));
    const bool newSheet = header.attribute(QStringLiteral("startNewPage")).toInt() == 1;
    const bool newNumbering = header.attribute(QStringLiteral("startNewNumeration")).toInt() == 1;
    QString key;
    for (int recNo = 0; recNo < count; ++recNo) {
        m_recNo = recNo;
        const QString value = m_expression.evaluate(groupingField);
        if (recNo == 0 || value != key) {
            if (recNo > 0) {
                m_recNo = recNo - 1;
                placeBand(TReportPage::DataGroupFooter);
                m_recNo = recNo;
                if (newSheet)
                    startContinuationSheet();
            }
            key = value;
            ++m_group;
            if (newNumbering)
                m_lineCounter = 0;
            placeBand(TReportPage::DataGroupHeader);
        }
        placeRecord(recNo);
    }
    placeBand(TReportPage::DataGroupFooter);
    m_group = -1;
}

void QReportEngine::placeRecord(int recNo)
{
    m_recNo = recNo;
    ++m_lineCounter;
    placeFitting(TReportPage::MasterData,
                 m_page.printableHeight() - m_page.bandHeight(TReportPage::MasterFooter) -
                     m_page.bandHeight(TReportPage::PageFooter),
                 true);
}

// Places a band at the cursor after measuring it; when it would reach
// below `limit` (strictly), it goes to a new sheet first.
void QReportEngine::placeFitting(TReportPage::BandType type, int limit, bool repeatMasterHeader)
{
    const int height = layOutBand(type, m_y, false);
    if (m_y + height > limit) {
        startContinuationSheet();
        if (repeatMasterHeader)
            placeBand(TReportPage::MasterHeader);
    }
    m_y += drawsNow() ? layOutBand(type, m_y, true) : height;
}

// Measures the visible fields (auto-height labels may grow the band's
// "realHeight"), then draws them when asked; answers the real height.
int QReportEngine::layOutBand(TReportPage::BandType type, int top, bool draw)
{
    QDomElement band = m_page.band(type);
    m_currentBand = type;
    const bool groupScope = band.attribute(QStringLiteral("showInGroup")).toInt() == 1;
    m_aggregates->setScope(m_templatePage, groupScope ? m_group : -1);
    band.setAttribute(QStringLiteral("realHeight"), band.attribute(QStringLiteral("height")).toInt());
    QList<QDomElement> visible;
    for (const QDomElement& field : childElements(band, QStringLiteral("TContainerField"))) {
        if (TReportField::isVisible(field, m_expression))
            visible.append(field);
    }
    for (const QDomElement& field : visible)
        runField(field, band, top, false);
    if (draw) {
        for (const QDomElement& field : visible)
            runField(field, band, top, true);
    }
    m_currentBand = TReportPage::BandTypeCount;
    return realHeight(band);
}

void QReportEngine::runField(const QDomElement& element, const QDomElement& band, int top,
                             bool draw)
{
    const TReportField field(element, m_expression);
    const QRect rect = field.deviceRect(m_scaleX, m_scaleY, top, realHeight(band));
    if (draw)
        drawFieldBody(field, rect);
    if (field.type() == TReportField::Label)
        layOutLabelText(field, rect, band, draw);
}

void QReportEngine::drawFieldBody(const TReportField& field, const QRect& rect)
{
    if (field.isShape()) {
        field.drawShape(m_painter, rect, m_scaleX, m_scaleY);
        return;
    }
    field.drawBackground(m_painter, rect);
    switch (field.type()) {
    case TReportField::LabelImage:
        drawLabelImage(field, rect);
        break;
    case TReportField::Image:
        field.drawImage(m_painter, rect);
        break;
    case TReportField::Diagram:
        drawDiagram(field, rect);
        break;
    default:
        break;
    }
    field.drawBorders(m_painter, rect);
}

// The application draws into the field's rectangle; the painter is clipped
// to it and restored afterwards.
void QReportEngine::drawLabelImage(const TReportField& field, const QRect& rect)
{
    m_painter.save();
    m_painter.setClipRect(rect);
    int recNo = m_recNo;
    QString name = field.parameterName();
    QRect bounds = rect;
    emit drawing(recNo, name, m_painter, bounds, m_templatePage);
    m_painter.restore();
}

// A chart filled by the application ("autoFillData" 0) or from the
// field's child elements, one graph each.
void QReportEngine::drawDiagram(const TReportField& field, const QRect& rect)
{
    const QDomElement& element = field.element();
    const auto flag = [&](const char* name) {
        return element.attribute(QLatin1String(name), QStringLiteral("1")).toInt() != 0;
    };
    Chart chart;
    chart.setObjectName(element.attribute(QStringLiteral("name")));
    chart.setCaption(element.attribute(QStringLiteral("caption"), QStringLiteral("Example")));
    chart.setShowPercent(flag("showPercent"));
    chart.setShowGraphCaption(flag("showGraphCaption"));
    chart.setShowCaption(flag("showCaption"));
    chart.setShowLegend(flag("showLegend"));
    chart.setShowGrid(flag("showGrid"));
    chart.setScale(m_scaleX, m_scaleY);
    chart.setGeometry(rect);
    if (element.attribute(QStringLiteral("autoFillData"), QStringLiteral("0")) == QLatin1String("0")) {
        emit setValueDiagram(chart);
    } else {
        chart.clearGraphs();
        for (const QDomElement& graph : childElements(element))
            chart.addGraph(m_expression.evaluate(graph.attribute(QStringLiteral("value"))).toDouble(),
                           TReportColor::parse(graph.attribute(QStringLiteral("color"))),
                           graph.attribute(QStringLiteral("caption")));
    }
    chart.paintTo(m_painter);
}

// Label text is laid out in both passes: measuring lets an auto-height
// label grow its band so that the whole text fits below the field's top.
// A label of fixed height keeps its text inside its rectangle.
void QReportEngine::layOutLabelText(const TReportField& field, const QRect& rect,
                                    QDomElement band, bool draw)
{
    const QString text = m_expression.evaluate(field.value(), field.format());
    m_painter.setFont(field.font());
    QPen pen = field.borderPen();
    pen.setColor(field.fontColor());
    m_painter.setPen(pen);
    const QRect textRect = TReportField::textRect(rect);
    if (draw && !field.autoHeight()) {
        const TReportTextFit fitted =
            TReportTextFit::fit(field.font(), text, textRect, field.textFlags(), m_painter.device());
        m_painter.setFont(fitted.font);
        m_painter.drawText(textRect, field.textFlags(), fitted.text);
        return;
    }
    if (draw) {
        m_painter.drawText(textRect, field.textFlags(), text);
        return;
    }
    if (!field.autoHeight())
        return;
    const QRect bounding = m_painter.boundingRect(textRect, field.textFlags(), text);
    const int needed = field.top() + int(std::lround(bounding.height() / m_scaleY));
    if (needed > realHeight(band))
        band.setAttribute(QStringLiteral("realHeight"), needed);
}

QString QReportEngine::parameterText(const QString& name)
{
    int recNo = m_recNo;
    QString paramName = name;
    QVariant value;
    emit setValue(recNo, paramName, value, m_templatePage);
    if (m_currentBand == TReportPage::MasterData)
        m_aggregates->collect(m_templatePage, name, m_recNo, m_group, value);
    return value.toString();
}

int QReportEngine::lineNo() const
{
    return m_group >= 0 ? m_lineCounter : m_recNo + 1;
}
