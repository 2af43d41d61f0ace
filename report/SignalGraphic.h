#pragma once

#include "analysis/signal/TSignalGaps.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <bitset>
#include <vector>

class QPainter;
class QRect;
class QRectF;
class TBeat;
class TBeatAverager;
class TBeatsFile;
class TPaperUnits;
class TSignal;

// ECG traces on millimetre paper: one row per visible lead, drawn at
// 25 mm/s and 10 mm/mV from the start time over the rectangle's width,
// with an optional column of averaged beats at the left, beat ticks with
// RR labels and the heart rate in a band above the rows, the joins where
// the device's stream was lost as dashed lines with the time lost, and an
// optional 1 mV calibration pulse at the end of each trace.
class SignalGraphic : public QObject
{
    Q_OBJECT
public:
    static constexpr double PaperSpeed = 25.0; // mm/s
    static constexpr double Gain = 10.0;       // mm/mV

    explicit SignalGraphic(QObject* parent = nullptr);

    // The (filtered) ECG drawn; its channel names label the rows.
    void setSignal(const TSignal* signal) { m_signal = signal; }
    // Beat times and RR intervals for the beat marks.
    void setBeats(const TBeatsFile* beats) { m_beats = beats; }
    // The joins of the recording (TSignalGaps); none by default.
    void setGaps(const std::vector<TSignalGaps::Gap>& gaps) { m_gaps = gaps; }
    // Averaged beats for the average column; optional.
    void setAverager(TBeatAverager* averager) { m_averager = averager; }
    void setShowAverage(bool show) { m_showAverage = show; }
    void setShowBeatMarks(bool show) { m_showBeatMarks = show; }
    void setShowCalibration(bool show) { m_showCalibration = show; }
    // Heart-rate text with one placeholder ("HR %1 bpm"); empty: none.
    void setHrFormat(const QString& format) { m_hrFormat = format; }
    // Bit i shows lead i (i = 0 .. 15).
    void setLeadMask(int mask);
    void setStartTime(double seconds) { m_startTime = seconds; }

    void draw(QPainter& painter, const QRect& rect);

private:
    struct Row
    {
        int lead;
        double top;
        double centre;
    };

    // The visible leads the signal has, each with its row in `rect`.
    QVector<Row> rows(const QRect& rect) const;
    // Width of the traces: the rectangle less the calibration pulse.
    double traceWidth(const QRect& rect, const TPaperUnits& units) const;
    // Pixels per sample count at the gain.
    double verticalScale(const TPaperUnits& units) const;

    void drawGrid(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawTraces(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawCalibration(QPainter& painter, double x, double centre, const QRect& rect, const TPaperUnits& units) const;
    void drawAverages(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawLeadNames(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    // The beats of the beat list shown in `rect` (none without beat marks).
    std::vector<TBeat> beatsInView(const QRect& rect, const TPaperUnits& units) const;
    // Height of the band above the rows that holds the beat marks and the
    // heart rate; 0 without beat marks.
    int markBandHeight(QPainter& painter, const TPaperUnits& units) const;
    QString heartRateText(const QRect& rect, const TPaperUnits& units) const;
    QRectF heartRateBox(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawHeartRate(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawBeatMarks(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;
    void drawGaps(QPainter& painter, const QRect& rect, const TPaperUnits& units) const;

    const TSignal* m_signal = nullptr;
    const TBeatsFile* m_beats = nullptr;
    std::vector<TSignalGaps::Gap> m_gaps;
    TBeatAverager* m_averager = nullptr;
    bool m_showAverage = true;
    bool m_showBeatMarks = true;
    bool m_showCalibration = false;
    QString m_hrFormat;
    std::bitset<16> m_leadVisible;
    double m_startTime = 0.0;
};
