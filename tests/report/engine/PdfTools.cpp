#include "PdfTools.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <stdexcept>

namespace PdfTools {

namespace {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error(QString(program + QStringLiteral(" failed: ") +
                                         QString::fromLocal8Bit(process.readAllStandardError()))
                                     .toStdString());
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

int pageCount(const QString& pdf)
{
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"),
                                          QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = pages.match(run(QStringLiteral("pdfinfo"), {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QList<QSizeF> pageSizes(const QString& pdf)
{
    static const QRegularExpression size(
        QStringLiteral("^Page\\s+\\d+ size:\\s+([\\d.]+) x ([\\d.]+) pts"),
        QRegularExpression::MultilineOption);
    const QString info = run(QStringLiteral("pdfinfo"),
                             {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                              QString::number(pageCount(pdf)), pdf});
    QList<QSizeF> sizes;
    auto matches = size.globalMatch(info);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        sizes.append(QSizeF(match.captured(1).toDouble(), match.captured(2).toDouble()));
    }
    return sizes;
}

QString pageText(const QString& pdf, int page)
{
    const QString text = run(QStringLiteral("pdftotext"),
                             {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                              QString::number(page), pdf, QStringLiteral("-")});
    // Ligatures ("ﬁ") read back as their letters.
    return text.normalized(QString::NormalizationForm_KC).simplified();
}

QImage renderPage(const QString& pdf, int page, int dpi)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QString::number(page),
         QStringLiteral("-l"), QString::number(page), QStringLiteral("-singlefile"),
         QStringLiteral("-png"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".png"));
}

} // namespace PdfTools
