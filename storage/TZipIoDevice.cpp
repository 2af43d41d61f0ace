#include "storage/TZipIoDevice.h"

#include <QFileDevice>
#include <QIODevice>

namespace {

QIODevice* deviceOf(voidpf stream)
{
    return static_cast<QIODevice*>(stream);
}

voidpf ZCALLBACK openDevice(voidpf, const void* filename, int mode)
{
    auto* device = const_cast<QIODevice*>(static_cast<const QIODevice*>(filename));
    if (device == nullptr)
        return nullptr;

    QIODevice::OpenMode wanted;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ)
        wanted = QIODevice::ReadOnly;
    else if (mode & ZLIB_FILEFUNC_MODE_EXISTING)
        wanted = QIODevice::ReadWrite;
    else if (mode & ZLIB_FILEFUNC_MODE_CREATE)
        wanted = QIODevice::WriteOnly | QIODevice::Truncate;
    else
        return nullptr;

    if (device->isOpen()) {
        // A device the caller opened must allow what minizip will do.
        if ((wanted & QIODevice::ReadOnly) && !device->isReadable())
            return nullptr;
        if ((wanted & QIODevice::WriteOnly) && !device->isWritable())
            return nullptr;
        if (device->isSequential())
            return nullptr;
        return device;
    }
    if (!device->open(wanted))
        return nullptr;
    if (device->isSequential()) {
        device->close();
        return nullptr;
    }
    return device;
}

uLong ZCALLBACK readDevice(voidpf, voidpf stream, void* buffer, uLong size)
{
    const qint64 read = deviceOf(stream)->read(static_cast<char*>(buffer), qint64(size));
    return read < 0 ? 0 : uLong(read);
}

uLong ZCALLBACK writeDevice(voidpf, voidpf stream, const void* buffer, uLong size)
{
    const qint64 written = deviceOf(stream)->write(static_cast<const char*>(buffer), qint64(size));
    return written < 0 ? 0 : uLong(written);
}

ZPOS64_T ZCALLBACK tellDevice(voidpf, voidpf stream)
{
    const qint64 position = deviceOf(stream)->pos();
    return position < 0 ? ZPOS64_T(-1) : ZPOS64_T(position);
}

long ZCALLBACK seekDevice(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    QIODevice* device = deviceOf(stream);
    qint64 base = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
        base = 0;
        break;
    case ZLIB_FILEFUNC_SEEK_CUR:
        base = device->pos();
        break;
    case ZLIB_FILEFUNC_SEEK_END:
        base = device->size();
        break;
    default:
        return -1;
    }
    // minizip passes backward moves from the end as the two's complement.
    const qint64 target = base + qint64(offset);
    if (target < 0)
        return -1;
    return device->seek(target) ? 0 : -1;
}

int ZCALLBACK closeDevice(voidpf, voidpf stream)
{
    QIODevice* device = deviceOf(stream);
    int result = 0;
    if (auto* file = qobject_cast<QFileDevice*>(device)) {
        if (file->isWritable() && !file->flush())
            result = -1;
        if (file->error() != QFileDevice::NoError)
            result = -1;
    }
    device->close();
    return result;
}

int ZCALLBACK testDeviceError(voidpf, voidpf stream)
{
    if (auto* file = qobject_cast<QFileDevice*>(deviceOf(stream)))
        return file->error() == QFileDevice::NoError ? 0 : -1;
    return 0;
}

} // namespace

namespace TZipIoDevice {

void fill(zlib_filefunc64_def* functions)
{
    functions->zopen64_file = openDevice;
    functions->zread_file = readDevice;
    functions->zwrite_file = writeDevice;
    functions->ztell64_file = tellDevice;
    functions->zseek64_file = seekDevice;
    functions->zclose_file = closeDevice;
    functions->zerror_file = testDeviceError;
    functions->opaque = nullptr;
}

} // namespace TZipIoDevice
