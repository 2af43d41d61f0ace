#include "storage/QZipFileExtractor.h"

#include "storage/TZipIoDevice.h"

#include <minizip/unzip.h>

#include <QByteArray>
#include <QFileDevice>
#include <QFileInfo>

#include <stdexcept>

namespace {

// Closes the member opened in the archive when extraction leaves early.
class CurrentMember
{
public:
    explicit CurrentMember(void* handle) : m_handle(handle) {}
    ~CurrentMember()
    {
        if (m_handle != nullptr)
            unzCloseCurrentFile(m_handle);
    }
    // Closes now and answers minizip's result (UNZ_CRCERROR on a checksum
    // mismatch).
    int close()
    {
        void* handle = m_handle;
        m_handle = nullptr;
        return unzCloseCurrentFile(handle);
    }

private:
    void* m_handle;
};

// Closes a device this extraction opened, when it leaves early too.
class OpenedDevice
{
public:
    OpenedDevice(QIODevice* device, bool owned) : m_device(device), m_owned(owned) {}
    ~OpenedDevice() { close(); }
    void close()
    {
        if (m_owned && m_device->isOpen())
            m_device->close();
        m_owned = false;
    }

private:
    QIODevice* m_device;
    bool m_owned;
};

} // namespace

QZipFileExtractor::QZipFileExtractor(const QString& path, QObject* parent)
    : QObject(parent)
    , m_file(path)
{
    if (!QFileInfo(path).isFile())
        throw std::runtime_error("Cannot open zip archive");
    zlib_filefunc64_def functions;
    TZipIoDevice::fill(&functions);
    m_handle = unzOpen2_64(TZipIoDevice::name(&m_file), &functions);
    if (m_handle == nullptr) {
        if (m_file.isOpen())
            m_file.close();
        throw std::runtime_error("Cannot open zip archive");
    }

    unz_global_info64 info{};
    if (unzGetGlobalInfo64(m_handle, &info) != UNZ_OK) {
        unzClose(m_handle);
        m_handle = nullptr;
        throw std::runtime_error("Cannot read zip archive");
    }
    m_memberCount = qint64(info.number_entry);
    if (info.size_comment != 0) {
        QByteArray comment(int(info.size_comment) + 1, '\0');
        const int read = unzGetGlobalComment(m_handle, comment.data(), uLong(comment.size()));
        if (read < 0) {
            unzClose(m_handle);
            m_handle = nullptr;
            throw std::runtime_error("Cannot read comment in zip archive");
        }
        comment.truncate(read);
        m_comment = QString::fromUtf8(comment);
    }
}

QZipFileExtractor::~QZipFileExtractor()
{
    if (m_handle != nullptr)
        unzClose(m_handle);
}

bool QZipFileExtractor::locate(const QString& memberName)
{
    const QByteArray name = memberName.toUtf8();
    // Case-sensitive, as minizip's default comparison is on this system.
    return !name.isEmpty() && !name.contains('\0') && unzLocateFile(m_handle, name.constData(), 0) == UNZ_OK;
}

qint64 QZipFileExtractor::memberSize(const QString& memberName)
{
    if (!locate(memberName))
        return -1;
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(m_handle, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        throw std::runtime_error("Cannot get file info from zip archive");
    return qint64(info.uncompressed_size);
}

bool QZipFileExtractor::extract(const QString& memberName, QIODevice* device)
{
    if (!locate(memberName))
        return false;
    extractCurrent(device);
    return true;
}

bool QZipFileExtractor::extract(const QString& memberName, const QString& targetPath)
{
    QFile target(targetPath);
    return extract(memberName, &target);
}

void QZipFileExtractor::extractCurrent(QIODevice* device)
{
    unz_file_info64 info{};
    char name[256] = {};
    if (unzGetCurrentFileInfo64(m_handle, &info, name, 255, nullptr, 0, nullptr, 0) != UNZ_OK)
        throw std::runtime_error("Cannot get file info from zip archive");

    if (unzOpenCurrentFile(m_handle) != UNZ_OK)
        throw std::runtime_error("Cannot open file in zip archive");
    CurrentMember member(m_handle);

    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    int read = unzReadCurrentFile(m_handle, chunk.data(), unsigned(ChunkSize));
    if (read < 0)
        throw std::runtime_error("Cannot read file in zip archive");

    const bool callerOpened = device->isOpen() && device->isWritable();
    if (!callerOpened && !device->open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("Write error");
    OpenedDevice opened(device, !callerOpened);

    while (read > 0) {
        if (device->write(chunk.constData(), read) != read)
            throw std::runtime_error("Write error");
        read = unzReadCurrentFile(m_handle, chunk.data(), unsigned(ChunkSize));
        if (read < 0)
            throw std::runtime_error("Cannot read file in zip archive");
    }
    if (auto* file = qobject_cast<QFileDevice*>(device)) {
        if (!file->flush())
            throw std::runtime_error("Write error");
    }
    opened.close();

    if (member.close() != UNZ_OK)
        throw std::runtime_error("Corrupt file read from zip archive");
}
