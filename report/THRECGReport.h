#pragma once

#include "analysis/latepotentials/TLatePotentialsAssessment.h"
#include "report/TReportOptions.h"
#include "report/engine/TReportTextFit.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

class QImage;
class QPainter;
class QRect;
class QReportEngine;
class TLatePotentials;
class TStudy;

// Fills a built-in report template with one study: chooses the template of
// the first page's layout, removes the pages the user left out, and
// answers the template engine's requests for values (patient and study
// data, measurements, filters, late-potential parameters) and drawings
// (logos, ECG traces, averaged beats, late-potential curve). One object
// serves one output.
class THRECGReport : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* TemplateLoadError = "Cannot load report resource file";

    // The study and the analysis are not owned and must outlive the report.
    THRECGReport(TStudy* study, const TLatePotentials* latePotentials, QObject* parent = nullptr);
    ~THRECGReport() override;

    void setOptions(const TReportOptions& options) { m_options = options; }
    const TReportOptions& options() const { return m_options; }
    // Whether a saved PDF is handed to the desktop's handler (the default);
    // tests and tools switch it off.
    void setOpenPdf(bool open) { m_openPdf = open; }

    // Prints on the system's default printer, without dialog. Throws
    // std::runtime_error when the template cannot be loaded or no printer
    // is available.
    void printReport();
    // Writes the report into the PDF file, then opens it (see setOpenPdf);
    // answers whether the desktop took it to open. Throws
    // std::runtime_error when the template cannot be loaded or the file
    // cannot be written.
    bool saveReportPdf(const QString& path);

    // How the conclusion fits its box on the first page of the layout's
    // template: whole, in a smaller font, or cut (it then continues on an
    // added second page). Throws as printing does
    // when the template cannot be loaded.
    TReportTextFit::Outcome conclusionFit();

    // Measurements in whole milliseconds: "PR", "QRS", "QT", "QTc", "RR",
    // each present only when the study's wave marks allow it.
    const QMap<QString, int>& measures() const { return m_measures; }

signals:
    void progress(int pageNum, int totalPageNum);

public slots:
    void reportValue(int& recNo, QString& paramName, QVariant& paramValue, int reportPage);
    // The templates have no image parameters; nothing is answered.
    void reportImage(int& recNo, QString& paramName, QImage& paramValue, int reportPage);
    void reportDrawing(int& recNo, QString& paramName, QPainter& painter, QRect& bounds, int reportPage);

private:
    // The template page on which a long conclusion continues.
    static constexpr int ContinuationPage = 1;

    void computeMeasures();
    void loadTemplate();
    void prepareTemplate();
    void splitConclusion();

    // The value of a parameter; invalid when the name is not answered.
    QVariant value(const QString& name) const;
    QString studyProperty(const QString& key) const;
    QString studyDate() const;
    QString patientBmi() const;
    QString riskFactors() const;
    QString measurement(const QString& key) const;
    QString filterList() const;
    QString electrodesOff() const;
    // Why the verdict cannot be given, in the language of the template.
    QStringList reasons() const;
    // Whether the template's fixed texts are Spanish.
    bool spanish() const;
    // A filter word of ecgFilters in the language of the template.
    QString filterWord(const char* english) const;
    QVariant latePotentialParameter(const QString& name) const;
    // Noise, beats, criteria and verdict of the late potentials, as the
    // review window shows them for the same analysis.
    QVariant latePotentialAssessment(const QString& name) const;

    void drawEcgGraphic(QPainter& painter, const QRect& bounds, const QString& code) const;
    void drawBeatGraphic(QPainter& painter, const QRect& bounds, int leadMask, bool withMarks) const;
    void drawLatePotentials(QPainter& painter, const QRect& bounds) const;
    // Index of the study's ECG channel named as the rhythm lead; 0 without one.
    int rhythmLeadIndex() const;

    TStudy* m_study;
    const TLatePotentials* m_latePotentials;
    TReportOptions m_options;
    std::unique_ptr<QReportEngine> m_engine;
    QMap<QString, int> m_measures;
    TLatePotentialsAssessment m_assessment;
    bool m_openPdf = true;
    // A conclusion too long for its box: what prints there, with the note
    // that it continues, and the rest; both empty when it fits.
    QString m_conclusionHead;
    QString m_conclusionRest;
};
