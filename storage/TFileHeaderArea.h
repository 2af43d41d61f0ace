#pragma once

#include <QByteArray>
#include <QFile>

// Writes `bytes` into the fixed header area at the start of a data file,
// cut to the area and padded with zero bytes, and hands it to the
// operating system. False when any of it could not be written.
bool writeHeaderArea(QFile& file, int headerSize, const QByteArray& bytes);
