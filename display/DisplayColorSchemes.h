#pragma once

#include <QColor>
#include <QMap>
#include <QString>
#include <QStringList>

class QSignalBrowseDisplay;
class QSignalMonitorDisplay;

// The named colour schemes of the ECG displays: "Black", "Blue" and
// "Light", each giving a colour for every role 0 to 9 (TDisplayColors).
// The registry is built on first use and never changes.

// Scheme names in registry order (sorted by name).
QStringList colorSchemeNames();

// The colours of a scheme by role; empty for an unknown name.
QMap<int, QColor> colorScheme(const QString& name);

// Gives every role of the named scheme to the display, in ascending role
// order, then repaints it. An unknown or empty name changes nothing.
void applyColorScheme(QSignalMonitorDisplay* display, const QString& name);
void applyColorScheme(QSignalBrowseDisplay* display, const QString& name);
