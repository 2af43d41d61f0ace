#pragma once

#include <QColor>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QRect>
#include <QString>
#include <QVariant>

class Chart;
class QPainter;
class QReportEngine;

// Stands in for the application behind a report engine: answers parameter
// requests from a table, draws every drawing request as an outlined box
// with its name in it (the brand logo from the resources), and records
// what it was asked.
class FakeReportProvider : public QObject
{
    Q_OBJECT
public:
    struct Drawing
    {
        QString name;
        QRect bounds;
        QRect clip;
        int reportPage;
    };

    explicit FakeReportProvider(QReportEngine& engine);

    // Answers for parameter names; "recNo" is always answered with the
    // record number of the request.
    QMap<QString, QVariant> values;
    // Answers that differ by record: entry recNo of the list.
    QMap<QString, QVariantList> perRecord;
    // Graphs a diagram request is filled with (value, colour, caption).
    QList<QPair<double, QPair<QColor, QString>>> diagramGraphs;

    QStringList requestedNames;
    QList<Drawing> drawings;
    QList<QPair<int, int>> progressCalls;
    int diagramRequests = 0;

private slots:
    void answer(int& recNo, QString& paramName, QVariant& paramValue, int reportPage);
    void draw(int& recNo, QString& paramName, QPainter& painter, QRect& bounds, int reportPage);
    void fillDiagram(Chart& chart);
};
