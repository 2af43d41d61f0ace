#pragma once

#include "display/QLeadRowBar.h"
#include "display/TColumnEnvelope.h"
#include "display/TDisplayBuffer.h"
#include "display/TDisplayColors.h"
#include "display/TEcgPaper.h"
#include "display/TGridCache.h"
#include "display/TLeadNames.h"

#include <QVector>
#include <QWidget>

#include <array>
#include <vector>

class QTimer;
class TBeatAverager;
class TSampleRunSource;
class TSignal;

// The live ECG: the visible leads of a signal drawn as a sweep on
// millimetre paper at a physical paper speed and gain. The trace is written
// from left to right over the previous sweep, with a 5-pixel gap and a
// dotted cursor at the write position; on the left an optional panel shows
// each lead's averaged beat. Rows are never lower than a least height:
// leads that do not fit are reached with a vertical scroll bar
// (QLeadRowBar). Every setter renders into a back buffer at once; paint
// only copies it. The owner calls refresh after every data block.
class QSignalMonitorDisplay : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaxLeads = 16;
    static constexpr int SpinnerSteps = 10;

    explicit QSignalMonitorDisplay(QWidget* parent = nullptr);
    ~QSignalMonitorDisplay() override;

    // Also clears the lead offsets and starts the sweeps anew. The signal is
    // not owned and must stay alive until another one (or none) is set.
    void setSignal(TSignal* signal);
    TSignal* signal() const { return m_signal; }
    // The unfiltered signal under the shown one, with the same sample
    // indices (not owned). The display filters deliver their first samples
    // seconds after the ECG arrives; during the first sweep the lead-in's
    // samples ahead of the filtered trace are drawn, so that the paper
    // shows the ECG at once. Does not render: set it just before the signal
    // it leads, which renders.
    void setLeadIn(TSignal* leadIn);
    // The averager whose averaged beats the panel shows (not owned).
    void setAverager(TBeatAverager* averager);
    TBeatAverager* averager() const { return m_averager; }
    // The source of the sample runs drawn highlighted (not owned).
    void setHighlighter(const TSampleRunSource* highlighter);
    const TSampleRunSource* highlighter() const { return m_highlighter; }
    void setShowAverage(bool show);
    bool showAverage() const { return m_showAverage; }
    // Paper speed in mm/s.
    void setSpeed(double speed);
    double speed() const { return m_speed; }
    // Gain in mm/mV.
    void setAmplitude(double amplitude);
    double amplitude() const { return m_amplitude; }
    // Centring of every lead on the mean of its latest samples, once per
    // sweep. Also clears the lead offsets and starts the sweeps anew.
    void setBaselineCentering(bool centering);
    bool baselineCentering() const { return m_baselineCentering; }
    // Renders only when the value changes.
    void setLeadVisible(int lead, bool visible);
    bool isLeadVisible(int lead) const;
    // Stores the colour of a role (see TDisplayColors); does not render, so
    // that a batch of colours ends with one refresh.
    void setColor(int role, const QColor& color);
    QColor color(int role) const { return m_colors.at(role); }

    // Renders into the back buffer, then repaints.
    void refresh();

    // Moves through the visible leads when they do not all fit one above
    // the other at the least row height; hidden when they do.
    QScrollBar* rowScrollBar() const { return m_rowBar; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // What one render needs to know about the widget's geometry.
    struct Frame
    {
        TPaperScale paper;
        double screenTime = 0.0;  // Ts, seconds over the full width
        double countScale = 0.0;  // pixels per count
        QVector<int> leads;       // leads of the rows shown, in lead order
        double laneHeight = 0.0;

        double laneCentre(int lane) const { return laneHeight * (lane + 0.5); }
    };
    // Where the current sweep stands.
    struct Sweep
    {
        int number = 0;        // m
        int samples = 0;       // n, samples per trace width
        int start = 0;         // s0
        int appended = 0;      // a
        bool first = true;     // the first sweep has not filled the screen
        int panel = 0;         // P, pixels left of the trace
        int width = 0;         // Wt, trace pixels
        int cursor = 0;        // c, trace column of the newest sample
    };

    void resetSweeps();
    // The back buffer's size: the widget less the row bar while it shows.
    QSize drawingSize() const;
    bool fitBackBuffer();
    void updateRowBar();
    void render();
    Frame makeFrame() const;
    double averageDuration() const;
    bool planSweep(const Frame& frame, Sweep& sweep) const;
    void drawTrace(QPainter& painter, const Frame& frame);
    void centreLeads(const Frame& frame, const Sweep& sweep);
    void drawColumns(QPainter& painter, const Frame& frame, const Sweep& sweep);
    // Answers the column of the newest lead-in sample drawn; -1 for none.
    int drawLeadIn(QPainter& painter, const Frame& frame, const Sweep& sweep);
    bool isWaiting() const;
    void markHighlights(int lead, const Sweep& sweep);
    void drawPolylines(QPainter& painter, const Frame& frame, const Sweep& sweep);
    void drawAveragePanel(QPainter& painter, const Frame& frame);
    void drawSpinner(QPainter& painter, const Frame& frame) const;
    void turnSpinner();

    TSignal* m_signal = nullptr;
    TSignal* m_leadIn = nullptr;
    TBeatAverager* m_averager = nullptr;
    const TSampleRunSource* m_highlighter = nullptr;
    bool m_showAverage = false;
    double m_speed = 25.0;
    double m_amplitude = 10.0;
    TLeadVisibility m_leadVisible;
    std::array<int, MaxLeads> m_leadOffset;
    bool m_baselineCentering = true;
    int m_lastSweep = -1;
    int m_spinnerStep = 0;
    TDisplayColors m_colors;
    TDisplayBuffer m_backBuffer;
    TGridCache m_gridCache;
    QTimer* m_spinnerTimer;
    QLeadRowBar* m_rowBar;
    // Work buffers reused from render to render.
    TColumnEnvelope m_envelope;
    std::vector<double> m_samples;
};
