#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <vector>

// An EDF+ or BDF+ file as this application reads and writes it, through
// EDFlib: signals of one sampling rate as digital samples with their
// physical range, the structured patient fields of the plus variants, the
// recording start and the annotations. (The signals are called channels
// here: "signals" is a Qt keyword.) Plain EDF and BDF files are read as
// well (without patient fields or annotations).
class TEdfFile
{
public:
    // EDF counts samples in whole data records only. A recording that ends
    // inside its last record is padded to the record's end and carries this
    // annotation (the text EDFlib knows as the end of a recording) where its
    // samples end.
    static constexpr const char* RecordingEnds = "Recording ends";

    struct Signal
    {
        QString label;        // e.g. "ECG V1"
        QString dimension;    // physical dimension, e.g. "mV"
        double physicalMinimum = 0.0;
        double physicalMaximum = 0.0;
        int digitalMinimum = 0;
        int digitalMaximum = 0;
        std::vector<int> samples; // digital

        // Physical value of a digital sample.
        double physical(int digital) const;
    };

    struct Annotation
    {
        double onsetSeconds = 0.0; // from the start of the recording
        QString text;              // UTF-8 in the file
    };

    bool is24Bit = false;           // BDF (24-bit samples) rather than EDF (16-bit)
    QString patientName;            // EDF+ "patient name", spaces as in the text
    QString sex;                    // "M", "F" or empty
    QDate birthDate;                // invalid when the file gives none
    QDateTime start;                // invalid when unknown (left to EDFlib on writing)
    int samplesPerRecord = 1;       // per channel and data record
    double recordSeconds = 1.0;     // duration of a data record (10 us steps on writing)
    std::vector<Signal> channels;   // all of the same length, a whole number of data records
    std::vector<Annotation> annotations;

    double samplingRate() const { return samplesPerRecord / recordSeconds; }
    // Samples per channel up to the "Recording ends" annotation, or all.
    std::size_t recordedLength() const;

    // Checks the header (TEdfHeader) and reads the whole file. Throws
    // std::runtime_error naming the file and what is wrong.
    static TEdfFile read(const QString& path);
    // Writes an EDF+ file, or a BDF+ file when is24Bit. Throws
    // std::runtime_error naming the file and the step EDFlib refused; what
    // was written then is not a valid file and is for the caller to remove.
    void write(const QString& path) const;
};
