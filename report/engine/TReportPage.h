#pragma once

#include <QDomElement>
#include <QtGlobal>

#include <array>

class QPrinter;

// The page set-up and the bands of one template page (a Report element).
// Sizes are template units, a quarter of a millimetre each.
class TReportPage
{
public:
    enum BandType {
        ReportTitle,
        PageHeader,
        DataGroupHeader,
        MasterHeader,
        MasterData,
        MasterFooter,
        DataGroupFooter,
        ReportSummary,
        PageFooter,
        BandTypeCount
    };

    explicit TReportPage(const QDomElement& report = QDomElement());

    // Sets orientation and margins on the printer, and the paper size too
    // while it is not printing yet (the paper cannot change mid-document).
    void applyTo(QPrinter& printer, bool printing) const;

    // The band of that type, null when the page has none.
    QDomElement band(BandType type) const { return m_bands[type]; }
    // The designed height of the band, 0 when the page has none.
    int bandHeight(BandType type) const;
    int printableWidth() const { return qMax(1, m_pageWidth - m_marginsLeft - m_marginsRight); }
    int printableHeight() const { return qMax(1, m_pageHeight - m_marginsTop - m_marginsBottom); }

private:
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    int m_marginsLeft = 0;
    int m_marginsRight = 0;
    int m_marginsTop = 0;
    int m_marginsBottom = 0;
    bool m_landscape = false;
    std::array<QDomElement, BandTypeCount> m_bands;
};
