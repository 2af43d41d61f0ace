#pragma once

#include <QString>

// The fixed ASCII header of an EDF, EDF+, BDF or BDF+ file, checked before
// the file is handed to EDFlib: EDFlib only answers that a file "contains
// format errors", while an operator needs to know which file and which
// field is wrong. Every field must be printable ASCII; the counts and the
// sizes must agree with each other and with the file's size; every signal
// (the annotation signals aside) must have the same sampling rate, which
// is what the recordings of this application and the conversion to the
// device's leads need.
class TEdfHeader
{
public:
    TEdfHeader() = delete;

    // Throws std::runtime_error "EDF file <path>: <field> <what is wrong>".
    static void check(const QString& path);
};
