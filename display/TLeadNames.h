#pragma once

#include <QVector>

class QPainter;
class TDisplayColors;
class TSignal;

// The name of every shown lead at the top left of its row, drawn after the
// traces on a plate of the background colour, so that no trace runs
// through it, in the text colour made readable on the background.
void drawLeadNames(QPainter& painter, const TSignal& signal, const QVector<int>& leads, double rowHeight,
                   const TDisplayColors& colors);
