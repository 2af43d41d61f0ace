#pragma once

#include <QColor>
#include <QMap>

#include <initializer_list>
#include <utility>

// The colour of every element an ECG display draws, looked up by role.
// Highlighted samples and marked intervals are always half transparent,
// whatever alpha their colour came with.
class TDisplayColors
{
public:
    enum Role {
        Trace = 0,          // traces and separator lines
        Background = 1,
        Grid = 2,
        Text = 3,           // lead names, time texts
        Average = 4,        // averaged beat, placeholder line of a lead without one
        SecondAverage = 5,
        Highlight = 6,      // highlighted samples, marked intervals
        BeatTicks = 7,      // beat ticks and RR labels
        Cursor = 8,         // sweep cursor
        AverageMarks = 9,
    };
    static constexpr int HighlightAlpha = 128;

    TDisplayColors(std::initializer_list<std::pair<int, QColor>> colors);

    // Stores the colour under the role. Answers whether the role is one the
    // background-and-grid image is painted with, so that the caller knows
    // to draw that image again.
    bool set(int role, QColor color);
    // The colour of a role; black for a role never set.
    QColor at(int role) const { return m_colors.value(role, QColor(Qt::black)); }
    const QMap<int, QColor>& all() const { return m_colors; }
    // The colour of a role moved towards black or white, whichever lies
    // farther from the background, until a text in it reads on the
    // background (a contrast ratio of at least 4.5 to 1); unchanged when it
    // already does. The "Light" scheme's light grey names on white need it.
    QColor readable(int role) const;

private:
    QMap<int, QColor> m_colors;
};
