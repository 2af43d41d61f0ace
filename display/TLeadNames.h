#pragma once

#include <QVector>

#include <array>

class QPainter;
class TDisplayColors;
class TSignal;

// Which leads a display shows, by lead index.
using TLeadVisibility = std::array<bool, 16>;

// The leads of the signal (none without one) that are visible, in lead
// order.
QVector<int> visibleLeads(const TSignal* signal, const TLeadVisibility& visible);

// The name of every shown lead at the top left of its row, drawn after the
// traces on a plate of the background colour, so that no trace runs
// through it, in the text colour made readable on the background.
void drawLeadNames(QPainter& painter, const TSignal& signal, const QVector<int>& leads, double rowHeight,
                   const TDisplayColors& colors);
