#pragma once

#include "display/TDisplayBuffer.h"

#include <QColor>
#include <QPoint>
#include <QString>
#include <QVector>
#include <QWidget>

#include <vector>

class TLiveBeatAverager;

// The averaged beats of the selected leads on ECG paper, with seven
// draggable wave markers and the intervals between them. The one-second
// averaged beat spans the width; a major square is 0.2 s wide and the gain
// gives the millivolts per two major squares. The view can be magnified
// (1 to 5) around a pan origin and dragged. Drawing goes into a pixmap
// that is redrawn only after a change.
class QBeatDisplayZoom : public QWidget
{
    Q_OBJECT

public:
    enum Marker { POnset = 0, POffset, PPeak, QrsOnset, QrsOffset, TOnset, TOffset, MarkerCount };
    static constexpr int MaxZoom = 5;

    explicit QBeatDisplayZoom(QWidget* parent = nullptr);
    ~QBeatDisplayZoom() override;

    // The averager whose averages are drawn (not owned).
    void setAverager(const TLiveBeatAverager* averager);
    const TLiveBeatAverager* averager() const { return m_averager; }
    // Bit i set shows lead i.
    void setLeadMask(quint32 mask);
    quint32 leadMask() const { return m_leadMask; }
    void showSingleLead(int lead);
    // Gain in mm/mV.
    void setGain(double gain);
    double gain() const { return m_gain; }
    // Factors 1 to 5 centre the view; other values are ignored.
    void setZoom(int factor);
    int zoom() const { return m_zoom; }
    // Marker times are seconds from the first sample of the averaged beat.
    void setMarkerTime(int index, double seconds);
    double markerTime(int index) const;
    void setMarkerShown(int index, bool shown);
    bool isMarkerShown(int index) const;
    // The marker under the pointer or being dragged; -1 for none.
    int activeMarker() const { return m_activeMarker; }
    QPoint panOrigin() const { return QPoint(m_panX, m_panY); }
    void refresh();

signals:
    void cursorChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct MarkerEntry
    {
        bool shown;
        double time;
        QColor color;
        QString label;
    };

    bool isValidMarker(int index) const { return index >= 0 && index < m_markers.size(); }
    double beatSeconds() const;
    // The pixmap covers the widget: its logical size is the widget's.
    double pixmapWidth() const { return QWidget::width(); }
    double pixmapHeight() const { return QWidget::height(); }
    double xOfTime(double seconds) const;
    double pixelsPerMillivolt() const;
    QVector<int> shownLeads() const;
    // Pixmap position of a widget position, and back.
    QPointF toPixmap(const QPointF& point) const;
    QPointF toWidget(const QPointF& point) const;
    void redraw();
    void clampPan();
    void dragMarker(const QPoint& position);
    void pan(const QPoint& position);
    void hover(const QPoint& position);
    void restoreCursor();

    void render();
    void drawBeats(QPainter& painter, const QVector<int>& leads) const;
    void drawMarkers(QPainter& painter) const;
    void drawIntervals(QPainter& painter) const;
    void drawSingleLeadAids(QPainter& painter, int lead) const;
    // Dotted lines at the level at marker `from` and at `level`, and their
    // difference in the `row`-th line under the title.
    void drawAmplitudeLevel(QPainter& painter, const std::vector<double>& beat, int from, int to,
                            double level, int row) const;
    void drawPSlope(QPainter& painter, const std::vector<double>& beat) const;
    // Widget position of a time in the beat and a value in millivolts.
    QPointF pointAt(double seconds, double millivolts) const;
    static double valueAt(const std::vector<double>& beat, double index);
    void drawTitle(QPainter& painter, const QVector<int>& leads) const;

    const TLiveBeatAverager* m_averager = nullptr;
    quint32 m_leadMask = 0;
    int m_zoom = 1;
    double m_gain = 10.0;
    int m_panX = 0;
    int m_panY = 0;
    bool m_redraw = true;
    TDisplayBuffer m_pixmap;
    QVector<MarkerEntry> m_markers;
    int m_activeMarker = -1;
    bool m_pressed = false;
    QPoint m_pressPosition;
};
