#pragma once

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

// Reads PDF files back with the poppler command-line tools.
namespace PdfTools {

int pageCount(const QString& pdf);
// Page sizes in points, in page order.
QList<QSizeF> pageSizes(const QString& pdf);
// The text of one page (1-based), with runs of white space collapsed and
// ligatures split.
QString pageText(const QString& pdf, int page);
// One page rendered at the given resolution.
QImage renderPage(const QString& pdf, int page, int dpi);

} // namespace PdfTools
