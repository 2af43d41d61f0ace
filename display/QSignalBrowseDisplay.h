#pragma once

#include "display/QLeadRowBar.h"
#include "display/TColumnEnvelope.h"
#include "display/TDisplayBuffer.h"
#include "display/TDisplayColors.h"
#include "display/TEcgPaper.h"
#include "display/TGridCache.h"
#include "display/TLeadNames.h"

#include "analysis/beats/TBeatPauses.h"
#include "analysis/signal/TElectrodeOff.h"
#include "analysis/signal/TSignalGaps.h"

#include <QVector>
#include <QWidget>

#include <array>
#include <vector>

class QScrollBar;
class TBeatAverager;
class TBeatsFile;
class TSampleRunSource;
class TSignal;

// A recorded ECG on millimetre paper: the visible leads one above the
// other at a physical paper speed and gain, each lead's averaged beat in a
// strip on the left, beat ticks with RR intervals along the top, the joins
// where the device's stream was lost as dashed lines with the time lost, a
// time ruler along the bottom and a scroll bar working in hundredths of a
// second. Rows are never lower than a least height: leads that do not fit
// (fourteen on a small screen) are reached with a vertical scroll bar
// (QLeadRowBar). The operator scrolls with the scroll bars, the keys or by
// dragging, and measures an averaged beat with a caliper drawn by dragging
// across it. Drawing goes into a pixmap that is redrawn only after a
// change; the grid comes from its own cache.
class QSignalBrowseDisplay : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double startTime READ startTime NOTIFY startTimeChanged)

public:
    static constexpr int MaxLeads = 16;

    explicit QSignalBrowseDisplay(QWidget* parent = nullptr);
    ~QSignalBrowseDisplay() override;

    // The sources are not owned and must outlive their use here.
    void setSignal(TSignal* signal);
    TSignal* signal() const { return m_signal; }
    void setAverager(TBeatAverager* averager);
    TBeatAverager* averager() const { return m_averager; }
    void setBeatList(const TBeatsFile* beats);
    const TBeatsFile* beatList() const { return m_beats; }
    void setMarkedIntervals(const TSampleRunSource* intervals);
    const TSampleRunSource* markedIntervals() const { return m_markedIntervals; }
    // The joins of the recording (TSignalGaps); none by default.
    void setGaps(const std::vector<TSignalGaps::Gap>& gaps);
    const std::vector<TSignalGaps::Gap>& gaps() const { return m_gaps; }
    // The pauses of the rhythm (TBeatPauses), marked as joins are; none by
    // default.
    void setPauses(const std::vector<TBeatPauses::Pause>& pauses);
    const std::vector<TBeatPauses::Pause>& pauses() const { return m_pauses; }
    // Where electrodes were off (TElectrodeOff); none by default.
    void setElectrodesOff(const std::vector<TElectrodeOff::Interval>& intervals);
    // The leads the recording lacks, labelled "not recorded" on their
    // flat trace; none by default.
    void setLeadsNotRecorded(const QVector<int>& leads);

    // Paper speed in mm/s.
    void setSpeed(double speed);
    double speed() const { return m_speed; }
    // Gain in mm/mV.
    void setAmplitude(double amplitude);
    double amplitude() const { return m_amplitude; }
    void setShowAverage(bool show);
    bool showAverage() const { return m_showAverage; }
    // Repaints only when the value changes.
    void setLeadVisible(int lead, bool visible);
    bool isLeadVisible(int lead) const;
    // TEcgPaper::DotGrid (the initial style) or TEcgPaper::LineGrid.
    void setGridStyle(int style);
    int gridStyle() const { return m_gridStyle; }
    void setColor(int role, const QColor& color);
    QColor color(int role) const { return m_colors.at(role); }
    void refresh();

    // Seconds of signal at the left edge of the signal area.
    double startTime() const { return m_startTime; }
    // Seconds of signal the signal area shows.
    double visibleSpan() const;
    // Seconds of signal held by the signal source (0 without one).
    double duration() const;
    QScrollBar* scrollBar() const { return m_scrollBar; }
    // Moves through the visible leads when they do not all fit one above
    // the other at the least row height; hidden when they do.
    QScrollBar* rowScrollBar() const { return m_rowBar; }

    // The caliper's reading on the averaged beat: the time between its two
    // ends in seconds and the amplitude difference in millivolts. False
    // when no caliper is shown.
    bool caliperReading(double& seconds, double& millivolts);

signals:
    void startTimeChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // The layout of the drawing area for the current state.
    struct Layout
    {
        TPaperScale paper;
        double beatTime = 0.0;    // Tb, seconds of an averaged beat (0: no strip)
        double span = 0.0;        // S, seconds of signal shown
        int beatWidth = 0;        // Wb, pixels of the averaged beat
        int beatX = 0;            // Xb0, left of the averaged beat
        int stripEnd = 0;         // end of the strip and its gap (0: no strip)
        double countScale = 0.0;  // pixels per count
        QVector<int> leads;       // leads of the rows shown, in lead order
        double rowHeight = 0.0;

        int signalX() const { return stripEnd; }
        double areaWidth() const { return paper.width - stripEnd; }
        double rowCentre(int row) const { return rowHeight * (row + 0.5); }
        int rowAt(double y) const;
        double timeAt(double x, double startTime) const;
        double beatTimeAt(double x) const;
    };
    struct Caliper
    {
        bool active = false;
        int row = 0;
        int start = 0;
        int end = 0;
        bool held = false;
    };

    void changed();
    QSize drawingSize() const;
    void updateRowBar();
    Layout currentLayout() const;
    double averageDuration() const;
    void updateScrollBar();
    void scrollTo(int value);
    // Moves the left edge to `seconds` (already clamped) and tells.
    void setStartTime(double seconds);
    void drag(double x);
    void moveCaliper(const QMouseEvent* event);
    bool hasAverages() const;

    void render();
    void drawTraces(QPainter& painter, const Layout& layout);
    void drawLeadColumns(QPainter& painter, const Layout& layout, int row, int first, int available,
                         int nominal);
    void drawLeadPolyline(QPainter& painter, const Layout& layout, int row, int first, int available,
                          int nominal);
    void drawAverages(QPainter& painter, const Layout& layout);
    void drawTimeRuler(QPainter& painter, const Layout& layout) const;
    void drawBeatTicks(QPainter& painter, const Layout& layout) const;
    void drawGaps(QPainter& painter, const Layout& layout) const;
    // A dashed line across the leads at `seconds` with its label.
    void drawEventMark(QPainter& painter, const Layout& layout, double seconds, const QString& text) const;
    void drawElectrodesOff(QPainter& painter, const Layout& layout) const;
    void drawLeadsNotRecorded(QPainter& painter, const Layout& layout) const;
    // A label in a box at `x` (its left edge), or ending at `x` where the
    // signal area would cut it.
    void drawPlate(QPainter& painter, const Layout& layout, double x, double y, const QString& text) const;
    void drawCaliper(QPainter& painter, const Layout& layout);
    QPointF caliperPoint(const Layout& layout, const std::vector<double>& beat, int index) const;

    TSignal* m_signal = nullptr;
    TBeatAverager* m_averager = nullptr;
    const TBeatsFile* m_beats = nullptr;
    const TSampleRunSource* m_markedIntervals = nullptr;
    std::vector<TSignalGaps::Gap> m_gaps;
    std::vector<TBeatPauses::Pause> m_pauses;
    std::vector<TElectrodeOff::Interval> m_electrodesOff;
    QVector<int> m_notRecorded;
    double m_startTime = 0.0;
    double m_speed = 25.0;
    double m_amplitude = 10.0;
    bool m_showAverage = false;
    TLeadVisibility m_leadVisible;
    std::array<int, MaxLeads> m_baseline;
    int m_gridStyle = TEcgPaper::DotGrid;
    TDisplayColors m_colors;
    Caliper m_caliper;
    bool m_dragging = false;
    double m_dragAnchor = 0.0;
    TDisplayBuffer m_pixmap;
    TGridCache m_gridCache;
    bool m_repaint = true;
    QScrollBar* m_scrollBar;
    QLeadRowBar* m_rowBar;
    // Work buffers reused from render to render.
    TColumnEnvelope m_envelope;
    std::vector<double> m_samples;
};
