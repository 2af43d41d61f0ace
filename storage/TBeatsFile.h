#pragma once

#include "analysis/beats/TBeat.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

class TSignal;

// The beats file of a study ("pxbeats"): a header area of 256 bytes
// ("PXBEATS1", written by the store) and one record per beat in the slot
// layout of TBeatStore (56 + 80 x channel count bytes, channel count of the
// ECG file it belongs to).
//
// Appends go after the last whole record and reach the operating system at
// once, so a crash loses at most the beat in flight; a trailing partial
// record (a file cut mid-record) is not counted and is overwritten by the
// next append.
class TBeatsFile
{
public:
    static constexpr int DefaultHeaderSize = 256;

    // Create mode creates a new file, owner-only (an existing name fails:
    // std::runtime_error "Cannot create file"), and writes the zeroed header
    // area (failure: the same); open
    // mode opens it for reading and writing (reading only when writing is
    // refused) and counts the whole records
    // (failure: "Cannot open file"). `channelSet` (the ECG file) must
    // outlive this object; beats read back are linked to it.
    TBeatsFile(const TSignal* channelSet, const QString& path,
               int headerSize = DefaultHeaderSize, bool create = false);
    ~TBeatsFile();
    TBeatsFile(const TBeatsFile&) = delete;
    TBeatsFile& operator=(const TBeatsFile&) = delete;

    // Writes the first min(header size, length) bytes at offset 0 and pads
    // the header area with zero bytes. False when they did not reach the file.
    bool writeHeader(const QByteArray& bytes);

    // Stores the beat after the last record and answers its index (the
    // previous count), or -1 when the record could not be written whole.
    int append(const TBeat& beat);
    // Rewrites the record of the beat's number when it is within
    // 0 .. count() - 1; otherwise nothing is written.
    void update(const TBeat& beat);
    // False for an index outside 0 .. count() - 1 (or a record that can no
    // longer be read); otherwise the beat is reset, numbered with the index,
    // linked to the channel set and filled from the record.
    bool read(int index, TBeat& beat) const;
    // Set the stored class to -1 (exclude) or 0 (include) in place; indexes
    // out of range are ignored.
    void exclude(int index);
    void include(int index);
    // What is wrong with the first record that is not a beat of a recording
    // of `recordingSeconds` (a time not finite or outside the recording, a
    // window longer than a beat), or empty when every record is one. Bytes
    // appended to the file, or a file of another study, show here before
    // any of their values sizes a buffer.
    QString implausibleRecord(double recordingSeconds) const;

    int count() const { return m_count; }
    int recordSize() const { return m_recordSize; }
    int headerSize() const { return m_headerSize; }
    int channelCount() const { return m_channelCount; }
    const TSignal* channelSet() const { return m_channelSet; }
    const QString& path() const { return m_path; }
    bool hasWriteError() const { return !m_writeError.isEmpty(); }
    // The system's reason for the first failed write (a full disk, a size
    // limit), empty while none failed.
    const QString& writeErrorText() const { return m_writeError; }

private:
    qint64 recordOffset(int index) const { return m_headerSize + qint64(index) * m_recordSize; }
    bool writeRecord(qint64 offset);
    void setClass(int index, qint32 beatClass);

    const TSignal* m_channelSet;
    QString m_path;
    int m_headerSize;
    int m_channelCount;
    int m_recordSize;
    int m_count = 0;
    // Why the first write failed; empty while none did.
    QString m_writeError;
    mutable QFile m_file;
    mutable std::vector<char> m_record;
};
