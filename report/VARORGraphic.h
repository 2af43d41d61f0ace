#pragma once

#include <QObject>
#include <QString>

class QPainter;
class QRect;
class TLatePotentials;
class TPaperUnits;

// The late-potential curve: the vector magnitude of the filtered
// orthogonal leads over 0.4 s around the QRS, on a 0 to 100 uV scale, with
// the terminal RMS area shaded, the QRS limits marked and the results
// QRSD, RMS and LAS written beside the QRS offset.
class VARORGraphic : public QObject
{
    Q_OBJECT
public:
    static constexpr double WindowLength = 0.4;       // s
    static constexpr double WindowBeforeCentre = 0.2; // s
    static constexpr double FullScale = 0.1;          // mV over the rectangle's height

    explicit VARORGraphic(QObject* parent = nullptr);

    // The analysis drawn; the window starts 0.2 s before the beat's centre.
    void setAnalysis(const TLatePotentials* analysis);
    // Written under the three results: the settings they are computed at
    // when those are not the standard ones; empty for none.
    void setSettingsLabel(const QString& label) { m_settingsLabel = label; }

    void draw(QPainter& painter, const QRect& rect);

private:
    double time(int index) const;
    double x(const QRect& rect, double seconds) const;
    double y(const QRect& rect, double millivolts) const;
    // A sample index kept inside the vector magnitude.
    int insideCurve(int index) const;

    double gridLineY(const QRect& rect, int line) const;
    void drawGrid(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawScale(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawCurve(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawLabels(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;

    const TLatePotentials* m_analysis = nullptr;
    double m_windowStart = 0.0;
    double m_windowLength = 0.0;
    QString m_settingsLabel;
};
