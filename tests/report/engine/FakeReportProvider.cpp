#include "FakeReportProvider.h"

#include "report/engine/Chart.h"
#include "report/engine/QReportEngine.h"

#include <QPainter>
#include <QPixmap>

FakeReportProvider::FakeReportProvider(QReportEngine& engine)
{
    connect(&engine, &QReportEngine::setValue, this, &FakeReportProvider::answer);
    connect(&engine, &QReportEngine::drawing, this, &FakeReportProvider::draw);
    connect(&engine, &QReportEngine::setValueDiagram, this, &FakeReportProvider::fillDiagram);
    connect(&engine, &QReportEngine::progress, this,
            [this](int page, int total) { progressCalls.append({page, total}); });
}

void FakeReportProvider::answer(int& recNo, QString& paramName, QVariant& paramValue, int)
{
    requestedNames.append(paramName);
    if (paramName == QLatin1String("recNo"))
        paramValue = recNo;
    else if (perRecord.contains(paramName))
        paramValue = perRecord.value(paramName).value(recNo);
    else if (values.contains(paramName))
        paramValue = values.value(paramName);
}

void FakeReportProvider::draw(int&, QString& paramName, QPainter& painter, QRect& bounds,
                              int reportPage)
{
    drawings.append(Drawing{paramName, bounds, painter.clipBoundingRect().toAlignedRect(),
                            reportPage});
    if (paramName == QLatin1String("brandLogo")) {
        const QPixmap logo(QStringLiteral(":/res/logo-pulsorix-report.png"));
        const QPixmap scaled = logo.scaled(bounds.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawPixmap(bounds.center().x() - scaled.width() / 2,
                           bounds.center().y() - scaled.height() / 2, scaled);
        return;
    }
    painter.setPen(QPen(Qt::darkGreen, 8));
    painter.drawRect(bounds.adjusted(20, 20, -20, -20));
    painter.setFont(QFont(QStringLiteral("Helvetica"), 9));
    painter.drawText(bounds, Qt::AlignCenter, paramName);
}

void FakeReportProvider::fillDiagram(Chart& chart)
{
    ++diagramRequests;
    if (diagramGraphs.isEmpty())
        return;
    chart.clearGraphs();
    for (const auto& graph : diagramGraphs)
        chart.addGraph(graph.first, graph.second.first, graph.second.second);
}
