#pragma once

#include <minizip/ioapi.h>

class QIODevice;

// Routes minizip's file access through a QIODevice. The "file name" handed
// to minizip's open functions (zipOpen2_64, unzOpen2_64) is a pointer to the
// device itself; minizip's open opens the device in the mode it asks for
// (unless it is already open) and minizip's close closes it again.
namespace TZipIoDevice {

// Fills the 64-bit function table; the opaque pointer is unused.
void fill(zlib_filefunc64_def* functions);

// The device as the "file name" argument of the minizip open functions.
inline const void* name(QIODevice* device) { return device; }

} // namespace TZipIoDevice
