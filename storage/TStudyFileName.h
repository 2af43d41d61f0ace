#pragma once

#include <QString>

#include <string>

struct TStudyInfo;

// File names of studies. The base file name is "Last-First-DateTime" built
// from a sanitised form of the names (the names themselves stay as typed in
// the study data), so it always is one plain file name inside the data
// folder on every file system.
namespace TStudyFileName {

// Longest UTF-8 length of a name part and of the date-time part.
constexpr int MaxNameBytes = 80;
constexpr int MaxDateTimeBytes = 20;
// Longest UTF-8 length of a base file name accepted from outside.
constexpr int MaxBaseBytes = 200;

// One part made safe: control characters and / \ : * ? " < > | become "_",
// a dot that follows a dot becomes "_", and the part is cut (on a character
// boundary) to at most `maxBytes` bytes of UTF-8.
QString sanitisedPart(const QString& part, int maxBytes);

// "%s-%s-%s" of the sanitised last name, first name and study date-time;
// leading dots become "_".
std::string baseFilename(const TStudyInfo& info);

// Whether a base file name read from outside (an archive) is a plain safe
// file name: not empty, valid UTF-8, at most MaxBaseBytes bytes, no path
// separator, no "..", no leading dot, no control character and none of the
// characters replaced above.
bool isSafeBaseFilename(const std::string& name);

// Whether "folder/name.extension" names a file directly inside the folder:
// not empty, no path separator, no NUL or other control character, not "."
// or "..". Lenient on purpose: studies named by earlier versions stay
// usable; the stricter isSafeBaseFilename guards what comes from outside.
bool staysInFolder(const std::string& name);

// "%1/%2.%3": folder, base name, extension.
QString studyPath(const QString& folder, const QString& baseName, const QString& extension);

} // namespace TStudyFileName
