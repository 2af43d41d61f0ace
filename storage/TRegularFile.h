#pragma once

#include <QString>

// Recordings taken in are read from regular files only: a pipe would keep
// the reading waiting forever and a device such as /dev/zero would never
// end.
namespace TRegularFile {

// Throws std::runtime_error naming the path when something other than a
// regular file (a link to one is followed) is there; a missing file is
// left to the reader, which names it as missing.
void require(const QString& path);

} // namespace TRegularFile
