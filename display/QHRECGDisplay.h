#pragma once

#include "display/TDisplayBuffer.h"

#include <QColor>
#include <QString>
#include <QVector>
#include <QWidget>

class TLatePotentials;

// The filtered vector magnitude of the late-potential analysis over the
// 0.4 s around the QRS complex, on a 0 to 100 uV scale, with two draggable
// markers for the QRS onset and offset, the shaded RMS interval, the LAS
// threshold and the three results. Drawing goes into a pixmap copied on
// paint.
class QHRECGDisplay : public QWidget
{
    Q_OBJECT

public:
    enum Marker { QrsOnset = 0, QrsOffset = 1, MarkerCount };
    // Seconds shown, centred on the averaged beat's centre.
    static constexpr double ShownSpan = 0.4;
    // Vector magnitude at the top edge, in millivolts.
    static constexpr double FullScale = 0.1;

    explicit QHRECGDisplay(QWidget* parent = nullptr);
    ~QHRECGDisplay() override;

    // The analysis shown (not owned); none clears the display.
    void setData(const TLatePotentials* data);
    // The samples [start, start + length) of the averaged beat over which
    // the noise is measured, shaded behind the curve; length 0 hides it.
    void setNoiseWindow(int start, int length);
    // The settings the figures are computed at, written under them when
    // they are not the standard ones ("at 25 Hz"); empty for none.
    void setSettingsLabel(const QString& label);
    const TLatePotentials* data() const { return m_data; }
    // Marker times are seconds from the first sample of the averaged beat.
    void setMarkerTime(int index, double seconds);
    double markerTime(int index) const;
    // The marker under the pointer or being dragged; -1 for none.
    int activeMarker() const { return m_activeMarker; }
    double startTime() const { return m_start; }
    double timeSpan() const { return m_span; }
    void refresh();

signals:
    void cursorChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    struct MarkerEntry
    {
        double time;
        QColor color;
        QString label;
    };

    bool isValidMarker(int index) const { return index >= 0 && index < m_markers.size(); }
    // The pixmap covers the widget: its logical size is the widget's.
    double pixmapWidth() const { return QWidget::width(); }
    double pixmapHeight() const { return QWidget::height(); }
    double xOfTime(double seconds) const;
    double yOfValue(double millivolts) const;
    // Vector-magnitude indices of [from, to) seconds, within the curve.
    void sampleRange(double from, double to, int& first, int& end) const;
    void hover(double x);
    // The shown span: 0.4 s, or up to the end of the noise window when a
    // late QRS offset pushes it further.
    void fitSpan();

    void render();
    void drawScale(QPainter& painter) const;
    void drawScaleLabels(QPainter& painter) const;
    void drawRmsArea(QPainter& painter) const;
    void drawNoiseWindow(QPainter& painter) const;
    void drawMagnitude(QPainter& painter) const;
    void drawMarkers(QPainter& painter) const;
    void drawResults(QPainter& painter) const;
    void drawLasThreshold(QPainter& painter) const;

    const TLatePotentials* m_data = nullptr;
    TDisplayBuffer m_pixmap;
    QVector<MarkerEntry> m_markers;
    int m_activeMarker = -1;
    int m_noiseStart = 0;
    int m_noiseLength = 0;
    QString m_settingsLabel;
    double m_start = 0.0;
    double m_span = 0.0;
};
