#pragma once

#include <QFont>
#include <QString>

// The face the displays write lead names, times and values in.
inline QFont displayFont(int points, bool bold = false)
{
    QFont font(QStringLiteral("Helvetica"), points);
    if (bold)
        font.setWeight(QFont::Bold);
    return font;
}
