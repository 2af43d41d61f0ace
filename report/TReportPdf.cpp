#include "report/TReportPdf.h"

#include "report/THRECGReport.h"
#include "report/TReportOptions.h"

#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>

namespace TReportPdf {

QByteArray of(TStudy& study, const TLatePotentials& potentials)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("report.pdf"));
    TReportOptions options;
    // The review window opens with its three display filters on.
    options.notchFilter = options.muscleFilter = options.baselineFilter = true;
    THRECGReport report(&study, &potentials);
    report.setOptions(options);
    report.setOpenPdf(false);
    report.saveReportPdf(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The PDF report could not be read back");
    return file.readAll();
}

} // namespace TReportPdf
