#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "platform/FFmpegHandles.h"
#include "platform/WriteFaults.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavformat/version.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {

constexpr int kTemporaryNameAttempts = 16;
constexpr int kMuxerBufferBytes = 256 * 1024;

// The file a write to `path` really replaces: a symbolic link's target, not the link.
QString FinalPath(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink()) return path;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? path : target;
}

// A hidden name beside `path`. Short, so a long file name cannot make it too long.
QByteArray TemporaryNameBeside(const QString& path) {
    const QString folder = QFileInfo(path).path();
    const QString name = QString(".stillpress-%1.tmp")
                             .arg(QRandomGenerator::global()->generate64(), 16, 16, QChar('0'));
    return QFile::encodeName(folder + "/" + name);
}

// Flushes an open file or folder to the disk; 0 or the errno of the failure. A file system
// that cannot flush (EINVAL, EROFS) has nothing to wait for.
int SyncToDisk(int descriptor) {
    if (const int refused = WriteFaultOnSync()) return refused;
    if (::fsync(descriptor) == 0 || errno == EINVAL || errno == EROFS) return 0;
    return errno;
}

// Flushes the entries of the folder of `path` (a rename in it); 0 or the errno. A folder
// that may not be read cannot be opened to flush it, and is left as it is.
int SyncFolderOf(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    const int descriptor = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return 0;
    const int failure = SyncToDisk(descriptor);
    ::close(descriptor);
    return failure;
}

}  // namespace

QString ErrnoText(int code) {
    return QString::fromStdString(std::generic_category().message(code));
}

bool IsSpecialFile(const QString& path) {
    struct stat existing {};
    return ::stat(QFile::encodeName(path).constData(), &existing) == 0 &&
           !S_ISREG(existing.st_mode);
}

ReplacingFile::ReplacingFile(QString path) : m_strPath(FinalPath(path)) {
    if (const int refused = WriteFaultOnCreate()) {
        Fail(refused);
        return;
    }
    struct stat replaced {};
    const bool exists = ::stat(QFile::encodeName(m_strPath).constData(), &replaced) == 0;
    if (exists && S_ISDIR(replaced.st_mode)) {  // no file can take a folder's place
        Fail(EISDIR);
        return;
    }
    if (exists && S_ISREG(replaced.st_mode))
        m_iReplacedMode = static_cast<int>(replaced.st_mode & 07777);
    for (int attempt = 0; attempt < kTemporaryNameAttempts && m_iDescriptor < 0; ++attempt) {
        m_TemporaryPath = TemporaryNameBeside(m_strPath);
        // 0666 less the umask, as any new file gets. Readable too: a muxer may look back.
        m_iDescriptor =
            ::open(m_TemporaryPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_iDescriptor < 0 && errno != EEXIST) break;
    }
    if (m_iDescriptor < 0) {
        m_TemporaryPath.clear();
        Fail(errno);
    }
}

ReplacingFile::~ReplacingFile() {
    Discard();
}

bool ReplacingFile::Fail(int code) {
    if (m_iErrorCode != 0) return false;
    m_iErrorCode = code;
    m_strError = ErrnoText(code);
    return false;
}

void ReplacingFile::Discard() {
    if (m_iDescriptor >= 0) ::close(m_iDescriptor);
    m_iDescriptor = -1;
    if (!m_TemporaryPath.isEmpty()) ::unlink(m_TemporaryPath.constData());
    m_TemporaryPath.clear();
}

bool ReplacingFile::Write(const char* data, qint64 size) {
    if (!isOpen() || !m_strError.isEmpty()) return false;
    int refusal = 0;
    qint64 left = WriteFaultAllowance(size, &refusal);
    while (left > 0) {
        const ssize_t written = ::write(m_iDescriptor, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return Fail(errno);
        if (written == 0) return Fail(EIO);
        data += written;
        left -= written;
    }
    return refusal == 0 || Fail(refusal);
}

qint64 ReplacingFile::Seek(qint64 offset, int whence) {
    if (!isOpen()) return -1;
    const off_t position = ::lseek(m_iDescriptor, offset, whence);
    if (position < 0) Fail(errno);
    return position;
}

qint64 ReplacingFile::ReadAt(qint64 offset, char* data, qint64 size) {
    if (!isOpen()) return -1;
    qint64 done = 0;
    while (done < size) {
        const ssize_t read = ::pread(m_iDescriptor, data + done, static_cast<size_t>(size - done),
                                     static_cast<off_t>(offset + done));
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) {
            Fail(errno);
            return -1;
        }
        if (read == 0) break;  // the end of the file
        done += read;
    }
    return done;
}

bool ReplacingFile::Commit() {
    if (!isOpen()) return false;
    Close();
    if (m_strError.isEmpty()) MoveIntoPlace();
    Discard();
    return m_strError.isEmpty();
}

void ReplacingFile::Close() {
    if (Replaces() && ::fchmod(m_iDescriptor, static_cast<mode_t>(m_iReplacedMode)) != 0)
        Fail(errno);
    if (Replaces() && m_strError.isEmpty())
        if (const int failure = SyncToDisk(m_iDescriptor)) Fail(failure);
    // Some file systems report a full disk or a lost server only when the file is closed.
    if (::close(m_iDescriptor) != 0) Fail(errno);
    m_iDescriptor = -1;
}

void ReplacingFile::MoveIntoPlace() {
    if (::rename(m_TemporaryPath.constData(), QFile::encodeName(m_strPath).constData()) != 0) {
        Fail(errno);
        return;
    }
    m_TemporaryPath.clear();  // it is the file at the path now
    if (Replaces())
        if (const int failure = SyncFolderOf(m_strPath)) Fail(failure);
}

// ---- MuxerOutput ----------------------------------------------------------------------------

MuxerOutput::MuxerOutput(const QString& path) : m_pFile(std::make_unique<ReplacingFile>(path)) {
    if (!m_pFile->isOpen())
        throw std::runtime_error("cannot create the file: " + m_pFile->error().toStdString());
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    const auto write = &MuxerOutput::WritePacket;
#else
    // Before FFmpeg 7 the written bytes came as non-const.
    const auto write = [](void* opaque, uint8_t* data, int size) {
        return WritePacket(opaque, data, size);
    };
#endif
    auto* buffer = static_cast<unsigned char*>(av_malloc(kMuxerBufferBytes));
    if (buffer != nullptr)
        m_pContext = avio_alloc_context(buffer, kMuxerBufferBytes, 1, this, nullptr, write,
                                        &MuxerOutput::SeekTo);
    if (m_pContext == nullptr) {
        av_free(buffer);
        throw std::runtime_error("avio_alloc_context: out of memory");
    }
}

MuxerOutput::~MuxerOutput() {
    if (m_pContext != nullptr) av_freep(&m_pContext->buffer);
    avio_context_free(&m_pContext);
}

int MuxerOutput::WritePacket(void* opaque, const uint8_t* data, int size) {
    ReplacingFile& file = *static_cast<MuxerOutput*>(opaque)->m_pFile;
    if (file.Write(reinterpret_cast<const char*>(data), size)) return size;
    return AVERROR(file.errorCode());
}

int64_t MuxerOutput::SeekTo(void* opaque, int64_t offset, int whence) {
    ReplacingFile& file = *static_cast<MuxerOutput*>(opaque)->m_pFile;
    if (whence & AVSEEK_SIZE) return AVERROR(ENOSYS);  // unknown: the muxers can do without
    const qint64 position = file.Seek(offset, whence & ~AVSEEK_FORCE);
    return position >= 0 ? position : AVERROR(file.errorCode());
}

bool MuxerOutput::Flush() {
    avio_flush(m_pContext);
    // The file knows why a write failed; anything else FFmpeg met is kept here.
    if (m_pContext->error < 0 && m_pFile->error().isEmpty())
        m_strError = QString::fromStdString(av::ErrorText(m_pContext->error));
    return m_strError.isEmpty() && m_pFile->error().isEmpty();
}

bool MuxerOutput::Commit() {
    return Flush() && m_pFile->Commit();  // uncommitted, the file is removed later
}

QByteArray MuxerOutput::ReadBack(qint64 offset, qint64 size) {
    QByteArray data(size, Qt::Uninitialized);
    const qint64 read = Flush() ? m_pFile->ReadAt(offset, data.data(), size) : -1;
    if (read < 0) throw std::runtime_error("writing the file: " + error().toStdString());
    data.truncate(read);
    return data;
}

QString MuxerOutput::error() const {
    return m_pFile->error().isEmpty() ? m_strError : m_pFile->error();
}
