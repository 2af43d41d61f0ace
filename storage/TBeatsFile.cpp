#include "storage/TBeatsFile.h"
#include "storage/TFileHeaderArea.h"
#include "storage/TPrivateFiles.h"

#include "analysis/beats/TBeatStore.h"
#include "analysis/signal/TSignal.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace {

// Offset of the beat class inside a record.
constexpr int ClassAt = 48;
// Beat times may reach a little past the recorded samples (a window
// around the last beat), and no beat window or wave mark spans more than
// a few seconds.
constexpr double TimeMargin = 10.0;

bool within(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

// The first field of the beat outside its range, or empty.
QString implausibleField(const TBeat& beat, double recordingSeconds)
{
    const double end = recordingSeconds + TimeMargin;
    if (!within(beat.windowStart(), -TimeMargin, end))
        return QStringLiteral("window start");
    if (!within(beat.windowLength(), 0.0, TimeMargin))
        return QStringLiteral("window length");
    static const char* const valueNames[] = {"QRS time", "RR interval", "mean RR interval", "lead agreement"};
    for (int kind = 0; kind < TBeat::ValueKindCount; ++kind) {
        if (!within(beat.value(TBeat::ValueKind(kind)), -TimeMargin, end))
            return QLatin1String(valueNames[kind]);
    }
    for (int lead = 0; lead < beat.channelCount(); ++lead) {
        for (int kind = 0; kind < TBeat::MarkKindCount; ++kind) {
            if (!within(beat.mark(lead, TBeat::MarkKind(kind)), -end, end))
                return QStringLiteral("mark %1 of lead %2").arg(kind).arg(lead + 1);
        }
    }
    return QString();
}

} // namespace

TBeatsFile::TBeatsFile(const TSignal* channelSet, const QString& path, int headerSize, bool create)
    : m_channelSet(channelSet)
    , m_path(path)
    , m_headerSize(std::max(0, headerSize))
    , m_channelCount(channelSet != nullptr ? channelSet->channelCount() : 0)
    , m_recordSize(TBeatStore::slotSize(m_channelCount))
    , m_file(path)
    , m_record(std::size_t(m_recordSize), '\0')
{
    if (m_channelCount < 1 || m_channelCount > TBeat::MaxLeads)
        throw std::invalid_argument("Beats file channel count must be between 1 and 16");
    if (create) {
        // A new file only, as for the ECG file.
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered))
            throw std::runtime_error("Cannot create file");
        TPrivateFiles::restrict(m_file);
        const QByteArray zeros(m_headerSize, '\0');
        if (m_file.write(zeros) != zeros.size()) {
            m_file.remove();  // made by this call, so no file of anyone else's
            throw std::runtime_error("Cannot create file");
        }
    } else {
        // A file that may only be read still serves review; changes to it
        // then fail and set the write error.
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered)
            && !m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            throw std::runtime_error("Cannot open file");
        const qint64 records = std::max<qint64>(0, (m_file.size() - m_headerSize) / m_recordSize);
        m_count = int(std::min<qint64>(records, INT_MAX));
    }
}

TBeatsFile::~TBeatsFile()
{
    m_file.close();
}

bool TBeatsFile::writeHeader(const QByteArray& bytes)
{
    const bool written = writeHeaderArea(m_file, m_headerSize, bytes);
    if (!written)
        noteWriteError(m_writeError, m_file);
    return written;
}

bool TBeatsFile::writeRecord(qint64 offset)
{
    const bool written = m_file.seek(offset) && writeWhole(m_file, m_record.data(), m_recordSize) == m_recordSize
                         && m_file.flush();
    if (!written)
        noteWriteError(m_writeError, m_file);
    return written;
}

int TBeatsFile::append(const TBeat& beat)
{
    if (m_count == INT_MAX)
        return -1;
    TBeatStore::encodeSlot(beat, m_channelCount, m_record.data());
    if (!writeRecord(recordOffset(m_count)))
        return -1;
    return m_count++;
}

void TBeatsFile::update(const TBeat& beat)
{
    const int index = beat.number();
    if (index < 0 || index >= m_count)
        return;
    TBeatStore::encodeSlot(beat, m_channelCount, m_record.data());
    writeRecord(recordOffset(index));
}

bool TBeatsFile::read(int index, TBeat& beat) const
{
    if (index < 0 || index >= m_count)
        return false;
    if (!m_file.seek(recordOffset(index)) || m_file.read(m_record.data(), m_recordSize) != m_recordSize)
        return false;
    beat = TBeatStore::decodeSlot(m_record.data(), m_channelCount, m_channelSet);
    beat.setNumber(index);
    return true;
}

void TBeatsFile::setClass(int index, qint32 beatClass)
{
    if (index < 0 || index >= m_count)
        return;
    if (!m_file.seek(recordOffset(index)) || m_file.read(m_record.data(), m_recordSize) != m_recordSize)
        return;
    qToLittleEndian<qint32>(beatClass, m_record.data() + ClassAt);
    writeRecord(recordOffset(index));
}

QString TBeatsFile::implausibleRecord(double recordingSeconds) const
{
    TBeat beat;
    for (int index = 0; index < m_count; ++index) {
        if (!read(index, beat))
            return QStringLiteral("beat %1 cannot be read").arg(index + 1);
        const QString field = implausibleField(beat, recordingSeconds);
        if (!field.isEmpty())
            return QStringLiteral("beat %1 has a %2 that no beat of the recording has").arg(index + 1).arg(field);
    }
    return QString();
}

void TBeatsFile::exclude(int index)
{
    setClass(index, TBeat::Rejected);
}

void TBeatsFile::include(int index)
{
    setClass(index, TBeat::Normal);
}
