#pragma once

#include "report/engine/TReportExpression.h"
#include "report/engine/TReportPage.h"
#include "report/engine/TReportTextFit.h"

#include <QDomDocument>
#include <QList>
#include <QPainter>
#include <QString>
#include <QVariant>
#include <QWidget>

class Chart;
class QImage;
class QPicture;
class QPrinter;
class QPrintPreviewWidget;
class TReportAggregates;
class TReportField;

// Renders an XML report template onto a printer, a print preview or a PDF
// file. The template is a sequence of template pages (Report elements),
// each a stack of bands of fields; the engine lays the bands out page by
// page, once to count the printed pages and once to draw them, and asks
// the application for every parameter value and every drawing through its
// signals, which are delivered directly during layout.
class QReportEngine : public QWidget, private TReportExpression::Source
{
    Q_OBJECT
public:
    explicit QReportEngine(QWidget* parent = nullptr);
    ~QReportEngine() override;

    // Reads the template (resource paths included); false when the file
    // cannot be opened or is not well-formed XML. Record counts are kept.
    bool loadTemplate(const QString& fileName);
    // Removes the template pages at the given indices, all counted in the
    // order before any removal.
    void removeTemplatePages(const QList<int>& indices);
    // The language of the template's fixed texts (the "language" attribute
    // of its document element, such as "es"); empty when it does not say.
    QString templateLanguage() const;
    // How the text of the first fixed-height label of the first template
    // page that shows the parameter fits its rectangle on paper, so that
    // the application can warn before printing; Fits without such a label.
    TReportTextFit::Outcome labelFit(const QString& parameter);
    // How many characters of that label's text fit it at the smallest
    // readable size with `suffix` after them (TReportTextFit::
    // fittingLength); the text's whole length when it fits, -1 without
    // such a label.
    int labelFittingLength(const QString& parameter, const QString& suffix);

    // Prints on the named printer (the default printer when the name is
    // empty or unknown): directly, or through a modal print preview.
    // Direct printing throws std::runtime_error "No printer is available"
    // when there is no printer or it cannot be opened.
    void printToPrinter(bool maximisedPreview, bool direct, const QString& printerName);
    // Renders into a PDF file and, when `open` is set and a desktop session
    // is present, opens it with the desktop's handler; answers whether it
    // was handed to one. Throws std::runtime_error when the file cannot be
    // written completely.
    bool printToPdfFile(const QString& path, bool open);

    // One entry per template page: how many records its MasterData band
    // prints. The application appends them before printing.
    QList<int> pageRecordCounts;

signals:
    // Asked for every parameter token of a label, "printing" or
    // highlighting text; an unanswered request reads as an empty text.
    void setValue(int& recNo, QString& paramName, QVariant& paramValue, int reportPage);
    // Image and picture parameters: part of the receiving interface, but
    // no field type of the template format asks for them.
    void setValueImage(int& recNo, QString& paramName, QImage& paramValue, int reportPage);
    void setValuePicture(int& recNo, QString& paramName, QPicture& paramValue, QRect& bounds,
                         int reportPage);
    // A diagram field whose data the application supplies.
    void setValueDiagram(Chart& chart);
    // A labelImage field: draw into bounds (the painter is clipped to it).
    void drawing(int& recNo, QString& paramName, QPainter& painter, QRect& bounds,
                 int reportPage);
    // (0, 0) at the start, (1, total) once the pages are counted, then
    // (n, total) before each further printed page n.
    void progress(int pageNum, int totalPageNum);

public slots:
    // Renders the whole report on the printer. Throws std::runtime_error
    // when the printer cannot be opened.
    void printPreview(QPrinter* printer);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the first fixed-height label of the first template page showing
    // [parameter] answers to `measure` (font, text, text rectangle, flags
    // and printer); `absent` without such a label.
    template <typename Measure, typename Answer>
    Answer measureLabel(const QString& parameter, Measure measure, Answer absent);

    // TReportExpression::Source
    QString parameterText(const QString& name) override;
    int page() const override { return m_curPage; }
    int totalPages() const override { return m_totalPages; }
    int lineNo() const override;

    void printDirect(QPrinter& printer);
    void showPreview(QPrinter& printer, bool maximised);
    void runPass(bool drawing);
    void setUpPage(int templatePage);
    void startTemplatePage(int templatePage);
    void startSheet();
    void startContinuationSheet();
    QString outputError(const QPrinter& printer) const;
    bool inRange(int page) const;
    bool drawsNow() const { return m_drawing && inRange(m_curPage); }

    void placeBand(TReportPage::BandType type);
    void placePageFooter();
    void placeBody();
    void placeRecords(int count);
    void placeGroupedRecords(int count);
    void placeRecord(int recNo);
    void placeFitting(TReportPage::BandType type, int limit, bool repeatMasterHeader);

    int layOutBand(TReportPage::BandType type, int top, bool draw);
    void runField(const QDomElement& element, const QDomElement& band, int top, bool draw);
    void drawFieldBody(const TReportField& field, const QRect& rect);
    void drawLabelImage(const TReportField& field, const QRect& rect);
    void drawDiagram(const TReportField& field, const QRect& rect);
    void layOutLabelText(const TReportField& field, const QRect& rect, QDomElement band, bool draw);

    QDomDocument m_document;
    QPainter m_painter;
    QPrinter* m_printer = nullptr;
    TReportAggregates* m_aggregates;
    TReportExpression m_expression;
    TReportPage m_page;
    // The band being laid out (BandTypeCount between bands): parameter
    // values answered for MasterData records feed the aggregates.
    TReportPage::BandType m_currentBand = TReportPage::BandTypeCount;
    float m_scaleX = 1;
    float m_scaleY = 1;
    bool m_drawing = false;
    // Whether the printer's current sheet already holds a printed page.
    bool m_sheetUsed = false;
    int m_y = 0;
    int m_curPage = 1;
    int m_totalPages = 0;
    int m_fromPage = 0;
    int m_toPage = 0;
    int m_recNo = 0;
    int m_templatePage = 0;
    int m_lineCounter = 0;
    // Index of the current record group, -1 outside grouped records.
    int m_group = -1;
    QPrintPreviewWidget* m_previewWidget = nullptr;
};
