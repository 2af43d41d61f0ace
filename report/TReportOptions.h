#pragma once

#include <QString>

// What a report contains: the choices of the report dialog.
struct TReportOptions
{
    // Layouts of the first page.
    enum Layout { Layout12by1 = 0, Layout6by2 = 1, Layout4by3 = 2 };

    bool notchFilter = false;
    bool muscleFilter = false;
    bool baselineFilter = false;
    // The averaged beat of each lead at the left of its trace.
    bool showAverage = false;
    int layout = Layout12by1;
    // Channel name of the rhythm strip.
    QString rhythmLead = QStringLiteral("II");
    // Leads superimposed in the combined averaged beat (bit i = lead i).
    int averageLeadMask = 1;
    // Recording time at which the printed traces begin (s).
    double startTime = 0.0;
    // Keep the pages of the combined averaged beat with its measurements,
    // of the averaged beat per lead, and of the late potentials.
    bool printAverageMeasures = true;
    bool printLeadAverage = true;
    bool printLatePotentials = true;
    QString logoFileName;
    QString headerTitle;
    QString headerInfo;
};
