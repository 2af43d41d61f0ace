#pragma once

#include <QByteArray>
#include <QFile>

// Writes `bytes` into the fixed header area at the start of a data file,
// cut to the area and padded with zero bytes, and hands it to the
// operating system. False when any of it could not be written.
bool writeHeaderArea(QFile& file, int headerSize, const QByteArray& bytes);

// Writes all `length` bytes at the file's position; a short write is
// taken up again, so that a failure gives the system's reason (a full
// disk, a size limit) rather than none. Answers the bytes written.
qint64 writeWhole(QFile& file, const char* data, qint64 length);

// Keeps the file's reason for a failed write in `reason` unless an earlier
// failure already gave one.
void noteWriteError(QString& reason, const QFile& file);
