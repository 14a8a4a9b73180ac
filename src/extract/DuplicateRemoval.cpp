// Removal of consecutive duplicate frame files, by MD5 fingerprints of whole files.
#include <QFile>

#include "media/VideoFileProcessor.h"
#include "platform/DiagnosticLog.h"
#include "platform/Md5.h"

void VideoFileProcessor::RemoveEarlierDuplicate(const QString& newPath) {
    if (!pLastFilePath.isEmpty() && IsSameFingerPrint(newPath, pLastFilePath))
        DeleteFile(pLastFilePath);
    pLastFilePath = newPath;
    m_oLastFileDigest.reset();
}

// Fingerprints known from the bytes written spare reading both files back.
void VideoFileProcessor::RemoveEarlierDuplicate(const QString& newPath,
                                                const std::optional<QString>& digest) {
    if (!digest) LogLine("No Hash for File " + newPath);
    if (digest && !pLastFilePath.isEmpty()) {
        const std::optional<QString> earlier =
            m_oLastFileDigest ? m_oLastFileDigest : GetFileFingerPrint(pLastFilePath);
        if (earlier == digest) DeleteFile(pLastFilePath);
    }
    pLastFilePath = newPath;
    m_oLastFileDigest = digest;
}

bool VideoFileProcessor::IsSameFingerPrint(const QString& pathA, const QString& pathB) const {
    const std::optional<QString> first = GetFileFingerPrint(pathA);
    if (!first) return false;
    const std::optional<QString> second = GetFileFingerPrint(pathB);
    return second && *first == *second;
}

std::optional<QString> VideoFileProcessor::GetFileFingerPrint(const QString& path) const {
    std::optional<QString> digest = MD5OfFile(path);
    if (!digest) LogLine("No Hash for File " + path);
    return digest;
}

void VideoFileProcessor::DeleteFile(const QString& path) const {
    LogLine("Delete File : " + path);
    QFile file(path);
    if (!file.remove()) LogLine("Error (" + file.errorString() + ") Deleting File [" + path + "]");
}
