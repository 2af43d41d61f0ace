#include "formats/TEdfFile.h"

#include "formats/TEdfHeader.h"

#include <edflib.h>

#include <QFile>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

// EDFlib takes the data record duration in units of 10 us and annotation
// onsets in units of 100 us, and gives times in units of 100 ns.
constexpr double DurationUnitsPerSecond = 100000.0;
constexpr double OnsetUnitsPerSecond = 10000.0;
constexpr int MaxAnnotationSignals = 64;

QString edflibError(int code)
{
    switch (code) {
    case EDFLIB_MALLOC_ERROR: return QStringLiteral("out of memory");
    case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY: return QStringLiteral("no such file or folder");
    case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS: return QStringLiteral("the file contains format errors");
    case EDFLIB_MAXFILES_REACHED: return QStringLiteral("too many files are open");
    case EDFLIB_FILE_READ_ERROR: return QStringLiteral("the file cannot be read");
    case EDFLIB_FILE_ALREADY_OPENED: return QStringLiteral("the file is already open");
    case EDFLIB_FILETYPE_ERROR: return QStringLiteral("wrong file type");
    case EDFLIB_FILE_WRITE_ERROR: return QStringLiteral("the file cannot be written");
    case EDFLIB_NUMBER_OF_SIGNALS_INVALID: return QStringLiteral("invalid number of signals");
    case EDFLIB_FILE_IS_DISCONTINUOUS: return QStringLiteral("the recording is discontinuous (EDF+D)");
    case EDFLIB_INVALID_READ_ANNOTS_VALUE: return QStringLiteral("the annotations cannot be read");
    default: return QStringLiteral("error %1").arg(code);
    }
}

[[noreturn]] void fail(const char* action, const QString& path, const QString& what)
{
    throw std::runtime_error(QStringLiteral("Cannot %1 EDF file %2: %3").arg(QLatin1String(action), path, what).toStdString());
}

// An EDFlib handle, closed on every way out: EDFlib keeps a process-wide
// table of open files.
class EdfHandle
{
public:
    explicit EdfHandle(int handle) : m_handle(handle) {}
    ~EdfHandle()
    {
        if (m_handle >= 0)
            edfclose_file(m_handle);
    }
    EdfHandle(const EdfHandle&) = delete;
    EdfHandle& operator=(const EdfHandle&) = delete;

    int get() const { return m_handle; }
    // Closes now; answers EDFlib's result (a writer finalises the file here).
    int close() { return edfclose_file(std::exchange(m_handle, -1)); }

private:
    int m_handle;
};

QString trimmedLatin1(const char* text)
{
    return QString::fromLatin1(text).trimmed();
}

QString sexOf(const char* gender)
{
    const QString text = trimmedLatin1(gender);
    if (text == QLatin1String("Male"))
        return QStringLiteral("M");
    if (text == QLatin1String("Female"))
        return QStringLiteral("F");
    return QString();
}

bool isAnnotationLabel(const QString& label)
{
    return label == QLatin1String("EDF Annotations") || label == QLatin1String("BDF Annotations");
}

TEdfFile::Signal readChannel(const edf_param_struct& param, const QString& path)
{
    TEdfFile::Signal channel;
    channel.label = trimmedLatin1(param.label);
    channel.dimension = trimmedLatin1(param.physdimension);
    channel.physicalMinimum = param.phys_min;
    channel.physicalMaximum = param.phys_max;
    channel.digitalMinimum = param.dig_min;
    channel.digitalMaximum = param.dig_max;
    if (param.smp_in_file > std::numeric_limits<int>::max())
        fail("read", path, QStringLiteral("signal \"%1\" is too long").arg(channel.label));
    channel.samples.resize(std::size_t(param.smp_in_file));
    return channel;
}

} // namespace

double TEdfFile::Signal::physical(int digital) const
{
    const double step = (physicalMaximum - physicalMinimum) / double(digitalMaximum - digitalMinimum);
    return physicalMinimum + (digital - digitalMinimum) * step;
}

std::size_t TEdfFile::recordedLength() const
{
    const std::size_t length = channels.empty() ? 0 : channels.front().samples.size();
    for (const Annotation& annotation : annotations) {
        if (annotation.text == QLatin1String(RecordingEnds))
            return std::min(length, std::size_t(std::max(0LL, std::llround(annotation.onsetSeconds * samplingRate()))));
    }
    return length;
}

TEdfFile TEdfFile::read(const QString& path)
{
    TEdfHeader::check(path);
    auto header = std::make_unique<edf_hdr_struct>();
    if (edfopen_file_readonly(QFile::encodeName(path).constData(), header.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0)
        fail("read", path, edflibError(header->filetype));
    EdfHandle handle(header->handle);

    TEdfFile file;
    file.is24Bit = header->filetype == EDFLIB_FILETYPE_BDF || header->filetype == EDFLIB_FILETYPE_BDFPLUS;
    file.patientName = trimmedLatin1(header->patient_name);
    file.sex = sexOf(header->gender);
    file.birthDate = QDate(header->birthdate_year, header->birthdate_month, header->birthdate_day);
    file.start = QDateTime(QDate(header->startdate_year, header->startdate_month, header->startdate_day),
                           QTime(header->starttime_hour, header->starttime_minute, header->starttime_second));
    file.recordSeconds = double(header->datarecord_duration) / EDFLIB_TIME_DIMENSION;
    for (int s = 0; s < header->edfsignals; ++s) {
        // A plain EDF or BDF file (an EDF+ file whose reserved field was
        // blanked) hands its annotation signal over as a signal: it holds
        // text, at a rate of its own, and is left out.
        if (isAnnotationLabel(trimmedLatin1(header->signalparam[s].label)))
            continue;
        Signal& channel = file.channels.emplace_back(readChannel(header->signalparam[s], path));
        if (file.channels.size() == 1)
            file.samplesPerRecord = int(header->signalparam[s].smp_in_datarecord);
        if (channel.samples.size() != file.channels.front().samples.size())
            fail("read", path, QStringLiteral("signal \"%1\" differs in length from signal \"%2\"")
                                   .arg(channel.label, file.channels.front().label));
        const int count = int(channel.samples.size());
        if (edfread_digital_samples(handle.get(), s, count, channel.samples.data()) != count)
            fail("read", path, QStringLiteral("the samples of signal \"%1\" cannot be read").arg(channel.label));
    }
    for (long long n = 0; n < header->annotations_in_file; ++n) {
        edf_annotation_struct annotation{};
        if (edf_get_annotation(handle.get(), int(n), &annotation) != 0)
            fail("read", path, QStringLiteral("annotation %1 cannot be read").arg(n + 1));
        file.annotations.push_back({double(annotation.onset) / EDFLIB_TIME_DIMENSION,
                                    QString::fromUtf8(annotation.annotation)});
    }
    if (file.channels.empty() || file.channels.front().samples.empty())
        fail("read", path, QStringLiteral("the file holds no samples"));
    return file;
}

void TEdfFile::write(const QString& path) const
{
    const auto check = [&path](int result, const QString& what) {
        if (result != 0)
            fail("write", path, QStringLiteral("EDFlib refused the %1").arg(what));
    };
    if (channels.empty() || channels.front().samples.empty() || samplesPerRecord < 1)
        fail("write", path, QStringLiteral("there are no samples"));
    const std::size_t length = channels.front().samples.size();
    const std::size_t records = length / std::size_t(samplesPerRecord);
    if (length % std::size_t(samplesPerRecord) != 0)
        fail("write", path, QStringLiteral("the samples are not a whole number of data records"));
    // EDFlib keeps as many annotations per annotation signal as there are
    // data records, and silently drops the rest.
    const std::size_t annotationSignals = std::max<std::size_t>(1, (annotations.size() + records - 1) / records);
    if (annotationSignals > MaxAnnotationSignals)
        fail("write", path, QStringLiteral("%1 annotations do not fit into %2 data records").arg(annotations.size()).arg(records));

    const int handleOrError = edfopen_file_writeonly(QFile::encodeName(path).constData(),
                                                     is24Bit ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS,
                                                     int(channels.size()));
    if (handleOrError < 0)
        fail("write", path, edflibError(handleOrError));
    EdfHandle handle(handleOrError);
    const int h = handle.get();
    for (int s = 0; s < int(channels.size()); ++s) {
        const Signal& channel = channels[std::size_t(s)];
        if (channel.samples.size() != length)
            fail("write", path, QStringLiteral("signal \"%1\" differs in length").arg(channel.label));
        const QString what = QStringLiteral("parameters of signal \"%1\"").arg(channel.label);
        check(edf_set_samplefrequency(h, s, samplesPerRecord), what);
        check(edf_set_physical_minimum(h, s, channel.physicalMinimum), what);
        check(edf_set_physical_maximum(h, s, channel.physicalMaximum), what);
        check(edf_set_digital_minimum(h, s, channel.digitalMinimum), what);
        check(edf_set_digital_maximum(h, s, channel.digitalMaximum), what);
        check(edf_set_label(h, s, channel.label.toLatin1().constData()), what);
        check(edf_set_physical_dimension(h, s, channel.dimension.toLatin1().constData()), what);
    }
    check(edf_set_datarecord_duration(h, int(std::lround(recordSeconds * DurationUnitsPerSecond))),
          QStringLiteral("data record duration"));
    check(edf_set_number_of_annotation_signals(h, int(annotationSignals)), QStringLiteral("annotation signals"));
    check(edf_set_patientname(h, patientName.toLatin1().constData()), QStringLiteral("patient name"));
    if (!sex.isEmpty())
        check(edf_set_gender(h, sex == QLatin1String("M") ? 1 : 0), QStringLiteral("sex"));
    if (birthDate.isValid())
        check(edf_set_birthdate(h, birthDate.year(), birthDate.month(), birthDate.day()), QStringLiteral("birth date"));
    if (start.isValid()) {
        const QDate day = start.date();
        const QTime time = start.time();
        check(edf_set_startdatetime(h, day.year(), day.month(), day.day(), time.hour(), time.minute(), time.second()),
              QStringLiteral("start date and time"));
    }

    std::vector<int> record(static_cast<std::size_t>(samplesPerRecord));
    for (std::size_t r = 0; r < records; ++r) {
        for (const Signal& channel : channels) {
            const auto first = channel.samples.begin() + std::ptrdiff_t(r * record.size());
            std::copy(first, first + std::ptrdiff_t(record.size()), record.begin());
            check(edfwrite_digital_samples(h, record.data()), QStringLiteral("samples of data record %1").arg(r + 1));
        }
    }
    for (const Annotation& annotation : annotations)
        check(edfwrite_annotation_utf8(h, std::llround(annotation.onsetSeconds * OnsetUnitsPerSecond), -1,
                                       annotation.text.toUtf8().constData()),
              QStringLiteral("annotation \"%1\"").arg(annotation.text));
    check(handle.close(), QStringLiteral("closing of the file"));
}
