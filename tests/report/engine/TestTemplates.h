#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Small report templates written out for a test: portrait A4 pages with
// 10 mm margins (760 x 1108 printable units) unless the page attributes
// say otherwise.
namespace TestTemplates {

inline QString label(int left, int top, const QString& value, const QString& extra = QString())
{
    return QStringLiteral("<TContainerField type=\"label\" left=\"%1\" top=\"%2\" width=\"600\" "
                          "height=\"20\" fontSize=\"10\" value=\"%3\" %4/>")
        .arg(left)
        .arg(top)
        .arg(value.toHtmlEscaped(), extra);
}

inline QString band(const QString& type, int height, const QString& fields)
{
    return QStringLiteral("<ReportBand type=\"%1\" height=\"%2\">%3</ReportBand>")
        .arg(type)
        .arg(height)
        .arg(fields);
}

inline QString page(const QString& bands,
                    const QString& attributes = QStringLiteral(
                        "pageWidth=\"840\" pageHeight=\"1188\" orientation=\"0\""))
{
    return QStringLiteral("<Report %1 marginsLeft=\"40\" marginsRight=\"40\" marginsTop=\"40\" "
                          "marginsBottom=\"40\">%2</Report>")
        .arg(attributes, bands);
}

inline QString landscapeAttributes()
{
    return QStringLiteral("pageWidth=\"1188\" pageHeight=\"840\" orientation=\"1\"");
}

// Writes <Reports>pages</Reports> into the folder and answers its path.
inline QString write(const QTemporaryDir& dir, const QString& pages,
                     const QString& name = QStringLiteral("template.xml"))
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write((QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Reports>") + pages +
                    QStringLiteral("</Reports>"))
                       .toUtf8());
    return path;
}

} // namespace TestTemplates
