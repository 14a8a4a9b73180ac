#include "gif/GifFrameExtraction.h"

#include <QFileInfo>
#include <optional>

#include "gif/GifFrameDecoder.h"
#include "platform/DiagnosticLog.h"
#include "platform/FFmpegHandles.h"
#include "platform/ImageFiles.h"
#include "platform/ImageFormats.h"
#include "platform/MediaAsset.h"
#include "platform/StandardFolders.h"
#include "platform/Workspace.h"
#include "settings/AppSettings.h"

namespace {

// Encodes and writes one frame; false with the reason when it could not be saved.
bool SaveFrame(const QImage& frame, const QString& path, long long formatCode, QString* error) {
    if (!IsKnownImageFileType(formatCode)) {
        *error = QString("There is no image format with the code %1.").arg(formatCode);
        return false;
    }
    try {
        const QByteArray data = EncodeImage(frame, static_cast<ImageFileType>(formatCode), 1.0f);
        return WriteFileData(path, data, error);
    } catch (const std::exception& failure) {
        *error = QString::fromUtf8(failure.what());
        return false;
    }
}

void WriteFrames(const QString& gifPath, GifExtractionOutcome& outcome) {
    const long long formatCode = AppSettings().GetSelectedFileFormat();
    DecodeGifFrames(gifPath, [&](long long index, const QImage& frame) {
        const QString name = GetFileNameWithExtension(QString::number(index + 1), formatCode);
        const QString path = QString("%1/%2").arg(outcome.folder, name);
        QString error;
        if (SaveFrame(frame, path, formatCode, &error)) {
            ++outcome.writtenFrames;
            return;
        }
        LogLine("GIF frame not saved : " + path + " : " + error);
        if (outcome.failedFrames++ == 0) outcome.reason = error;
    });
}

}  // namespace

QString GifOutputFolder(const QString& gifPath, const QString& folderPath) {
    return QString("%1/%2").arg(folderPath, QFileInfo(gifPath).completeBaseName());
}

GifExtractionOutcome ExtractGIFFiles(const QString& gifPath, const QString& folderPath) {
    GifExtractionOutcome outcome;
    outcome.folder = GifOutputFolder(gifPath, folderPath);
    // Refused before any folder is made for it, with the reason.
    outcome.reason = MediaAsset::NotRegularFileProblem(gifPath);
    if (!outcome.reason.isEmpty()) {
        outcome.status = GifExtractionOutcome::Status::Refused;
        return outcome;
    }
    CreateDirectoryWithParents(outcome.folder);
    ShowResultOnDesktop(outcome.folder);
    const std::optional<GifSummary> summary = ReadGifSummary(gifPath);
    if (!summary) return outcome;
    outcome.reason = GifRefusalReason(*summary);
    if (!outcome.reason.isEmpty()) {
        outcome.status = GifExtractionOutcome::Status::Refused;
    } else if (summary->frameCount < 2) {
        outcome.status = GifExtractionOutcome::Status::StillImage;
    } else {
        try {
            WriteFrames(gifPath, outcome);
            outcome.status = GifExtractionOutcome::Status::Written;
            // Frames that all fail to decode leave nothing to show for the extraction.
            if (outcome.writtenFrames + outcome.failedFrames == 0) {
                outcome.status = GifExtractionOutcome::Status::Refused;
                outcome.reason =
                    QString("None of its %1 frames could be decoded.").arg(summary->frameCount);
            }
        } catch (const av::Error& failure) {
            LogLine("GIF not decoded : " + gifPath + " : " + failure.what());
        }
    }
    return outcome;
}
