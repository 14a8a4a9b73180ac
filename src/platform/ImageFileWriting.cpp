#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "platform/ImageFiles.h"
#include "platform/OutputFile.h"
#include "platform/WriteFaults.h"

namespace {

// Writes everything, retrying short and interrupted writes; 0 or the errno of the failure.
int WriteAll(int fd, const QByteArray& data) {
    int refusal = 0;
    const char* next = data.constData();
    qint64 left = WriteFaultAllowance(data.size(), &refusal);
    while (left > 0) {
        const ssize_t written = ::write(fd, next, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        next += written;
        left -= written;
    }
    return refusal;
}

bool WriteIntoSpecialFile(const QString& path, const QByteArray& data, QString* error) {
    int failure = WriteFaultOnCreate();
    const int fd =
        failure != 0 ? -1
                     : ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 && failure == 0) failure = errno;
    if (fd >= 0) failure = WriteAll(fd, data);
    if (fd >= 0 && ::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0 && error != nullptr) *error = ErrnoText(failure);
    return failure == 0;
}

}  // namespace

bool WriteFileData(const QString& path, const QByteArray& data, QString* error) {
    if (IsSpecialFile(path)) return WriteIntoSpecialFile(path, data, error);
    ReplacingFile file(path);
    if (file.Write(data.constData(), data.size()) && file.Commit()) return true;
    if (error != nullptr) *error = file.error();
    return false;
}
