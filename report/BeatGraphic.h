#pragma once

#include <QObject>
#include <QRectF>
#include <QVector>

#include <map>
#include <vector>

class QPainter;
class QRect;
class TLiveBeatAverager;
class TPaperUnits;

// Averaged beats of one or several leads (superimposed) on a grid of
// 0.2 s boxes that spans the one-second beat across the rectangle, with the
// wave marks and dimensioned interval labels (PR, P, QRS, ST, QT, T) and,
// for a single lead, the P-wave amplitude.
class BeatGraphic : public QObject
{
    Q_OBJECT
public:
    // Mark numbers; times in seconds from the first sample of the beat.
    enum Mark { POnset = 0, POffset = 1, PPeak = 2, QRSOnset = 3, QRSOffset = 4, TOnset = 5, TOffset = 6 };

    explicit BeatGraphic(QObject* parent = nullptr);

    // The averaged beats, their length, rate, lead names and scaling.
    void setBeatSet(const TLiveBeatAverager* beatSet) { m_beatSet = beatSet; }
    // Bit i draws lead i.
    void setLeadMask(int mask) { m_leadMask = mask; }
    void setMark(int index, double seconds) { m_marks[index] = seconds; }

    void draw(QPainter& painter, const QRect& rect);

private:
    // The geometry of one drawing.
    struct Frame
    {
        QRect rect;
        double duration; // seconds across the width
        double major;    // pixels of a 0.2 s box
        double scale;    // pixels per sample count (1 mV = two boxes)
        double centreY;
        int x(double seconds) const;
        double rowY(int ninths) const { return rect.top() + rect.height() * ninths / 9.0; }
    };

    double mark(int index) const;
    // The time between two marks, 0 unless both are set.
    double interval(int from, int to) const;
    QVector<int> leads() const;
    // The lead's averaged beat minus its mean.
    std::vector<double> centredBeat(int lead) const;
    // A sample position truncated to an index inside the beat.
    std::size_t insideBeat(double position) const;

    void drawGrid(QPainter& painter, const Frame& frame, const TPaperUnits& units) const;
    void drawTitle(QPainter& painter, const Frame& frame, const TPaperUnits& units) const;
    void drawBeats(QPainter& painter, const Frame& frame, const TPaperUnits& units) const;
    void drawMarks(QPainter& painter, const Frame& frame, const TPaperUnits& units) const;
    void drawIntervals(QPainter& painter, const Frame& frame, const TPaperUnits& units) const;
    void drawDimension(QPainter& painter, const QRectF& textRect, double lineY, const QString& text,
                       const TPaperUnits& units) const;
    void drawPAmplitude(QPainter& painter, const Frame& frame, const TPaperUnits& units) const;

    const TLiveBeatAverager* m_beatSet = nullptr;
    int m_leadMask = 0;
    std::map<int, double> m_marks;
};
