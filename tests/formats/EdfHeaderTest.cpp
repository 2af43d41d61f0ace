// EDF files with a damaged header: each class of damage is refused with the
// file and the field named, before anything is made of the file.
#include "storage/StorageTestSupport.h"

#include "formats/TEdfFile.h"
#include "formats/TImportedRecording.h"

#include <QTemporaryDir>

#include <functional>
#include <ostream>

namespace {

// Two ECG signals of 1000 samples per 1-s data record, three records; EDFlib
// adds its annotation signal as the third.
constexpr int SignalCount = 3;

QByteArray validEdf(const QString& path)
{
    TEdfFile file;
    file.patientName = QStringLiteral("Garcia,Ana");
    file.samplesPerRecord = 1000;
    for (const char* label : {"ECG I", "ECG II"}) {
        TEdfFile::Signal& channel = file.channels.emplace_back();
        channel.label = QLatin1String(label);
        channel.dimension = QStringLiteral("mV");
        channel.physicalMinimum = -300.0;
        channel.physicalMaximum = 295.3125;
        channel.digitalMinimum = -32768;
        channel.digitalMaximum = 32256;
        channel.samples.assign(3000, 100);
    }
    file.write(path);
    return readAll(path);
}

void overwrite(QByteArray& header, int offset, const QByteArray& field)
{
    header.replace(offset, field.size(), field);
}

struct Damage
{
    const char* name;
    std::function<void(QByteArray&)> apply;
    const char* message;
};

void PrintTo(const Damage& damage, std::ostream* out)
{
    *out << damage.name;
}

// Offsets of the fixed header and of the signal fields (each holds one
// entry per signal, field after field).
constexpr int PatientOffset = 8;
constexpr int RecordCountOffset = 236;
constexpr int DurationOffset = 244;
constexpr int LabelOffset = 256;
constexpr int PhysicalMinimumOffset = 256 + SignalCount * (16 + 80 + 8);
constexpr int PhysicalMaximumOffset = PhysicalMinimumOffset + SignalCount * 8;
constexpr int SamplesOffset = 256 + SignalCount * (16 + 80 + 8 + 8 + 8 + 8 + 8 + 80);

const Damage Damages[] = {
    {"ShortHeader", [](QByteArray& file) { file.truncate(100); }, "the header is truncated"},
    {"Truncated", [](QByteArray& file) { file.chop(100); }, "truncated to"},
    {"Oversized", [](QByteArray& file) { file.append(QByteArray(10, '\0')); }, "oversized"},
    {"NeverClosed", [](QByteArray& file) { overwrite(file, RecordCountOffset, "-1      "); },
     "the number of data records is -1"},
    {"NoDuration", [](QByteArray& file) { overwrite(file, DurationOffset, "0       "); },
     "the duration of a data record is 0"},
    {"MixedRates", [](QByteArray& file) { overwrite(file, SamplesOffset + 8, "500     "); },
     "different sampling rates: \"ECG I\" 1000 Hz, \"ECG II\" 500 Hz"},
    {"ControlCharacter", [](QByteArray& file) { overwrite(file, LabelOffset + 16 + 3, "\x07"); },
     "the label of signal 2 holds a control character (0x07)"},
    {"HugePhysical", [](QByteArray& file) { overwrite(file, PhysicalMinimumOffset, "-1e308  "); },
     "the physical range of signal 1 (-1e308 to 295.3125) is beyond"},
    {"NoPhysicalRange",
     [](QByteArray& file) {
         overwrite(file, PhysicalMinimumOffset, "1e-300  ");
         overwrite(file, PhysicalMaximumOffset, "2e-300  ");
     },
     "leave no range"},
    {"LongRecords", [](QByteArray& file) { overwrite(file, DurationOffset, "1e308   "); },
     "the duration of a data record is 1e308"},
    {"NonAsciiName", [](QByteArray& file) { overwrite(file, PatientOffset + 12, "\xc3\xad"); },
     "the patient identification holds a character outside ASCII (byte 0xc3)"},
};

class EdfHeaderTest : public ::testing::TestWithParam<Damage>
{
};

TEST_P(EdfHeaderTest, IsRefusedNamingTheFileAndTheField)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("damaged.edf"));
    QByteArray bytes = validEdf(path);
    ASSERT_NO_THROW(TImportedRecording::read(path)) << "the undamaged file is read";
    GetParam().apply(bytes);
    ASSERT_TRUE(writeAll(path, bytes));
    const std::string message = thrownMessage([&path] { TImportedRecording::read(path); });
    EXPECT_NE(message.find("EDF file " + path.toStdString() + ": "), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
}

// An EDF+ file whose reserved field was blanked is plain EDF: its
// annotation signal comes as a signal of another rate and length.
TEST(PlainEdf, IsReadWithoutItsAnnotationSignal)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("plain.edf"));
    QByteArray bytes = validEdf(path);
    overwrite(bytes, 192, QByteArray(44, ' '));
    ASSERT_TRUE(writeAll(path, bytes));
    const TEdfFile file = TEdfFile::read(path);
    ASSERT_EQ(file.channels.size(), 2u);
    EXPECT_EQ(file.channels[1].samples.size(), 3000u);
    EXPECT_EQ(TImportedRecording::read(path).recording().frameCount(), 3000);
}

INSTANTIATE_TEST_SUITE_P(Damages, EdfHeaderTest, ::testing::ValuesIn(Damages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

} // namespace
