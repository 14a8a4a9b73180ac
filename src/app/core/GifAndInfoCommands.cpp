#include "app/core/GifAndInfoCommands.h"

#include <QFileInfo>

#include "app/core/ExportImagesCommand.h"
#include "app/core/MessagePresenter.h"
#include "media/VideoFileProcessor.h"
#include "platform/ImageFiles.h"
#include "platform/MediaAsset.h"
#include "platform/Workspace.h"

using namespace GifAndInfoMessages;

GifExtractionOutcome RunExtractGifFramesCommand(const QString& gifPath, const QString& folderPath,
                                                MessagePresenter& messages) {
    const GifExtractionOutcome outcome = ExtractGIFFiles(gifPath, folderPath);
    const QString name = QFileInfo(gifPath).fileName();
    if (outcome.status == GifExtractionOutcome::Status::NotReadable) {
        messages.DisplayMessageBox(kNotAGifTitle, gifPath + " could not be read as a GIF image.");
    } else if (outcome.status == GifExtractionOutcome::Status::Refused) {
        messages.DisplayMessageBox(
            kGifRefusedTitle,
            QString("The Frames of %1 were not Extracted.\n\n%2").arg(name, outcome.reason));
    } else if (outcome.failedFrames > 0) {
        messages.DisplayMessageBox(kGifFramesNotSavedTitle,
                                   QString("%1 of %2 Frames of %3 could not be Saved in %4.\n\n%5")
                                       .arg(outcome.failedFrames)
                                       .arg(outcome.failedFrames + outcome.writtenFrames)
                                       .arg(name, outcome.folder, outcome.reason));
    }
    return outcome;
}

std::optional<QString> MakeVideoInfoReport(const QString& videoPath, MessagePresenter& messages) {
    if (!DoesVideoFileExists(videoPath, messages)) return std::nullopt;
    VideoFileProcessor processor;
    processor.OpenVideoFile(videoPath);
    // A report of blanks for a file that is no media would pass for information.
    if (!processor.m_pAsset->isReadable()) {
        messages.DisplayMessageBox(
            ExportImagesMessages::kCouldNotReadDurationTitle,
            ExportImagesMessages::CouldNotReadDurationText(processor.GetVideoProblem()));
        return std::nullopt;
    }
    return processor.GetVideoInfo();
}

bool SaveVideoInfoReport(const QString& report, const QString& targetPath,
                         MessagePresenter& messages) {
    QString error;
    if (!WriteFileData(targetPath, report.toUtf8(), &error)) {
        messages.DisplayMessageBox(kReportNotSavedTitle,
                                   QString("The Video Information could not be Saved to %1.\n\n%2")
                                       .arg(targetPath, error));
        return false;
    }
    ShowResultOnDesktop(targetPath);
    return true;
}

QString VideoInfoSuggestedName(const QString& videoPath) {
    return QFileInfo(videoPath).completeBaseName();
}
