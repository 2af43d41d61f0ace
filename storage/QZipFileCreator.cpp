#include "storage/QZipFileCreator.h"

#include "storage/TZipIoDevice.h"

#include <minizip/zip.h>

#include <stdexcept>

namespace {

bool isAscii(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// General purpose flag bit 11: the member name is UTF-8.
constexpr uLong Utf8NameFlag = 1u << 11;

} // namespace

QZipFileCreator::QZipFileCreator(const QString& path, QObject* parent)
    : QObject(parent)
    , m_file(path)
{
    zlib_filefunc64_def functions;
    TZipIoDevice::fill(&functions);
    m_handle = zipOpen2_64(TZipIoDevice::name(&m_file), APPEND_STATUS_CREATE, nullptr, &functions);
    if (m_handle == nullptr) {
        if (m_file.isOpen())
            m_file.close();
        throw std::runtime_error("Cannot create zip archive");
    }
}

QZipFileCreator::~QZipFileCreator()
{
    if (m_handle != nullptr) {
        // A destructor must not throw: a failed close leaves an incomplete
        // archive that readers refuse, which is all that can be done here.
        const QByteArray comment = m_comment.toUtf8();
        zipClose(m_handle, comment.isEmpty() ? nullptr : comment.constData());
        m_handle = nullptr;
    }
}

void QZipFileCreator::setComment(const QString& comment)
{
    m_comment = comment;
}

void QZipFileCreator::openMember(const QString& memberName, bool large)
{
    if (m_handle == nullptr)
        throw std::runtime_error("Cannot open new file in zip");
    const QByteArray name = memberName.toUtf8();
    zip_fileinfo info{};
    const int result = zipOpenNewFileInZip4_64(m_handle, name.constData(), &info,
                                               nullptr, 0, nullptr, 0, nullptr,
                                               Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0,
                                               -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                               nullptr, 0, 0, isAscii(name) ? 0 : Utf8NameFlag,
                                               large ? 1 : 0);
    if (result != ZIP_OK)
        throw std::runtime_error("Cannot open new file in zip");
}

void QZipFileCreator::closeMember()
{
    if (zipCloseFileInZip(m_handle) != ZIP_OK)
        throw std::runtime_error("Cannot close file in zip");
}

void QZipFileCreator::addFile(const QString& sourcePath, const QString& memberName)
{
    m_lastChunkCount = 0;
    // The source is opened first, so an unreadable source never leaves a
    // member behind that was written from an error code.
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot write data in zip file");
    const bool large = source.size() >= qint64(0xffffffffLL);
    openMember(memberName, large);

    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(chunk.data(), ChunkSize);
        if (read < 0) {
            source.close();
            throw std::runtime_error("Cannot write data in zip file");
        }
        if (read == 0)
            break;
        if (zipWriteInFileInZip(m_handle, chunk.constData(), unsigned(read)) != ZIP_OK) {
            source.close();
            throw std::runtime_error("Cannot write data in zip file");
        }
        ++m_lastChunkCount;
    }
    source.close();
    closeMember();
}

void QZipFileCreator::addData(const QByteArray& data, const QString& memberName)
{
    m_lastChunkCount = 0;
    openMember(memberName, false);
    if (!data.isEmpty()) {
        if (zipWriteInFileInZip(m_handle, data.constData(), unsigned(data.size())) != ZIP_OK)
            throw std::runtime_error("Cannot write data in zip file");
        m_lastChunkCount = 1;
    }
    closeMember();
}

void QZipFileCreator::close()
{
    if (m_handle == nullptr)
        return;
    const QByteArray comment = m_comment.toUtf8();
    void* handle = m_handle;
    m_handle = nullptr;
    if (zipClose(handle, comment.isEmpty() ? nullptr : comment.constData()) != ZIP_OK)
        throw std::runtime_error("Cannot close zip archive");
}
