#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <memory>

class TBeatsFile;
class TEcgFile;
class TSignal;
class TStudy;

// The study file ("pxstudy") and the headers of the data files:
// reading never throws for bad content (it answers false or null), writing
// the study file is atomic.
namespace TStudyFiles {

constexpr const char* StudyExtension = "pxstudy";
constexpr const char* EcgExtension = "pxecg";
constexpr const char* BeatsExtension = "pxbeats";
// The three files of a study.
inline constexpr const char* StudyFileExtensions[] = {StudyExtension, EcgExtension, BeatsExtension};
constexpr const char* StudyMagic = "PXSTUDY2";
constexpr const char* StudyMagicV1 = "PXSTUDY1";
constexpr const char* EcgMagic = "PXECG1";
constexpr const char* BeatsMagic = "PXBEATS1";
// Study files and their JSON beyond this size are refused as corrupt.
constexpr qint64 MaxStudyDocumentBytes = 64 * 1024 * 1024;

// The Qt compressed-byte-array form: 4-byte big-endian uncompressed length,
// then a zlib stream at the default level.
QByteArray compress(const QByteArray& data);
// Inflates the zlib stream after the length field without trusting the
// length field; false for a damaged or truncated stream or one that
// inflates beyond `limit` bytes.
bool uncompress(const QByteArray& data, QByteArray& out, qint64 limit = MaxStudyDocumentBytes);

// The study file document {"study", "patient", "results"}.
QJsonObject studyDocument(const TStudy& study);

// False when the file is missing or unreadable, shorter than the magic,
// of another magic, empty after the magic or not inflatable. A JSON parse
// error gives true with an empty document, which callers reject.
bool readStudyDocument(const QString& path, QJsonDocument& document);

// Writes "PXSTUDY2" and the compressed document through an atomic save
// file. Throws std::runtime_error "Cannot create study file" when the file
// cannot be opened, "Write error" when the data cannot be committed; the
// previous file then stays as it was.
void saveStudyFile(const TStudy& study, const QString& path);

// The sampling rates an ECG file header may state: those of ECG
// recordings. A rate beyond them is damage and would size the review's
// buffers.
constexpr int MinimumSamplingRate = 50;
constexpr int MaximumSamplingRate = 32000;
// The amplitude range of a channel, in millivolts, beyond which a header
// is damaged (the device's is +-300 mV).
constexpr double MaximumAmplitude = 1e6;

// The study with its ECG and beats files (same folder and name, extensions
// "pxecg" and "pxbeats"), or null; `refusal`, when given, then tells which
// file and what of it was refused.
std::unique_ptr<TStudy> loadStudyFile(const QString& path, QString* refusal = nullptr);

// The ECG file opened for review from its "PXECG1" header, or null.
std::unique_ptr<TEcgFile> openEcgFile(const QString& path, QString* refusal = nullptr);
// The beats file of the channel set opened after checking "PXBEATS1" and
// that every record is a beat of the channel set's recording, or null.
std::unique_ptr<TBeatsFile> openBeatsFile(const TSignal* channelSet, const QString& path, QString* refusal = nullptr);
// The largest size an ECG file with this header area (its first bytes at
// least up to the end of the JSON) may have: a study of the longest length
// recorded (a day), at the header's rate and channels; -1 when the header
// is refused (`refusal` says why).
qint64 maximumEcgFileSize(const QByteArray& headerArea, QString* refusal = nullptr);
// The largest size of the beats file of such a recording.
qint64 maximumBeatsFileSize(const QByteArray& ecgHeaderArea);

// "PXECG1" and the compact {"study", "patient", "ecg"} document. The JSON
// always leaves at least one zero byte in the header area: when it would
// not, the longest study and patient texts of this copy are shortened (the
// study file keeps them whole).
QByteArray ecgHeader(const TStudy& study, const TEcgFile& ecg, int headerSize = 4096);
// "PXBEATS1".
QByteArray beatsHeader();

// "folder/name-without-last-extension.extension" of a study file path.
QString siblingPath(const QString& studyPath, const QString& extension);

} // namespace TStudyFiles
