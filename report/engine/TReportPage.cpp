#include "report/engine/TReportPage.h"

#include <QPageSize>
#include <QPrinter>
#include <QStringList>

namespace {

int intAttribute(const QDomElement& element, const char* name)
{
    return element.attribute(QLatin1String(name)).toInt();
}

// Template units to millimetres: whole millimetres, plus a hundredth so
// that margins never fall below the whole value after unit conversions.
double marginMillimetres(int units)
{
    return units / 4 + 0.01;
}

} // namespace

TReportPage::TReportPage(const QDomElement& report)
    : m_pageWidth(intAttribute(report, "pageWidth")),
      m_pageHeight(intAttribute(report, "pageHeight")),
      m_marginsLeft(intAttribute(report, "marginsLeft")),
      m_marginsRight(intAttribute(report, "marginsRight")),
      m_marginsTop(intAttribute(report, "marginsTop")),
      m_marginsBottom(intAttribute(report, "marginsBottom")),
      m_landscape(intAttribute(report, "orientation") != 0)
{
    static const QStringList typeNames = {
        QStringLiteral("ReportTitle"),     QStringLiteral("PageHeader"),
        QStringLiteral("DataGroupHeader"), QStringLiteral("MasterHeader"),
        QStringLiteral("MasterData"),      QStringLiteral("MasterFooter"),
        QStringLiteral("DataGroupFooter"), QStringLiteral("ReportSummary"),
        QStringLiteral("PageFooter"),
    };
    for (QDomElement band = report.firstChildElement(QStringLiteral("ReportBand")); !band.isNull();
         band = band.nextSiblingElement(QStringLiteral("ReportBand"))) {
        const int type = typeNames.indexOf(band.attribute(QStringLiteral("type")));
        if (type >= 0 && m_bands[type].isNull())
            m_bands[type] = band;
    }
}

void TReportPage::applyTo(QPrinter& printer, bool printing) const
{
    printer.setPageOrientation(m_landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (!printing) {
        // The paper is given in portrait terms; the orientation turns it.
        QSizeF paper(m_pageWidth / 4, m_pageHeight / 4);
        if (m_landscape)
            paper.transpose();
        printer.setPageSize(
            QPageSize(paper, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch));
    }
    printer.setPageMargins(QMarginsF(marginMillimetres(m_marginsLeft),
                                     marginMillimetres(m_marginsTop),
                                     marginMillimetres(m_marginsRight),
                                     marginMillimetres(m_marginsBottom)),
                           QPageLayout::Millimeter);
}

int TReportPage::bandHeight(BandType type) const
{
    return intAttribute(m_bands[type], "height");
}
